"""The schema tables (quarnel.schema): entities and their attributes, inherited ones included,
as IfcOpenShell defines them."""
import runpy

import pytest

from conftest import ROOT
from quarnel import schema


def test_the_generated_schema_data_is_current():
    # A schema change in IfcOpenShell without `python tools/gen_schema.py` fails here.
    pytest.importorskip("ifcopenshell")
    render = runpy.run_path(str(ROOT / "tools" / "gen_schema.py"))["render"]
    assert (ROOT / "src" / "core" / "schema" / "attributes_table.inc").read_text() == render()


def attribute_rows(name, entity):
    t = schema.attributes(name)
    return [r for r in t.to_pylist() if r["entity"] == entity]


@pytest.mark.parametrize("name, entity, position, attribute, kind, optional, type_, derived", [
    ("IFC4", "IfcWall", 1, "OwnerHistory", "entity", True, "IfcOwnerHistory", False),
    ("IFC4", "IfcWall", 8, "PredefinedType", "enum", True, "IfcWallTypeEnum", False),
    ("IFC2X3", "IfcWall", 7, "Tag", "string", True, "IfcIdentifier", False),
    ("IFC2X3", "IfcOwnerHistory", 7, "CreationDate", "integer", False, "IfcTimeStamp", False),
    ("IFC4", "IfcSurfaceStyleRendering", 2, "DiffuseColour", "select", True, "IfcColourOrFactor", False),
    ("IFC4", "IfcRelConnectsPathElements", 7, "RelatingPriorities", "list", False, None, False),
    ("IFC4", "IfcBSplineCurve", 3, "ClosedCurve", "logical", False, "IfcLogical", False),
    ("IFC4", "IfcFaceBound", 1, "Orientation", "boolean", False, "IfcBoolean", False),
    ("IFC4", "IfcBlobTexture", 6, "RasterCode", "binary", False, "IfcBinary", False),
    ("IFC4", "IfcGeometricRepresentationSubContext", 3, "Precision", "real", True, "IfcReal", True),
    ("IFC4X3", "IfcWall", 8, "PredefinedType", "enum", True, "IfcWallTypeEnum", False),
    ("IFC4X3_ADD2", "IfcAlignment", 7, "PredefinedType", "enum", True, "IfcAlignmentTypeEnum", False),
])
def test_attribute_rows(name, entity, position, attribute, kind, optional, type_, derived):
    rows = attribute_rows(name, entity)
    assert [r["position"] for r in rows] == list(range(len(rows)))
    assert rows[position] == {"entity": entity, "attribute": attribute, "position": position, "optional": optional,
                              "kind": kind, "type": type_, "derived": derived}


@pytest.mark.parametrize("name, entity, supertype, abstract, count", [
    ("IFC4", "IfcRoot", None, True, 776),
    ("IFC4", "IfcWallStandardCase", "IfcWall", False, 776),
    ("IFC2X3", "IfcWallStandardCase", "IfcWall", False, 653),
    ("IFC4X3", "IfcBuiltElement", "IfcElement", False, 876),
])
def test_entity_rows(name, entity, supertype, abstract, count):
    t = schema.entities(name)
    assert t.num_rows == count
    assert [r for r in t.to_pylist() if r["entity"] == entity] == [
        {"entity": entity, "supertype": supertype, "abstract": abstract}]


def test_an_unknown_schema_is_refused():
    with pytest.raises(ValueError, match="IFC2X3, IFC4, IFC4X3"):
        schema.attributes("IFC5")
