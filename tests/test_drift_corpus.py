"""analyse_drift over the shared corpus, cross-checked with IfcOpenShell's geometry."""

import math

import pytest

import quarnel._core as core
from ifc_bodies import NOT_MESHED, body_items, box_centre, geometry_settings, model_size, open_model, source_items
from conftest import corpus, corpus_params

COLUMNS = [
    "guid", "entity", "source", "triangle_count", "surface_area", "volume_abs",
    "placement_x", "placement_y", "placement_z", "centroid_x", "centroid_y", "centroid_z",
    "drift_distance", "max_extent", "drift_ratio", "drift_severity",
]
SOURCES = {
    "extrusion", "mapped", "polygonal_faceset", "triangulated_faceset", "shell", "brep", "boolean", "boolean_unclipped",
    "tapered_extrusion", "revolution", "swept_disk",
}


@corpus
@pytest.mark.parametrize("path", corpus_params())
def test_corpus_model(path):
    r = core.analyse_drift(path)
    n = len(r["guid"])
    assert all(len(r[k]) == n for k in COLUMNS)
    assert r["drift_ok"] + r["drift_warn"] + r["drift_error"] == n
    assert set(r["source"]) <= SOURCES
    assert set(r["drift_severity"]) <= {"ok", "warn", "error"}
    for k in range(n):
        assert r["triangle_count"][k] > 0
        assert math.isfinite(r["surface_area"][k]) and r["surface_area"][k] >= 0.0
        assert math.isfinite(r["volume_abs"][k]) and r["volume_abs"][k] >= 0.0
        assert r["max_extent"][k] >= 9.999999974752427e-07
        assert r["entity"][k].startswith("Ifc")


# Item types meshed exactly as IfcOpenShell meshes them (no curved geometry, no booleans),
# directly or through mapped items.
FACETED = {"IfcFacetedBrep", "IfcPolygonalFaceSet", "IfcTriangulatedFaceSet"}
# IfcOpenShell builds breps slowly: compare an even sample of the products of modest size.
SAMPLE = 15
MAX_TRIANGLES = 500


def uses_every_point(item):
    """False for face sets with points no face uses: those points count in our box (the
    statistics take every vertex of the point list) but not in IfcOpenShell's shape."""
    if item.is_a("IfcFacetedBrep"):
        return True
    count = len(item.Coordinates.CoordList)
    if item.is_a("IfcTriangulatedFaceSet"):
        used = {i for tri in item.CoordIndex for i in tri}
        if item.PnIndex:
            used = {item.PnIndex[i - 1] for i in used}
    else:
        used = {i for face in item.Faces for i in face.CoordIndex}
        if item.PnIndex:
            used = {item.PnIndex[i - 1] for i in used}
    return used == set(range(1, count + 1))


@corpus
@pytest.mark.parametrize("path", corpus_params())
def test_box_centres_match_ifcopenshell(path):
    model = open_model(path)
    import ifcopenshell.geom

    ours = core.analyse_drift(path)
    if not ours["guid"]:
        pytest.skip("no meshed products")
    row_of = {g: i for i, g in enumerate(ours["guid"])}
    size = model_size(ours)

    candidates, unmeshed = [], []
    for product in model.by_type("IfcProduct"):
        items = source_items(body_items(product))
        if product.is_a() in NOT_MESHED or not items or not all(i.is_a() in FACETED for i in items):
            continue
        if product.GlobalId not in row_of:
            unmeshed.append(product)
        elif ours["triangle_count"][row_of[product.GlobalId]] <= MAX_TRIANGLES and all(map(uses_every_point, items)):
            candidates.append(product)
    assert not unmeshed
    candidates.sort(key=lambda p: p.GlobalId)
    if not candidates:
        pytest.skip("no product whose body is only faceted breps or face sets")

    settings = geometry_settings()
    checked = 0
    for product in candidates[:: max(1, len(candidates) // SAMPLE)]:
        shape = ifcopenshell.geom.create_shape(settings, product)
        verts = shape.geometry.verts
        if not verts:
            continue
        theirs = box_centre(verts)
        i = row_of[product.GlobalId]
        mine = (ours["centroid_x"][i], ours["centroid_y"][i], ours["centroid_z"][i])
        assert mine == pytest.approx(theirs, abs=1e-3 * size), product
        checked += 1
    assert checked > 0
