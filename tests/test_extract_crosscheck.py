"""The extractors against the same relationships walked with IfcOpenShell.

Each walk counts one row per object GlobalId exactly as the extractor defines its rows; the
comparison is of the multiset of GlobalIds, which also checks the row count."""

from collections import Counter

import pytest

import quarnel
from conftest import corpus, corpus_params, open_with_ifcopenshell

ifcopenshell = pytest.importorskip("ifcopenshell")

SIMPLE_QUANTITIES = {
    "IfcQuantityLength", "IfcQuantityArea", "IfcQuantityVolume",
    "IfcQuantityCount", "IfcQuantityWeight", "IfcQuantityTime",
}


model = open_with_ifcopenshell


def entities(value):
    """The instances of an aggregate attribute (None for $)."""
    return [v for v in (value or ()) if isinstance(v, ifcopenshell.entity_instance)]


def pset_guids(f):
    guids = Counter()
    for rel in f.by_type("IfcRelDefinesByProperties"):
        definition = rel.RelatingPropertyDefinition
        # Only the entity itself: subtypes of IfcPropertySet are other definitions.
        if not isinstance(definition, ifcopenshell.entity_instance) or definition.is_a() != "IfcPropertySet":
            continue
        n = sum(1 for p in entities(definition.HasProperties) if p.is_a() == "IfcPropertySingleValue")
        for obj in entities(rel.RelatedObjects):
            if isinstance(getattr(obj, "GlobalId", None), str):
                guids[obj.GlobalId] += n
    return +guids


def quantity_guids(f):
    guids = Counter()
    for rel in f.by_type("IfcRelDefinesByProperties"):
        definition = rel.RelatingPropertyDefinition
        # IFC4 also allows a set of definitions here, written as a list; the extractor reads only
        # a single reference (a list is not followed), so such relationships count nothing.
        if not isinstance(definition, ifcopenshell.entity_instance) or definition.is_a() != "IfcElementQuantity":
            continue
        # Physical complex quantities (and IFC4X3's IfcQuantityNumber) are no simple quantities.
        n = sum(1 for q in entities(definition.Quantities) if q.is_a() in SIMPLE_QUANTITIES)
        for obj in entities(rel.RelatedObjects):
            guids[obj.GlobalId] += n
    return +guids


def material_guids(f):
    guids = Counter()
    for rel in f.by_type("IfcRelAssociatesMaterial"):
        m = rel.RelatingMaterial
        kind = m.is_a()
        if kind == "IfcMaterial":
            n = 1
        elif kind == "IfcMaterialList":
            n = sum(1 for x in entities(m.Materials) if x.is_a() == "IfcMaterial")
        elif kind in ("IfcMaterialLayerSetUsage", "IfcMaterialLayerSet"):
            layer_set = m.ForLayerSet if kind == "IfcMaterialLayerSetUsage" else m
            n = sum(1 for x in entities(layer_set.MaterialLayers) if x.is_a() == "IfcMaterialLayer")
        else:
            # Constituent sets, profile sets and their usages are not resolved: one placeholder row.
            n = 1
        for obj in entities(rel.RelatedObjects):
            guids[obj.GlobalId] += n
    return +guids


def classification_guids(f):
    guids = Counter()
    for rel in f.by_type("IfcRelAssociatesClassification"):
        # IFC2X3 classification notations are not reported.
        if rel.RelatingClassification.is_a() not in ("IfcClassificationReference", "IfcClassification"):
            continue
        for obj in entities(rel.RelatedObjects):
            guids[obj.GlobalId] += 1
    return guids


@corpus
@pytest.mark.parametrize("path", corpus_params())
@pytest.mark.parametrize("function, walk", [
    (quarnel.extract_psets, pset_guids),
    (quarnel.extract_quantities, quantity_guids),
    (quarnel.extract_materials, material_guids),
    (quarnel.extract_classifications, classification_guids),
], ids=["psets", "quantities", "materials", "classifications"])
def test_rows_match_ifcopenshell(path, function, walk):
    expected = walk(model(path))
    got = Counter(function(path)["guid"])
    assert got == expected
