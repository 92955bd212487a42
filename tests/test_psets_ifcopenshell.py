"""Row counts of extract_psets against the same walk done with IfcOpenShell."""
import pytest

from conftest import corpus, corpus_params
from quarnel import _core

ifcopenshell = pytest.importorskip("ifcopenshell")


def ifcopenshell_rows(path):
    try:
        model = ifcopenshell.open(path)
    except ifcopenshell.SchemaError as exc:  # IFC4X3 release candidates, for one
        pytest.skip(f"IfcOpenShell cannot read this schema: {exc}")
    rows = 0
    for rel in model.by_type("IfcRelDefinesByProperties"):
        definition = rel.RelatingPropertyDefinition
        if definition is None or not definition.is_a("IfcPropertySet"):
            continue
        # Only the entity itself: subtypes of IfcPropertySet are other definitions.
        if definition.is_a() != "IfcPropertySet":
            continue
        singles = [p for p in definition.HasProperties or () if p.is_a() == "IfcPropertySingleValue"]
        objects = [o for o in rel.RelatedObjects or () if isinstance(getattr(o, "GlobalId", None), str)]
        rows += len(objects) * len(singles)
    return rows


@corpus
@pytest.mark.parametrize("path", corpus_params())
def test_row_count_matches_ifcopenshell(path):
    assert len(_core.extract_psets(path)["guid"]) == ifcopenshell_rows(path)
