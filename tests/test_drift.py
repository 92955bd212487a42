"""analyse_drift: product filter, representation choice, statistics and classification."""

import collections
import math
import os

import pytest

import quarnel._core as core
from mesh_models import Model, drift, one_row, rows

KEYS = [
    "guid", "entity", "source", "triangle_count", "surface_area", "volume_abs",
    "placement_x", "placement_y", "placement_z", "centroid_x", "centroid_y", "centroid_z",
    "drift_distance", "max_extent", "drift_ratio", "drift_severity",
    "drift_ok", "drift_warn", "drift_error", "mesh_emission_ms", "entity_table_ms", "total_ms", "size_bytes",
]
F32_MIN_EXTENT = 9.999999974752427e-07


def test_result_keys_and_types(write_ifc):
    m = Model()
    m.product([m.cube_brep()])
    path = write_ifc(m.text())
    result = core.analyse_drift(path=path)
    assert list(result) == KEYS
    assert result["size_bytes"] == os.path.getsize(path)
    for key in ("mesh_emission_ms", "entity_table_ms", "total_ms"):
        assert isinstance(result[key], float) and result[key] >= 0.0
    assert result["total_ms"] >= result["mesh_emission_ms"]
    row = one_row(result)
    assert row["guid"] == "2O2Fr$t4X7Zf8NOew3FLOH"
    assert row["entity"] == "IfcWall"
    assert isinstance(row["triangle_count"], int)


def test_model_without_products(write_ifc):
    result = core.analyse_drift(write_ifc("#1=IFCCARTESIANPOINT((0.,0.,0.));"))
    assert list(result) == KEYS
    assert all(result[k] == [] for k in KEYS[:16])
    assert (result["drift_ok"], result["drift_warn"], result["drift_error"]) == (0, 0, 0)


def test_file_errors(tmp_path):
    missing = str(tmp_path / "missing.ifc")
    with pytest.raises(OSError, match="^open " + missing.replace("\\", "\\\\")):
        core.analyse_drift(missing)
    with pytest.raises(TypeError):
        core.analyse_drift()
    with pytest.raises(TypeError):
        core.analyse_drift(tmp_path)


@pytest.mark.parametrize(
    "type_name, label",
    [
        ("IFCWALL", "IfcWall"),
        ("IFCWALLSTANDARDCASE", "IfcWallstandardcase"),
        ("IFCBUILDINGELEMENTPROXY", "IfcBuildingelementproxy"),
        ("IFCSPACE", "IfcSpace"),
        ("IFCOPENINGELEMENT", "IfcOpeningelement"),
        ("IFCwALL", "IfcWall"),
        ("IFCX_1", "IfcX_1"),
        ("IFC", "Ifc"),
    ],
)
def test_type_labels(write_ifc, type_name, label):
    m = Model()
    m.product([m.cube_brep()], type_name=type_name)
    assert one_row(drift(write_ifc, m))["entity"] == label


@pytest.mark.parametrize(
    "type_name",
    ["IFCSITE", "IFCBUILDINGSTOREY", "IFCBUILDING", "IFCPROJECT", "IFCMAPPEDITEM", "IFCSHAPEREPRESENTATION",
     "ifcwall", "IfcWall", "WALL", "IF"],
)
def test_filtered_types_are_not_meshed(write_ifc, type_name):
    m = Model()
    m.product([m.cube_brep()], type_name=type_name)
    assert drift(write_ifc, m)["guid"] == []


@pytest.mark.parametrize(
    "text",
    [
        "IFCWALL('g',$,$,$,$,$,$,$)",  # Representation $
        "IFCWALL('g',$,$,$,$,$)",  # six attributes
        "IFCWALL('g',$,$,$,$,$,'#REP')",  # not a reference
        "IFCWALL('g',$,$,$,$,$,#999999)",  # missing
    ],
)
def test_products_without_representation(write_ifc, text):
    m = Model()
    rep = m.add(f"IFCPRODUCTDEFINITIONSHAPE($,$,({m.shape([m.cube_brep()])}))")
    m.add(text.replace("#REP", rep))
    assert drift(write_ifc, m)["guid"] == []


def body_choice(write_ifc, identifiers, extra=""):
    """Triangle count of the representation chosen among cubes of distinct sizes; the
    representation at position k holds a cube of size k + 1."""
    m = Model()
    reps = [m.shape([m.cube_brep(size=k + 1)], ident) for k, ident in enumerate(identifiers)]
    pds = m.add(f"IFCPRODUCTDEFINITIONSHAPE($,$,({extra}{','.join(reps)}))")
    m.product(representation=pds)
    result = drift(write_ifc, m)
    if not result["guid"]:
        return None
    return round(one_row(result)["max_extent"]) - 1


