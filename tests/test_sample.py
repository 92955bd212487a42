"""The bundled sample model: reproducible, valid, and showing every feature quarnel reads."""

import subprocess
import sys
from collections import Counter

import pytest

import quarnel
from conftest import ROOT, SAMPLE, open_with_ifcopenshell


def test_generator_reproduces_the_committed_file(tmp_path):
    out = tmp_path / "sample.ifc"
    subprocess.run([sys.executable, str(ROOT / "examples" / "make_sample.py"), str(out)], check=True,
                   capture_output=True)
    assert out.read_bytes() == SAMPLE.read_bytes()


@pytest.fixture(scope="module")
def model():
    return open_with_ifcopenshell(SAMPLE)


# The kinds of geometry: test_one_error_and_one_warning_planted.
@pytest.mark.parametrize("entity, at_least", [
    ("IfcBuildingStorey", 3), ("IfcWall", 4), ("IfcSlab", 3), ("IfcRepresentationMap", 3),
    ("IfcRelContainedInSpatialStructure", 3), ("IfcRelAggregates", 3), ("IfcRelDefinesByProperties", 10),
    ("IfcQuantityLength", 1), ("IfcQuantityArea", 1), ("IfcQuantityVolume", 1), ("IfcQuantityCount", 1),
    ("IfcQuantityWeight", 1), ("IfcMaterial", 3), ("IfcMaterialList", 1), ("IfcMaterialLayerSetUsage", 1),
    ("IfcRelAssociatesClassification", 2), ("IfcClassificationReference", 2), ("IfcClassification", 1),
])
def test_sample_holds(model, entity, at_least):
    assert len(model.by_type(entity)) >= at_least


def test_sample_is_valid_ifc4_in_millimetres(model):
    validate = pytest.importorskip("ifcopenshell.validate")
    assert model.schema == "IFC4"
    logger = validate.json_logger()
    validate.validate(model, logger)
    assert logger.statements == []
    length = [u for u in model.by_type("IfcSIUnit") if u.UnitType == "LENGTHUNIT"]
    assert [(u.Prefix, u.Name) for u in length] == [("MILLI", "METRE")]
    assert sorted(s.Elevation for s in model.by_type("IfcBuildingStorey")) == [0.0, 3200.0, 6400.0]


def test_property_values_of_several_types():
    result = quarnel.extract_psets(str(SAMPLE))
    types = Counter(result["value_type"])
    for value_type in ("IfcLabel", "IfcBoolean", "IfcLengthmeasure", "IfcInteger", "IfcIdentifier"):
        assert types[value_type] > 0, value_type
    assert None in result["value"]  # a property left without a value


def test_psets_agree_with_ifcopenshell(model):
    expected = Counter()
    for rel in model.by_type("IfcRelDefinesByProperties"):
        pset = rel.RelatingPropertyDefinition
        if not pset.is_a("IfcPropertySet"):
            continue
        for obj in rel.RelatedObjects:
            for prop in pset.HasProperties:
                expected[(obj.GlobalId, pset.Name, prop.Name)] += 1
    result = quarnel.extract_psets(str(SAMPLE))
    assert Counter(zip(result["guid"], result["pset_name"], result["prop_name"])) == expected


def test_one_error_and_one_warning_planted():
    result = quarnel.analyse_drift(str(SAMPLE))
    assert (result["drift_warn"], result["drift_error"]) == (1, 1)
    assert set(result["source"]) >= {"extrusion", "mapped", "triangulated_faceset", "polygonal_faceset", "brep"}
