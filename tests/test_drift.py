"""analyse_drift: product filter, representation choice, statistics and classification."""

import collections
import math

import pytest

import quarnel._core as core
from mesh_models import Model, drift, item_row, one_row, rows

F32_MIN_EXTENT = 9.999999974752427e-07


# Products are the IFC entities of upper-case type names, except the spatial ones.
@pytest.mark.parametrize("type_name, label", [
    ("IFCWALL", "IfcWall"), ("IFCWALLSTANDARDCASE", "IfcWallstandardcase"), ("IFCSPACE", "IfcSpace"),
    ("IFCOPENINGELEMENT", "IfcOpeningelement"), ("IFCwALL", "IfcWall"), ("IFCX_1", "IfcX_1"), ("IFC", "Ifc"),
    *[(t, None) for t in ("IFCSITE", "IFCBUILDINGSTOREY", "IFCBUILDING", "IFCPROJECT", "IFCMAPPEDITEM",
                          "IFCSHAPEREPRESENTATION", "ifcwall", "IfcWall", "WALL", "IF")],
])
def test_type_labels_and_filtered_types(write_ifc, type_name, label):
    m = Model()
    m.product([m.cube_brep()], type_name=type_name)
    assert drift(write_ifc, m)["entity"] == ([label] if label else [])


# #SHAPE: a representation 'Axis' holding a cube; #POINT: a point; #SWEPT: an unreadable item.
@pytest.mark.parametrize("representation", [
    "$", "'#SHAPE'", "#999999", "IFCWALL('g',$,$,$,$,$)",
    "IFCPRODUCTDEFINITIONSHAPE($,$,('x',#POINT,#SHAPE))",  # the fallback is the first, whatever its type
    "IFCPRODUCTDEFINITIONSHAPE($,$,())", "IFCPRODUCTDEFINITIONSHAPE($,$)", "IFCPRODUCTDEFINITIONSHAPE($,$,$)",
    "IFCSHAPEREPRESENTATION($,'Body','Brep',())", "IFCSHAPEREPRESENTATION($,'Body','Brep')",
    "IFCSHAPEREPRESENTATION($,'Body','Brep',(#SWEPT))", "IFCSTYLEDITEM($,$,$)",
])
def test_products_without_a_mesh(write_ifc, representation):
    m = Model()
    names = {"#SHAPE": m.shape([m.cube_brep()], "Axis"), "#POINT": m.point(0, 0, 0),
             "#SWEPT": m.add("IFCSWEPTDISKSOLID($,0.1,$,$,$)")}
    for name, ref in names.items():
        representation = representation.replace(name, ref)
    if representation.startswith("IFCWALL"):
        m.add(representation)  # six attributes
    else:
        m.product(representation=m.add(representation) if representation.startswith("IFC") else representation)
    assert drift(write_ifc, m)["guid"] == []


# 'Body', else 'Facetation', else the first; representation k holds a cube of size k + 1.
@pytest.mark.parametrize("identifiers, chosen", [
    (["Axis", "Body"], 1), (["Axis", "FootPrint"], 0), (["Axis", "BODY"], 1), (["Box", "Facetation"], 1),
    (["Box", "facetation", "Body"], 1), (["Body", "Facetation"], 0),
    (["Box", "Body ", "Axis"], 0),  # not exactly 'body'
])
def test_body_representation_choice(write_ifc, identifiers, chosen):
    m = Model()
    reps = [m.shape([m.cube_brep(size=k + 1)], ident) for k, ident in enumerate(identifiers)]
    m.product(representation=m.add(f"IFCPRODUCTDEFINITIONSHAPE($,$,({','.join(reps)}))"))
    assert one_row(drift(write_ifc, m))["max_extent"] == chosen + 1


def test_representation_referenced_directly_and_guid_that_is_not_a_string(write_ifc):
    m = Model()
    m.product(representation=m.shape([m.cube_brep()], "Whatever"), guid="$")
    row = one_row(drift(write_ifc, m))
    assert (row["triangle_count"], row["guid"]) == (12, "")