@pytest.mark.parametrize(
    "identifiers, chosen",
    [
        (["Axis", "Body"], 1),
        (["Axis", "FootPrint"], 0),
        (["Axis", "BODY"], 1),
        (["Box", "Facetation"], 1),
        (["Box", "facetation", "Body"], 1),
        (["Body", "Facetation"], 0),
        (["Box", "Body ", "Axis"], 0),  # not exactly 'body'
    ],
)
def test_body_representation_choice(write_ifc, identifiers, chosen):
    assert body_choice(write_ifc, identifiers) == chosen


def test_fallback_is_the_first_reference_whatever_its_type(write_ifc):
    # the first reference is not a shape representation: no items, no mesh
    m = Model()
    rep = m.shape([m.cube_brep()], "Axis")
    pds = m.add(f"IFCPRODUCTDEFINITIONSHAPE($,$,('x',{m.point(0, 0, 0)},{rep}))")
    m.product(representation=pds)
    assert drift(write_ifc, m)["guid"] == []


@pytest.mark.parametrize("pds", ["IFCPRODUCTDEFINITIONSHAPE($,$,())", "IFCPRODUCTDEFINITIONSHAPE($,$)",
                                 "IFCPRODUCTDEFINITIONSHAPE($,$,$)"])
def test_product_definition_without_representations(write_ifc, pds):
    m = Model()
    m.product(representation=m.add(pds))
    assert drift(write_ifc, m)["guid"] == []


def test_representation_referenced_directly(write_ifc):
    m = Model()
    m.product(representation=m.shape([m.cube_brep()], "Whatever"))
    assert one_row(drift(write_ifc, m))["triangle_count"] == 12


@pytest.mark.parametrize(
    "rep",
    ["IFCSHAPEREPRESENTATION($,'Body','Brep',())", "IFCSHAPEREPRESENTATION($,'Body','Brep')",
     "IFCSHAPEREPRESENTATION($,'Body','Brep',(#UNSUPPORTED))", "IFCSTYLEDITEM($,$,$)"],
)
def test_representations_without_meshable_items(write_ifc, rep):
    m = Model()
    unsupported = m.add("IFCSWEPTDISKSOLID($,0.1,$,$,$)")
    m.product(representation=m.add(rep.replace("#UNSUPPORTED", unsupported)))
    assert drift(write_ifc, m)["guid"] == []


def test_guid_that_is_not_a_string_is_empty(write_ifc):
    m = Model()
    m.product([m.cube_brep()], guid="$")
    assert one_row(drift(write_ifc, m))["guid"] == ""


def test_kind_is_that_of_the_last_sub_mesh_and_indices_are_offset(write_ifc):
    m = Model()
    tri = m.triangles([(0, 0, 0), (2, 0, 0), (0, 2, 0)], [(1, 2, 3)])
    m.product([m.cube_brep(origin=(5, 5, 5)), tri])
    m.product([tri, m.cube_brep(origin=(5, 5, 5))])
    by_source = {r["source"]: r for r in rows(drift(write_ifc, m))}
    assert set(by_source) == {"triangulated_faceset", "brep"}
    for r in by_source.values():
        # the second item's indices address its own vertices: 12 + 1 triangles, area 6 + 2
        assert (r["triangle_count"], r["surface_area"]) == (13, 8.0)
        assert r["volume_abs"] == pytest.approx(1.0)


def test_unit_cube_statistics(write_ifc):
    row = one_row(drift(write_ifc, cube_model()))
    assert (row["surface_area"], row["volume_abs"], row["max_extent"]) == (6.0, 1.0, 1.0)
    assert (row["centroid_x"], row["centroid_y"], row["centroid_z"]) == (0.5, 0.5, 0.5)
    assert row["drift_distance"] == pytest.approx(math.sqrt(0.75))
    assert row["drift_severity"] == "ok"


def cube_model():
    m = Model()
    m.product([m.cube_brep()])
    return m


def test_inward_cube_has_the_same_absolute_volume(write_ifc):
    m = Model()
    m.product([m.cube_brep(flip=range(6))])
    assert one_row(drift(write_ifc, m))["volume_abs"] == 1.0


def test_single_triangle(write_ifc):
    m = Model()
    m.product([m.triangles([(0, 0, 0), (1, 0, 0), (0, 1, 0)], [(1, 2, 3)])])
    row = one_row(drift(write_ifc, m))
    assert (row["triangle_count"], row["surface_area"], row["volume_abs"], row["max_extent"]) == (1, 0.5, 0.0, 1.0)


def test_point_like_mesh_has_minimum_extent(write_ifc):
    m = Model()
    m.product([m.triangles([(20, 0, 0)], [(1, 1, 1)])])
    row = one_row(drift(write_ifc, m))
    assert row["max_extent"] == F32_MIN_EXTENT
    assert row["drift_distance"] == 20.0
    assert row["drift_ratio"] == pytest.approx(20.0 / F32_MIN_EXTENT, rel=1e-6)
    assert row["drift_severity"] == "error"


