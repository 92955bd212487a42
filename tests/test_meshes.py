"""Representation items to triangles: face sets, breps, surface models."""

import math
import re

import pytest

from mesh_models import Model, box_centre, drift, item_row, rows

SQUARE = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0)]


# The body item is the last text; earlier texts are #A, #B. #PL: the square's point list, #EMPTY:
# an empty one, #FACE and #SHORT: indexed faces of 3 and 2 points, #SHELL: an empty shell,
# #SHAPE: a body holding a cube, #POINT: a point, #Z: the direction 0,0,1.
@pytest.mark.parametrize("text", [
    "IFCTRIANGULATEDFACESET(#PL,$,$,(),$)", "IFCTRIANGULATEDFACESET(#PL,$,$)", "IFCTRIANGULATEDFACESET(#PL,$,$,$,$)",
    "IFCTRIANGULATEDFACESET(#999999,$,$,((1,2,3)),$)", "IFCTRIANGULATEDFACESET(#EMPTY,$,$,((1,2,3)),$)",
    "IFCTRIANGULATEDFACESET($,$,$,((1,2,3)),$)", "IFCPOLYGONALFACESET(#PL,$,())", "IFCPOLYGONALFACESET(#PL,$)",
    "IFCPOLYGONALFACESET(#EMPTY,$,(#FACE))", "IFCPOLYGONALFACESET(#PL,$,(#FACE),())", "IFCPOLYGONALFACESET(#PL,$,(#SHORT))",
    "IFCFACETEDBREP(#999999)", "IFCFACETEDBREP($)", "IFCFACETEDBREP(#PL)", "IFCFACETEDBREP(#SHELL)",
    "IFCSHELLBASEDSURFACEMODEL(())", "IFCBOOLEANCLIPPINGRESULT(.DIFFERENCE.,#PL,#PL)", "IFCSWEPTDISKSOLID(#PL,0.1,$,$,$)",
    # mapped items
    "IFCMAPPEDITEM(#999999,$)", "IFCMAPPEDITEM($,$)", "IFCMAPPEDITEM(#SHAPE,$)", "IFCREPRESENTATIONMAP($,$);IFCMAPPEDITEM(#A,$)",
    "IFCREPRESENTATIONMAP($,#999999);IFCMAPPEDITEM(#A,$)", "IFCREPRESENTATIONMAP($,#POINT);IFCMAPPEDITEM(#A,$)",
    # extrusions
    "IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,0.5);IFCEXTRUDEDAREASOLID(#A,$,#Z,'3')",
    "IFCEXTRUDEDAREASOLID(#999999,$,#Z,3.)",
    *[f"{profile};IFCEXTRUDEDAREASOLID(#B,$,#Z,3.)" for profile in [
        "IFCRECTANGLEPROFILEDEF(.AREA.,$,$,1.,1.);IFCCOMPOSITEPROFILEDEF(.AREA.,$,(#A),$)",
        "IFCPOLYLINE((#POINT));IFCCENTERLINEPROFILEDEF(.AREA.,$,#A,0.1)",
        "IFCBSPLINECURVEWITHKNOTS(2,(#POINT),.UNSPECIFIED.,.F.,.F.,(1),(0.),.UNSPECIFIED.);"
        "IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,#A)",
        "IFCPOLYLINE(#POINT);IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,#A)",  # points not a list
    ]],
    *[f"{profile};IFCEXTRUDEDAREASOLID(#A,$,#Z,3.)" for profile in [
        "IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,$)", "IFCISHAPEPROFILEDEF(.AREA.,$,$,0.2,0.4,0.01)",
        "IFCLSHAPEPROFILEDEF(.AREA.,$,$,1.,1.,$)", "IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,$)",
    ]],
])
def test_unreadable_items_give_no_mesh(write_ifc, text):
    m = Model()
    names = {"#PL": m.point_list(SQUARE), "#EMPTY": m.add("IFCCARTESIANPOINTLIST3D(())"),
             "#FACE": m.add("IFCINDEXEDPOLYGONALFACE((1,2,3))"), "#SHORT": m.add("IFCINDEXEDPOLYGONALFACE((1,2))"),
             "#SHELL": m.shell([]), "#SHAPE": m.shape([m.cube_brep()]), "#POINT": m.point(0., 0.),
             "#Z": m.direction(0., 0., 1.)}
    *earlier, item = text.split(";")
    for name, entity in zip("AB", earlier):
        names[f"#{name}"] = m.add(re.sub(r"#[A-Z]+", lambda n: names[n.group()], entity))
    m.product([m.add(re.sub(r"#[A-Z]+", lambda n: names[n.group()], item))])
    assert drift(write_ifc, m)["guid"] == []