@pytest.mark.parametrize("build, stats", [
    pytest.param(lambda m: m.cube_brep(), (12, 6.0, 1.0, 1.0, (0.5, 0.5, 0.5), math.sqrt(0.75), "ok"), id="cube"),
    pytest.param(lambda m: m.cube_brep(flip=range(6)), (12, 6.0, 1.0, 1.0, (0.5, 0.5, 0.5), math.sqrt(0.75), "ok"),
                 id="inward-cube"),
    pytest.param(lambda m: m.triangles([(0, 0, 0), (1, 0, 0), (0, 1, 0)], [(1, 2, 3)]),
                 (1, 0.5, 0.0, 1.0, (0.5, 0.5, 0.0), math.sqrt(0.5), "ok"), id="triangle"),
    pytest.param(lambda m: m.triangles([(0, 0, 0), (0.2, 0, 0), (0, 1, 0)], [(1, 2, 3)]),
                 (1, 0.10000000149011612, 0.0, 1.0, (0.10000000149011612, 0.5, 0.0), math.sqrt(0.26), "ok"),
                 id="values_are_32_bit"),
    # A point-like mesh has the minimum extent: any distance from it is far.
    pytest.param(lambda m: m.triangles([(20, 0, 0)], [(1, 1, 1)]),
                 (1, 0.0, 0.0, F32_MIN_EXTENT, (20.0, 0.0, 0.0), 20.0, "error"), id="point"),
])
def test_statistics(write_ifc, build, stats):
    row = item_row(write_ifc, build)
    assert (row["triangle_count"], row["surface_area"], row["volume_abs"], row["max_extent"]) == stats[:4]
    assert (row["centroid_x"], row["centroid_y"], row["centroid_z"]) == stats[4]
    assert row["drift_distance"] == pytest.approx(stats[5])
    assert row["drift_ratio"] == pytest.approx(row["drift_distance"] / row["max_extent"], rel=1e-6)
    assert row["drift_severity"] == stats[6]


@pytest.mark.parametrize("lo, hi, at, distance, ratio, severity", [
    (7.5, 12.5, 0, 10.0, 2.0, "ok"),  # distance exactly 10 and ratio exactly 2
    (8.0, 12.0, 0, 10.0, 2.5, "warn"),  # distance 10 is not below 10
    (5.0, 5.0, 0, 5.0, 5.0 / F32_MIN_EXTENT, "ok"),  # tiny but close
    (9.5, 10.5, 0, 10.0, 10.0, "warn"),  # ratio exactly 10
    (14.5, 15.5, 0, 15.0, 15.0, "error"),
    (-30.0, 0.0, 0, 15.0, 0.5, "ok"),
    (-1.0, 1.0, 100, 0.0, 0.0, "ok"),  # the mesh moves with its placement
])
def test_drift_thresholds(write_ifc, lo, hi, at, distance, ratio, severity):
    """A flat mesh spanning lo..hi along x, placed at x = `at`."""
    m = Model()
    m.product([m.triangles([(lo, 0, 0), (hi, 0, 0), (lo, 0, 0)], [(1, 2, 3)])],
              placement=m.local_placement("$", m.axis3d((at, 0, 0))))
    row = one_row(drift(write_ifc, m))
    assert (row["centroid_x"], row["placement_x"]) == ((lo + hi) / 2 + at, at)
    assert (row["drift_distance"], row["drift_severity"]) == (distance, severity)
    assert row["drift_ratio"] == pytest.approx(ratio, rel=1e-6)


def test_nan_ratio_is_an_error(write_ifc):
    # y spans -inf..inf (1e39 overflows a float): the centre's y is NaN, and so is the ratio.
    row = item_row(write_ifc, lambda m: m.triangles([(0, -1e39, 0), (1, 1e39, 0), (0, 0, 1)], [(1, 2, 3)]))
    assert math.isnan(row["centroid_y"]) and math.isnan(row["drift_ratio"])
    assert row["drift_severity"] == "error"


INF, NAN = float("inf"), float("nan")


@pytest.mark.parametrize("points, placement, meshed", [
    # The transform multiplies every coordinate by the matrix, and inf * 0 and NaN * 0 are NaN.
    ([(0, INF, 0), (1, INF, 0), (0, INF, 1)], (0, 0, 0), False),
    ([(NAN, 5, 5), (NAN, 6, 5), (NAN, 5, 6)], (0, 0, 0), False),
    ([(0, 0, 0), (1, 0, 0), (0, 1, 0)], (NAN, 0, 0), False),
    *[([(0, 0, 0), (bad, 0, 0), (0, 1, 0)], (0, 0, 0), True) for bad in (NAN, INF, -INF, 1e39)],
])
def test_mesh_without_a_finite_coordinate_was_ok_at_the_origin(write_ifc, points, placement, meshed):
    m = Model()
    m.product([m.triangles(points, [(1, 2, 3)])], placement=m.local_placement("$", m.axis3d(placement)))
    m.product([m.cube_brep()])
    result = drift(write_ifc, m)
    assert sorted(result["triangle_count"]) == ([1, 12] if meshed else [12])
    assert result["drift_ok"] + result["drift_warn"] + result["drift_error"] == len(result["guid"])
    if not meshed:
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
    assert (first["drift_ok"], first["drift_warn"], first["drift_error"]) == (2, 1, 2)
    assert collections.Counter(first["drift_severity"]) == {"ok": 2, "warn": 1, "error": 2}
    key = lambda r: tuple(sorted(r.items()))
    assert sorted(map(key, rows(first))) == sorted(map(key, rows(second)))