def test_values_are_32_bit(write_ifc):
    m = Model()
    m.product([m.triangles([(0, 0, 0), (0.2, 0, 0), (0, 1, 0)], [(1, 2, 3)])])
    row = one_row(drift(write_ifc, m))
    assert row["surface_area"] == 0.10000000149011612


def displaced(write_ifc, lo, hi, placement=(0, 0, 0)):
    """Classification of a box-shaped mesh spanning lo..hi along x, placed at `placement`."""
    m = Model()
    pts = [(lo, 0, 0), (hi, 0, 0), (lo, 0, 0)]
    m.product([m.triangles(pts, [(1, 2, 3)])],
              placement=m.local_placement("$", m.axis3d(placement)))
    return one_row(drift(write_ifc, m))


@pytest.mark.parametrize(
    "lo, hi, distance, ratio, severity",
    [
        (7.5, 12.5, 10.0, 2.0, "ok"),  # distance exactly 10 and ratio exactly 2
        (8.0, 12.0, 10.0, 2.5, "warn"),  # distance 10 is not below 10
        (5.0, 5.0, 5.0, 5.0 / F32_MIN_EXTENT, "ok"),  # tiny but close
        (9.5, 10.5, 10.0, 10.0, "warn"),  # ratio exactly 10
        (12.0, 14.0, 13.0, 6.5, "warn"),
        (14.5, 15.5, 15.0, 15.0, "error"),
        (-40.0, 60.0, 10.0, 0.1, "ok"),
        (-30.0, 0.0, 15.0, 0.5, "ok"),
    ],
)
def test_drift_thresholds(write_ifc, lo, hi, distance, ratio, severity):
    row = displaced(write_ifc, lo, hi)
    assert row["drift_distance"] == distance
    assert row["drift_ratio"] == pytest.approx(ratio, rel=1e-6)
    assert row["drift_severity"] == severity


def test_drift_is_measured_from_the_placement_origin(write_ifc):
    row = displaced(write_ifc, -1, 1, placement=(100, 0, 0))
    # the mesh moves with its placement: centre 100, distance 0
    assert (row["centroid_x"], row["placement_x"], row["drift_distance"]) == (100.0, 100.0, 0.0)


def test_nan_ratio_is_an_error(write_ifc):
    # y spans -inf..inf (1e39 overflows a float): the centre's y is NaN, and so is the ratio.
    m = Model()
    m.product([m.triangles([(0, -1e39, 0), (1, 1e39, 0), (0, 0, 1)], [(1, 2, 3)])])
    row = one_row(drift(write_ifc, m))
    assert math.isnan(row["centroid_y"]) and math.isnan(row["drift_ratio"])
    assert row["drift_severity"] == "error"


@pytest.mark.parametrize(
    "points, placement",
    [
        # The transform multiplies every coordinate by the matrix, and inf * 0 and NaN * 0 are NaN.
        ([(0, float("inf"), 0), (1, float("inf"), 0), (0, float("inf"), 1)], (0, 0, 0)),
        ([(float("nan"), 5, 5), (float("nan"), 6, 5), (float("nan"), 5, 6)], (0, 0, 0)),
        ([(0, 0, 0), (1, 0, 0), (0, 1, 0)], (float("nan"), 0, 0)),
    ],
)
def test_mesh_without_a_finite_coordinate_was_ok_at_the_origin(write_ifc, points, placement):
    m = Model()
    m.product([m.triangles(points, [(1, 2, 3)])], placement=m.local_placement("$", m.axis3d(placement)))
    m.product([m.cube_brep()])
    result = drift(write_ifc, m)
    assert len(result["guid"]) == 1 and result["triangle_count"] == [12]
    assert (result["drift_ok"], result["drift_warn"], result["drift_error"]) == (1, 0, 0)


def test_counters_and_repeat_calls(write_ifc):
    m = Model()
    for size, origin in [(1, (0, 0, 0)), (1, (3, 0, 0)), (2, (12, -1, -1)), (1, (14.5, -0.5, -0.5)), (1, (50, 0, 0))]:
        m.product([m.cube_brep(size, origin)])
    path = write_ifc(m.text())
    first = core.analyse_drift(path)
    second = core.analyse_drift(path)
    n = len(first["guid"])
    assert n == 5
    assert first["drift_ok"] + first["drift_warn"] + first["drift_error"] == n
    assert collections.Counter(first["drift_severity"]) == {"ok": 2, "warn": 1, "error": 2}
    assert all(len(first[k]) == n for k in KEYS[:16])
    key = lambda r: tuple(sorted(r.items()))
    assert sorted(map(key, rows(first))) == sorted(map(key, rows(second)))