POINTS5 = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0), (0, 0, 3)]


@pytest.mark.parametrize("kind, faces, pn_index, triangles, area", [
    ("triangulated_faceset", [(1, 2, 3), (1, 3, 4)], None, 2, 1.0),
    ("triangulated_faceset", [(1, 2, 6)], None, 0, 0.0),  # an index past the point list drops the triangle
    ("triangulated_faceset", [(1, 2)], None, 0, 0.0),  # fewer than three indices
    ("triangulated_faceset", [(1, 2, 3, 4)], None, 1, 0.5),  # further indices are ignored
    ("triangulated_faceset", [(0, 2, 3)], None, 1, 0.5),  # 0 reads as vertex 0, like 1
    ("triangulated_faceset", [(1.9, 2, 3)], None, 1, 0.5),  # fractions are truncated
    ("triangulated_faceset", [(-5, 2, 3)], None, 1, 0.5),  # negative values clamp to 0
    ("triangulated_faceset", [(1, 2, 3), "(1,'x',2,3)"], None, 2, 1.0),  # non-numbers are skipped
    ("polygonal_faceset", [(1, 2, 3, 4)], None, 2, 1.0),
    # PnIndex reorders the same square: (3,2,1) and (3,1,0)
    ("polygonal_faceset", [(1, 2, 3, 4)], (4, 3, 2, 1), 2, 1.0),
    # without PnIndex the face (1,2,5) is the triangle (0,0,0) (1,0,0) (0,0,3)
    ("polygonal_faceset", [(1, 2, 5)], None, 1, 1.5),
    # with PnIndex (3,4,5,2,1) the face (1,2,3) selects points 2,3,4: (1,1,0) (0,1,0) (0,0,3)
    ("polygonal_faceset", [(1, 2, 3)], (3, 4, 5, 2, 1), 1, 0.5 * math.sqrt(10)),
    # an index past the end of PnIndex is dropped, leaving too few for a triangle
    ("polygonal_faceset", [(1, 2, 3)], (1, 2), 0, 0.0),
    # ... or leaving the rest of the face: (1,2,9,3) over PnIndex (1,2,3) is the triangle 0,1,2
    ("polygonal_faceset", [(1, 2, 9, 3)], (1, 2, 3), 1, 0.5),
    # a triangle with an index past the point list is skipped; the rest of the fan stays
    ("polygonal_faceset", [(1, 2, 9, 3, 4)], None, 1, 0.5),
    ("polygonal_faceset", [(1, 2, 3, 4, 1)], None, 3, 1.0),  # a pentagon fans into three triangles
])
def test_face_sets(write_ifc, kind, faces, pn_index, triangles, area):
    m = Model()
    if kind == "polygonal_faceset":
        m.product([m.polygons(POINTS5, faces, pn_index)])
    else:
        body = ",".join(f if isinstance(f, str) else "(" + ",".join(str(i) for i in f) + ")" for f in faces)
        m.product([m.add(f"IFCTRIANGULATEDFACESET({m.point_list(POINTS5)},$,$,({body}),$)")])
    result = drift(write_ifc, m)
    assert [(r["source"], r["triangle_count"], pytest.approx(r["surface_area"])) for r in rows(result)] == (
        [(kind, triangles, area)] if triangles else [])


def cube_with_x_face(orientation):
    """A cube brep whose x=1 face is written again with the given orientation value."""
    def build(m):
        faces = m.cube_faces()
        faces[5] = m.face([m.point(1, 0, 0), m.point(1, 1, 0), m.point(1, 1, 1), m.point(1, 0, 1)], orientation)
        return m.add(f"IFCFACETEDBREP({m.shell(faces)})")
    return build


def two_bounds(first_outer, second_outer):
    def build(m):
        small = m.bound([m.point(1, 1, 0), m.point(2, 1, 0), m.point(2, 2, 0)], outer=first_outer)
        big = m.bound([m.point(0, 0, 0), m.point(4, 0, 0), m.point(4, 4, 0), m.point(0, 4, 0)], outer=second_outer)
        return m.add(f"IFCFACETEDBREP({m.shell([m.add(f'IFCFACE(({small},{big}))')])})")
    return build


