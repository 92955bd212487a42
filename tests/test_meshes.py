"""Representation items to triangles: face sets, breps, surface models."""

import math

import pytest

from mesh_models import Model, drift, one_row, rows

SQUARE = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0)]


def mesh_of(write_ifc, build):
    """The single row of a model whose one product holds the items build(model) returns."""
    m = Model()
    items = build(m)
    m.product(items if isinstance(items, list) else [items])
    return one_row(drift(write_ifc, m))


def no_mesh(write_ifc, build):
    m = Model()
    items = build(m)
    m.product(items if isinstance(items, list) else [items])
    return drift(write_ifc, m)["guid"] == []


@pytest.mark.parametrize(
    "faces, triangles, area",
    [
        ([(1, 2, 3), (1, 3, 4)], 2, 1.0),
        ([(1, 2, 5)], 0, 0.0),  # an index past the point list drops the triangle
        ([(1, 2)], 0, 0.0),  # fewer than three indices
        ([(1, 2, 3, 4)], 1, 0.5),  # further indices are ignored
        ([(0, 2, 3)], 1, 0.5),  # 0 reads as vertex 0, like 1
        ([(1.9, 2, 3)], 1, 0.5),  # fractions are truncated
        ([(-5, 2, 3)], 1, 0.5),  # negative values clamp to 0
        ([(1, 2, 3), "(1,'x',2,3)"], 2, 1.0),  # non-numbers are skipped
    ],
)
def test_triangulated_face_set_indices(write_ifc, faces, triangles, area):
    m = Model()
    body = ",".join(f if isinstance(f, str) else "(" + ",".join(str(i) for i in f) + ")" for f in faces)
    m.product([m.add(f"IFCTRIANGULATEDFACESET({m.point_list(SQUARE)},$,$,({body}),$)")])
    result = drift(write_ifc, m)
    if triangles == 0:
        assert result["guid"] == []
        return
    row = one_row(result)
    assert row["source"] == "triangulated_faceset"
    assert row["triangle_count"] == triangles
    assert row["surface_area"] == pytest.approx(area)


def test_point_list_drops_short_entries(write_ifc):
    # the two-number entry is dropped, so index 3 addresses (0,2,0)
    m = Model()
    pl = m.add("IFCCARTESIANPOINTLIST3D(((0.,0.,0.),(2.,0.,0.),(9.,9.),(0.,2.,0.)))")
    m.product([m.triangles(pl, [(1, 2, 3)])])
    row = one_row(drift(write_ifc, m))
    assert row["surface_area"] == pytest.approx(2.0)
    assert (row["centroid_x"], row["centroid_y"]) == (1.0, 1.0)


def test_unused_points_count_in_the_box(write_ifc):
    row = mesh_of(write_ifc, lambda m: m.triangles(SQUARE[:3] + [(10, 10, 10)], [(1, 2, 3)]))
    assert (row["centroid_x"], row["centroid_y"], row["centroid_z"]) == (5.0, 5.0, 5.0)
    assert row["surface_area"] == pytest.approx(0.5)


@pytest.mark.parametrize(
    "text",
    [
        "IFCTRIANGULATEDFACESET(#PL,$,$,(),$)",
        "IFCTRIANGULATEDFACESET(#PL,$,$)",
        "IFCTRIANGULATEDFACESET(#PL,$,$,$,$)",
        "IFCTRIANGULATEDFACESET(#999999,$,$,((1,2,3)),$)",
        "IFCTRIANGULATEDFACESET(#EMPTY,$,$,((1,2,3)),$)",
        "IFCTRIANGULATEDFACESET($,$,$,((1,2,3)),$)",
        "IFCPOLYGONALFACESET(#PL,$,())",
        "IFCPOLYGONALFACESET(#PL,$)",
        "IFCPOLYGONALFACESET(#EMPTY,$,(#FACE))",
        "IFCPOLYGONALFACESET(#PL,$,(#FACE),())",
        "IFCPOLYGONALFACESET(#PL,$,(#SHORT))",
        "IFCFACETEDBREP(#999999)",
        "IFCFACETEDBREP($)",
        "IFCFACETEDBREP(#PL)",
        "IFCFACETEDBREP(#EMPTYSHELL)",
        "IFCSHELLBASEDSURFACEMODEL(())",
        "IFCBOOLEANCLIPPINGRESULT(.DIFFERENCE.,#PL,#PL)",
        "IFCSWEPTDISKSOLID(#PL,0.1,$,$,$)",
    ],
)
def test_unreadable_items_give_no_mesh(write_ifc, text):
    def build(m):
        pl = m.point_list(SQUARE)
        empty = m.add("IFCCARTESIANPOINTLIST3D(())")
        face = m.add("IFCINDEXEDPOLYGONALFACE((1,2,3))")
        short = m.add("IFCINDEXEDPOLYGONALFACE((1,2))")
        empty_shell = m.shell([])
        return m.add(
            text.replace("#PL", pl).replace("#EMPTYSHELL", empty_shell).replace("#EMPTY", empty)
            .replace("#FACE", face).replace("#SHORT", short)
        )

    assert no_mesh(write_ifc, build)


