"""Boolean, swept, revolved and tapered items and faces bounded by edges, each checked on its
label, volume and box centre; the placement class of a drift row as the drift command shows it."""

import math

import pytest

from clitools import cli
from mesh_models import DEGREES, Model, box_centre, drift, item_row, one_row


def clipped(operations, second=None):
    """A unit cube (0..1) cut by planes at height z with normal (0,0,1): `operations` lists
    (operator, z, agreement) from the innermost out; `second` builds another second operand."""
    def build(m):
        item = m.cube_brep(1.0)
        for op, z, agreement in operations:
            plane = m.add(f"IFCPLANE({m.axis3d((0, 0, z))})")
            item = m.add(f"IFCBOOLEANCLIPPINGRESULT(.{op}.,{item},{m.add(f'IFCHALFSPACESOLID({plane},{agreement})')})")
        return m.add(f"IFCBOOLEANRESULT(.DIFFERENCE.,{item},{second(m)})") if second else item
    return build


def bounded(corners):
    """A unit cube less the part above z = 0.5 within the prism over `corners`."""
    def half_space(m):
        plane = m.add(f"IFCPLANE({m.axis3d((0, 0, 0.5))})")
        boundary = m.add(f"IFCPOLYLINE(({','.join(m.point(float(x), float(y)) for x, y in corners + corners[:1])}))")
        return m.add(f"IFCPOLYGONALBOUNDEDHALFSPACE({plane},.F.,{m.axis3d()},{boundary})")
    return clipped([], half_space)


def rectangle_solid(m):
    profile = m.add("IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,0.2)")
    return m.add(f"IFCEXTRUDEDAREASOLID({profile},$,{m.direction(0., 0., 1.)},1.)")


# The agreement flag is true when the plane's normal points away from the half-space's material.
@pytest.mark.parametrize("build, source, volume, z", [
    pytest.param(clipped([("DIFFERENCE", 0.25, ".T.")]), "boolean", 0.75, 0.625, id="difference_keeps_above"),
    pytest.param(clipped([("DIFFERENCE", 0.5, ".F.")]), "boolean", 0.5, 0.25, id="difference_keeps_below"),
    pytest.param(clipped([("INTERSECTION", 0.25, ".T.")]), "boolean", 0.25, 0.125, id="intersection_keeps_inside"),
    pytest.param(clipped([("DIFFERENCE", 0.25, ".T."), ("DIFFERENCE", 0.75, ".F.")]), "boolean", 0.5, 0.5, id="chain"),
    pytest.param(clipped([("UNION", 0.25, ".T.")]), "boolean_unclipped", 1.0, 0.5, id="union_left_whole"),
    pytest.param(clipped([("DIFFERENCE", 0.5, ".F."), ("UNION", 0.25, ".T.")]), "boolean_unclipped", 0.5, 0.25,
                 id="chain_with_union"),
    pytest.param(clipped([], rectangle_solid), "boolean_unclipped", 1.0, 0.5, id="solid_second_operand_left_whole"),
    pytest.param(bounded([(-1, -1), (2, -1), (2, 2), (-1, 2)]), "boolean", 0.5, 0.25, id="cube_inside_the_prism"),
    pytest.param(bounded([(5, 5), (6, 5), (6, 6), (5, 6)]), "boolean", 1.0, 0.5, id="prism_apart"),
    pytest.param(bounded([(0.5, -1), (2, -1), (2, 2), (0.5, 2)]), "boolean_unclipped", 1.0, 0.5, id="prism_crossing"),
])
def test_boolean_clips(write_ifc, build, source, volume, z):
    row = item_row(write_ifc, build, placed=True)
    assert (row["source"], row["volume_abs"]) == (source, pytest.approx(volume, rel=1e-5))  # cuts are capped
    assert box_centre(row) == pytest.approx((0.5, 0.5, z), abs=1e-6)


def swept_disk(inner):
    def build(m):
        path = m.add(f"IFCPOLYLINE(({m.point(0., 0., 0.)},{m.point(10., 0., 0.)},{m.point(10., 10., 0.)}))")
        return m.add(f"IFCSWEPTDISKSOLID({path},0.5,{inner},$,$)")
    return build


def revolution(angle):
    def build(m):
        profile = m.add(f"IFCRECTANGLEPROFILEDEF(.AREA.,$,{m.add(f'IFCAXIS2PLACEMENT2D({m.point(3., 0.)},$)')},1.,1.)")
        axis = m.add(f"IFCAXIS1PLACEMENT({m.point(0., 0., 0.)},{m.direction(0., 1., 0.)})")
        return m.add(f"IFCREVOLVEDAREASOLID({profile},$,{axis},{angle!r})")
    return build


def tapered(end):
    return lambda m: m.add(f"IFCEXTRUDEDAREASOLIDTAPERED({m.add('IFCRECTANGLEPROFILEDEF(.AREA.,$,$,2.,2.)')},$,"
                           f"{m.direction(0., 0., 1.)},3.,{m.add(end)})")