def odd_faces(m):
    """A cube's shell with faces that cannot be read, and entries that are not faces."""
    edge_loop = m.add("IFCEDGELOOP(())")
    odd = [m.add(f"IFCFACE(({m.add(f'IFCFACEOUTERBOUND({edge_loop},.T.)')}))"),  # not a poly loop
           m.add("IFCFACE($)"), m.add(f"IFCFACE(({m.add('IFCFACEOUTERBOUND($,.T.)')}))"),
           m.face([m.point(0, 0, 0), "#999999", m.point(1, 0, 0)]),  # two points remain: nothing
           m.add("IFCPOLYLOOP(())"), "#999998"]
    return m.add(f"IFCFACETEDBREP({m.shell(m.cube_faces() + odd)})")


def face_with_voids(m):
    pl = m.point_list(SQUARE + [(0.2, 0.2, 0), (0.4, 0.2, 0), (0.4, 0.4, 0)])
    outer = m.add("IFCINDEXEDPOLYGONALFACEWITHVOIDS((1,2,3,4),((5,6,7)))")
    return m.add(f"IFCPOLYGONALFACESET({pl},$,({outer},{m.point(0., 0., 0.)},'x'))")


def two_shells(m):
    closed, open_ = m.shell(m.cube_faces()), m.shell(m.cube_faces(origin=(5, 0, 0)), closed=False)
    return m.add(f"IFCSHELLBASEDSURFACEMODEL(({closed},{open_},#999999,$))")


CUBE = (12, 6.0, 1.0, (0.5, 0.5, 0.5))


# (source, triangles, area, volume, box centre); a plain cube: test_drift. Turning a cube's x=1 face
# inward leaves a third of its volume.
@pytest.mark.parametrize("build, source, expected", [
    pytest.param(lambda m: m.add(f"IFCMANIFOLDSOLIDBREP({m.shell(m.cube_faces())})"), "brep", CUBE, id="manifold"),
    pytest.param(lambda m: m.cube_brep(flip=(5,)), "brep", (12, 6.0, 1 / 3, (0.5, 0.5, 0.5)), id="one-face-reversed"),
    *[pytest.param(cube_with_x_face(o), "brep", (12, 6.0, v, (0.5, 0.5, 0.5)), id=f"orientation-{o}")
      for o, v in [(".T.", 1.0), ("$", 1.0), ("'F'", 1.0), (".U.", 1 / 3), (".F.", 1 / 3)]],
    pytest.param(odd_faces, "brep", CUBE, id="shell_skips_unreadable_faces"),
    pytest.param(two_bounds(False, True), "brep", (2, 16.0, 0.0, (2.0, 2.0, 0.0)), id="outer_bound_over_an_earlier"),
    pytest.param(two_bounds(False, False), "brep", (1, 0.5, 0.0, (1.5, 1.5, 0.0)), id="first_of_plain_bounds"),
    pytest.param(lambda m: m.add(f"IFCFACETEDBREP({m.shell([m.face([m.point(0), m.point(2, 0), m.point(0, 2)])])})"),
                 "brep", (1, 2.0, 0.0, (1.0, 1.0, 0.0)), id="short_coordinates_padded"),
    pytest.param(two_shells, "shell", (24, 12.0, 2.0, (3.0, 0.5, 0.5)), id="surface_model_merges_its_shells"),
    pytest.param(face_with_voids, "polygonal_faceset", (2, 1.0, 0.0, (0.5, 0.5, 0.0)), id="face_with_voids_outer_only"),
    # the two-number entry is dropped, so index 3 addresses (0,2,0)
    pytest.param(lambda m: m.triangles(m.add("IFCCARTESIANPOINTLIST3D(((0.,0.,0.),(2.,0.,0.),(9.,9.),(0.,2.,0.)))"),
                                       [(1, 2, 3)]), "triangulated_faceset", (1, 2.0, 0.0, (1.0, 1.0, 0.0)),
                 id="point_list_drops_short_entries"),
    pytest.param(lambda m: m.triangles(SQUARE[:3] + [(10, 10, 10)], [(1, 2, 3)]), "triangulated_faceset",
                 (1, 0.5, 0.0, (5.0, 5.0, 5.0)), id="unused_points_count_in_the_box"),
])
def test_items(write_ifc, build, source, expected):
    row = item_row(write_ifc, build)
    assert (row["source"], row["triangle_count"], row["surface_area"]) == (source, *expected[:2])
    assert (row["volume_abs"], box_centre(row)) == (pytest.approx(expected[2]), expected[3])


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