POINTS5 = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0), (0, 0, 3)]


@pytest.mark.parametrize(
    "faces, pn_index, triangles, area",
    [
        ([(1, 2, 3, 4)], None, 2, 1.0),
        # PnIndex reorders the same square: (3,2,1) and (3,1,0)
        ([(1, 2, 3, 4)], (4, 3, 2, 1), 2, 1.0),
        # without PnIndex the face (1,2,5) is the triangle (0,0,0) (1,0,0) (0,0,3)
        ([(1, 2, 5)], None, 1, 1.5),
        # with PnIndex (3,4,5,2,1) the face (1,2,3) selects points 2,3,4: (1,1,0) (0,1,0) (0,0,3)
        ([(1, 2, 3)], (3, 4, 5, 2, 1), 1, 0.5 * math.sqrt(10)),
        # an index past the end of PnIndex is dropped, leaving too few for a triangle
        ([(1, 2, 3)], (1, 2), 0, 0.0),
        # ... or leaving the rest of the face: (1,2,9,3) over PnIndex (1,2,3) is the triangle 0,1,2
        ([(1, 2, 9, 3)], (1, 2, 3), 1, 0.5),
        # a triangle with an index past the point list is skipped; the rest of the fan stays
        ([(1, 2, 9, 3, 4)], None, 1, 0.5),
        # 0 reads as vertex 0
        ([(0, 2, 3)], None, 1, 0.5),
        # a pentagon fans into three triangles
        ([(1, 2, 3, 4, 1)], None, 3, 1.0),
    ],
)
def test_polygonal_face_set(write_ifc, faces, pn_index, triangles, area):
    m = Model()
    m.product([m.polygons(POINTS5, faces, pn_index)])
    result = drift(write_ifc, m)
    if triangles == 0:
        assert result["guid"] == []
        return
    row = one_row(result)
    assert row["source"] == "polygonal_faceset"
    assert row["triangle_count"] == triangles
    assert row["surface_area"] == pytest.approx(area)


def test_polygonal_face_with_voids_uses_outer_loop_only(write_ifc):
    def build(m):
        pl = m.point_list(SQUARE + [(0.2, 0.2, 0), (0.4, 0.2, 0), (0.4, 0.4, 0)])
        outer = m.add("IFCINDEXEDPOLYGONALFACEWITHVOIDS((1,2,3,4),((5,6,7)))")
        other = m.add("IFCCARTESIANPOINT((0.,0.,0.))")
        return m.add(f"IFCPOLYGONALFACESET({pl},$,({outer},{other},'x'))")

    row = mesh_of(write_ifc, build)
    assert (row["triangle_count"], row["surface_area"]) == (2, 1.0)


def test_cube_brep(write_ifc):
    row = mesh_of(write_ifc, lambda m: m.cube_brep())
    assert row["source"] == "brep"
    assert row["triangle_count"] == 12
    assert row["surface_area"] == 6.0
    assert row["volume_abs"] == 1.0
    assert (row["centroid_x"], row["centroid_y"], row["centroid_z"]) == (0.5, 0.5, 0.5)
    assert row["max_extent"] == 1.0


def test_manifold_solid_brep_reads_like_faceted(write_ifc):
    row = mesh_of(write_ifc, lambda m: m.add(f"IFCMANIFOLDSOLIDBREP({m.shell(m.cube_faces())})"))
    assert (row["source"], row["triangle_count"], row["volume_abs"]) == ("brep", 12, 1.0)


def test_reversed_orientation_flips_the_fan(write_ifc):
    # Turning the x=1 face inward changes the enclosed volume from 1 to 1/3.
    row = mesh_of(write_ifc, lambda m: m.cube_brep(flip=(5,)))
    assert row["volume_abs"] == pytest.approx(1.0 / 3.0)
    assert row["surface_area"] == 6.0


@pytest.mark.parametrize("orientation, volume", [(".T.", 1.0), ("$", 1.0), ("'F'", 1.0), (".U.", 1 / 3), (".F.", 1 / 3)])
def test_orientation_values(write_ifc, orientation, volume):
    def build(m):
        faces = m.cube_faces()
        # rebuild the x=1 face with the given orientation value
        pts = [m.point(1, 0, 0), m.point(1, 1, 0), m.point(1, 1, 1), m.point(1, 0, 1)]
        faces[5] = m.face(pts, orientation)
        return m.add(f"IFCFACETEDBREP({m.shell(faces)})")

    assert mesh_of(write_ifc, build)["volume_abs"] == pytest.approx(volume)


