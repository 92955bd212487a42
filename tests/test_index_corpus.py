"""index_ifc on the shared corpus, checked for consistency and against IfcOpenShell."""

import functools
import re

import pytest

from conftest import corpus, corpus_params, open_with_ifcopenshell
import quarnel
from quarnel import _core

pytestmark = corpus

INSTANCE = re.compile(rb"#(\d+)\s*=\s*([A-Za-z0-9_]+)\s*\(")


@functools.lru_cache(maxsize=None)
def indexed(path):
    return _core.index_ifc(path)


opened = open_with_ifcopenshell


@functools.lru_cache(maxsize=1)
def upper_case_ids(path):
    """Ids of the instances whose type name is written in upper case."""
    data = open(path, "rb").read()
    return {int(m.group(1)) for m in INSTANCE.finditer(data) if m.group(2) == m.group(2).upper()}


def reference_ids(path, model, type_name):
    """Ids IfcOpenShell lists for exactly this type, written in upper case with a string GlobalId."""
    try:
        instances = model.by_type(type_name, include_subtypes=False)
    except RuntimeError:  # not in this schema
        return []
    upper = upper_case_ids(path)
    return [e.id() for e in instances if e.id() in upper and isinstance(e.GlobalId, str)]


@pytest.mark.parametrize("path", corpus_params())
def test_products_and_links_match_ifcopenshell(path):
    r, model = indexed(path), opened(path)
    assert r["schema"]
    assert set(r["contained_in"]["structure"]) <= set(r["storeys"]["step_id"])
    assert set(r["storey_building"]["building"]) <= set(r["buildings"]["step_id"])
    assert all(e is None for e in r["storeys"]["building_step_id"])
    assert sum(r["type_counts"].values()) == len(r["products"]["step_id"])
    assert set(r["type_counts"]) == set(r["products"]["entity"])
    for t, n in r["type_counts"].items():
        assert n == len(reference_ids(path, model, t)), t
    products = quarnel.read_table(path, "products").to_pydict()
    assert products["step_id"] == r["products"]["step_id"]
    for i, step_id in enumerate(products["step_id"]):
        entity = model.by_id(step_id)
        assert entity.is_a("IfcProduct") and not entity.is_a("IfcSpatialStructureElement"), entity.is_a()
        texts = [getattr(entity, a, None) for a in ("GlobalId", "Name", "Description", "ObjectType", "Tag")]
        assert [products[c][i] for c in ("guid", "name", "description", "object_type", "tag")] == texts, step_id


@pytest.mark.parametrize("path", corpus_params())
def test_spatial_ids_match_ifcopenshell(path):
    model = opened(path)
    r = indexed(path)
    for key, type_name in [("storeys", "IfcBuildingStorey"), ("sites", "IfcSite"), ("buildings", "IfcBuilding"),
                           ("projects", "IfcProject"), ("spaces", "IfcSpace")]:
        ids = reference_ids(path, model, type_name)
        assert sorted(r[key]["step_id"]) == sorted(ids), key
        guids = {e.id(): e.GlobalId for e in model.by_type(type_name, include_subtypes=False)}
        assert r[key]["guid"] == [guids[i] for i in r[key]["step_id"]], key


@pytest.mark.parametrize("path", corpus_params())
def test_unit_scale_matches_ifcopenshell(path):
    model = opened(path)
    unit_util = pytest.importorskip("ifcopenshell.util.unit")
    scale = indexed(path)["unit_scale"]
    projects = model.by_type("IfcProject")
    units = projects[0].UnitsInContext.Units if projects and projects[0].UnitsInContext else []
    length = [u for u in units if getattr(u, "UnitType", None) == "LENGTHUNIT"]
    if length:  # SI or conversion-based (feet, inches)
        assert scale == pytest.approx(unit_util.calculate_unit_scale(model), rel=1e-12)
    else:
        assert scale is None