@pytest.mark.parametrize("build, units, source, volume, centre", [
    # A mitred tube: a 12-gon of radius r has area 3 r^2.
    pytest.param(swept_disk("$"), "", "swept_disk", 3 * 0.25 * 20, (5.25, 4.75, 0.0), id="swept_disk"),
    pytest.param(swept_disk("0.25"), "", "swept_disk", 3 * (0.25 - 0.0625) * 20, (5.25, 4.75, 0.0),
                 id="hollow_swept_disk"),
    # A unit square centred 3 from the y axis: Pappus gives 2 pi 3 for the whole turn (32 chords).
    pytest.param(revolution(2 * math.pi), "", "revolution", 2 * math.pi * 3, (0.0, 0.0, 0.0), id="whole_turn"),
    pytest.param(revolution(90.0), DEGREES, "revolution", 2 * math.pi * 3 / 4, (1.75, 0.0, -1.75),
                 id="quarter_turn_in_degrees"),
    pytest.param(tapered("IFCRECTANGLEPROFILEDEF(.AREA.,$,$,1.,1.)"), "", "tapered_extrusion", 7.0, (0, 0, 1.5),
                 id="frustum"),
    pytest.param(tapered("IFCCIRCLEPROFILEDEF(.AREA.,$,$,1.)"), "", "tapered_extrusion", 12.0, (0, 0, 1.5),
                 id="unlike_profiles_extrude_the_start"),
    pytest.param(lambda m: m.add(f"IFCFACEBASEDSURFACEMODEL(({m.shell(m.cube_faces(2.0), kind='IFCCONNECTEDFACESET')}))"),
                 "", "shell", 8.0, (1, 1, 1), id="connected_face_sets"),
])
def test_solids(write_ifc, build, units, source, volume, centre):
    row = item_row(write_ifc, build, units, placed=True)
    assert (row["source"], row["volume_abs"]) == (source, pytest.approx(volume, rel=0.01))
    assert box_centre(row) == pytest.approx(centre, abs=1e-5)


def edge_loop_face(m, corners, kind):
    """A face bounded by an edge loop through `corners`, each edge drawn backwards and used reversed."""
    vertices = [m.add(f"IFCVERTEXPOINT({m.point(*c)})") for c in corners]
    edges = [m.add(f"IFCORIENTEDEDGE(*,*,{m.add(f'IFCEDGECURVE({b},{a},$,.T.)')},.F.)")
             for a, b in zip(vertices, vertices[1:] + vertices[:1])]
    loop = m.add(f"IFCEDGELOOP(({','.join(edges)}))")
    bound = m.add(f"IFCFACEOUTERBOUND({loop},.T.)")
    return m.add(f"{kind}(({bound}),$,.T.)" if kind != "IFCFACE" else f"IFCFACE(({bound}))")


@pytest.mark.parametrize("representation, kind, source", [
    pytest.param("IFCSHAPEREPRESENTATION", "IFCFACESURFACE", "face", id="face_as_an_item"),
    pytest.param("IFCTOPOLOGYREPRESENTATION", "IFCFACE", "face", id="face_of_a_topology_representation"),
    pytest.param("IFCSHAPEREPRESENTATION", "brep", "brep", id="advanced_brep_of_edge_loops"),
])
def test_faces_bounded_by_edges(write_ifc, representation, kind, source):
    m = Model()
    square = [(0., 0., 3.), (2., 0., 3.), (2., 1., 3.), (0., 1., 3.)]
    if kind == "brep":
        shell = m.shell([edge_loop_face(m, square, "IFCADVANCEDFACE")])
        item = m.add(f"IFCADVANCEDBREP({shell})")
    else:
        item = edge_loop_face(m, square, kind)
    shape = m.add(f"{representation}($,'Reference','Face',({item}))")
    m.product(representation=m.add(f"IFCPRODUCTDEFINITIONSHAPE($,$,({shape}))"), placement=m.local_placement())
    row = one_row(drift(write_ifc, m))
    assert (row["source"], row["triangle_count"], row["surface_area"]) == (source, 2, pytest.approx(2.0))
    assert box_centre(row) == pytest.approx((1.0, 0.5, 3.0))


def test_drift_command_lists_unplaced_products_apart(write_ifc, capsys):
    # Of those 50 from their placement, only the one whose own placement adds nothing to its
    # container's (the storey at x = 100) is located by its shape alone; one moved up only, or
    # at its container's origin and there, is placed.
    m = Model()
    storey = m.local_placement(relative=m.axis3d((100, 0, 0)))
    for guid, own, away in [("0unplacedunplacedunpla", None, 50), ("1movedmovedmovedmovedm", (5, 0, 0), 50),
                            ("2upupupupupupupupupupu", (0, 0, 5), 50), ("3thereeeeeeeeeeeeeeeee", None, 0)]:
        m.product([m.cube_brep(1.0, origin=(away, 0, 0))], guid=f"'{guid}'",
                  placement=m.local_placement(storey, m.axis3d(own) if own else None))
    _, out, _ = cli(capsys, "drift", write_ifc(m.text()))
    moved, _, apart = out.partition("1 placed at container origin, located by its shape:")
    assert "1movedmovedmovedmovedm" in moved and "2upupupupupupupupupupu" in moved
    assert "0unplacedunplacedunpla" not in moved and "0unplacedunplacedunpla" in apart