def test_outer_bound_is_chosen_over_an_earlier_bound(write_ifc):
    def build(m):
        big = [m.point(0, 0, 0), m.point(4, 0, 0), m.point(4, 4, 0), m.point(0, 4, 0)]
        small = [m.point(1, 1, 0), m.point(2, 1, 0), m.point(2, 2, 0)]
        inner = m.bound(small, outer=False)
        outer = m.bound(big)
        face = m.add(f"IFCFACE(({inner},{outer}))")
        return m.add(f"IFCFACETEDBREP({m.shell([face])})")

    row = mesh_of(write_ifc, build)
    assert (row["triangle_count"], row["surface_area"]) == (2, 16.0)


def test_first_of_two_plain_bounds_is_used(write_ifc):
    def build(m):
        small = [m.point(1, 1, 0), m.point(2, 1, 0), m.point(2, 2, 0)]
        big = [m.point(0, 0, 0), m.point(4, 0, 0), m.point(4, 4, 0), m.point(0, 4, 0)]
        first = m.bound(small, outer=False)
        second = m.bound(big, outer=False)
        face = m.add(f"IFCFACE(({first},{second}))")
        return m.add(f"IFCFACETEDBREP({m.shell([face])})")

    row = mesh_of(write_ifc, build)
    assert (row["triangle_count"], row["surface_area"]) == (1, 0.5)


def test_shell_skips_unreadable_faces_and_points(write_ifc):
    def build(m):
        faces = m.cube_faces()
        edge_loop = m.add("IFCEDGELOOP(())")
        odd = [
            m.add(f"IFCFACE(({m.add(f'IFCFACEOUTERBOUND({edge_loop},.T.)')}))"),  # not a poly loop
            m.add("IFCFACE($)"),
            m.add(f"IFCFACE(({m.add('IFCFACEOUTERBOUND($,.T.)')}))"),
            m.face([m.point(0, 0, 0), "#999999", m.point(1, 0, 0)]),  # two points remain: nothing
            m.add("IFCPOLYLOOP(())"),  # not a face
            "#999998",
        ]
        return m.add(f"IFCFACETEDBREP({m.shell(faces + odd)})")

    row = mesh_of(write_ifc, build)
    assert (row["triangle_count"], row["surface_area"], row["volume_abs"]) == (12, 6.0, 1.0)


def test_short_point_coordinates_are_padded(write_ifc):
    def build(m):
        face = m.face([m.point(0), m.point(2, 0), m.point(0, 2)])
        return m.add(f"IFCFACETEDBREP({m.add(f'IFCOPENSHELL(({face}))')})")

    row = mesh_of(write_ifc, build)
    assert (row["surface_area"], row["centroid_z"]) == (2.0, 0.0)


def test_surface_models_merge_their_shells(write_ifc):
    def build(m):
        a = m.shell(m.cube_faces())
        b = m.shell(m.cube_faces(origin=(5, 0, 0)), closed=False)
        return m.add(f"IFCSHELLBASEDSURFACEMODEL(({a},{b},#999999,$))")

    row = mesh_of(write_ifc, build)
    assert row["source"] == "shell"
    assert (row["triangle_count"], row["surface_area"], row["volume_abs"]) == (24, 12.0, 2.0)
    assert row["centroid_x"] == 3.0


def test_face_based_surface_model(write_ifc):
    row = mesh_of(write_ifc, lambda m: m.add(f"IFCFACEBASEDSURFACEMODEL(({m.shell(m.cube_faces(), False)}))"))
    assert (row["source"], row["triangle_count"]) == ("shell", 12)


def test_shared_item_is_built_once_and_placed_per_product(write_ifc):
    m = Model()
    item = m.cube_brep()
    rep = m.add(f"IFCPRODUCTDEFINITIONSHAPE($,$,({m.shape([item])}))")
    m.product(representation=rep, placement=m.local_placement("$", m.axis3d((10, 0, 0))))
    m.product(representation=rep, placement=m.local_placement("$", m.axis3d((0, 20, 0))))
    other = m.add(f"IFCPRODUCTDEFINITIONSHAPE($,$,({m.shape([item, item])}))")
    m.product(representation=other)
    got = sorted((r["centroid_x"], r["centroid_y"], r["triangle_count"], r["volume_abs"]) for r in rows(drift(write_ifc, m)))
    assert got == [(0.5, 0.5, 24, 2.0), (0.5, 20.5, 12, 1.0), (10.5, 0.5, 12, 1.0)]


@pytest.mark.parametrize(
    "bad",
    [float("nan"), float("inf"), float("-inf"), 1e39],
)
def test_non_finite_coordinates_do_not_break_the_pass(write_ifc, bad):
    m = Model()
    m.product([m.triangles([(0, 0, 0), (bad, 0, 0), (0, 1, 0)], [(1, 2, 3)])])
    m.product([m.cube_brep()])
    result = drift(write_ifc, m)
    assert len(result["guid"]) == 2
    assert result["drift_ok"] + result["drift_warn"] + result["drift_error"] == 2
    assert all(t == 1 or t == 12 for t in result["triangle_count"])
