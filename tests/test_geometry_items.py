"""Swept, revolved, tapered and boolean items, curved outlines, further sections, and grid and
linear placements, each checked on its volume, box centre and label."""

import math

import pytest

from mesh_models import Model, drift, rows

DEGREES = (
    "#1=IFCUNITASSIGNMENT((#2));#2=IFCCONVERSIONBASEDUNIT(#3,.PLANEANGLEUNIT.,'DEGREE',#4);"
    "#4=IFCMEASUREWITHUNIT(IFCPLANEANGLEMEASURE(0.017453292519943295),#5);"
    "#5=IFCSIUNIT(*,.PLANEANGLEUNIT.,$,.RADIAN.);"
)
POLYGON_32 = 0.5 * 32 * math.sin(2 * math.pi / 32)  # area of the 32-gon of unit radius
HALF_16 = 0.5 * 16 * math.sin(math.pi / 16)  # area of a half disc drawn as 16 chords


def only(write_ifc, m):
    found = rows(drift(write_ifc, m))
    assert len(found) == 1, found
    return found[0]


def centre(row):
    return (row["centroid_x"], row["centroid_y"], row["centroid_z"])


def solid(m, item):
    m.product([item], placement=m.local_placement())
    return m


def extrusion(m, profile, depth=1.0):
    return m.add(f"IFCEXTRUDEDAREASOLID({profile},$,{m.direction(0., 0., 1.)},{depth})")


# ---------------------------------------------------------------- sections

SECTIONS = [
    # (profile, area, box centre x, y): every section sits centred on its box.
    pytest.param("IFCRECTANGLEHOLLOWPROFILEDEF(.AREA.,$,$,4.,2.,0.5,$,$)", 8 - 3, id="hollow_rectangle"),
    pytest.param("IFCRECTANGLEHOLLOWPROFILEDEF(.AREA.,$,$,4.,2.,3.,$,$)", 8, id="hollow_rectangle_filled"),
    pytest.param("IFCCIRCLEHOLLOWPROFILEDEF(.AREA.,$,$,1.,0.5)", POLYGON_32 * 0.75, id="hollow_circle"),
    pytest.param("IFCCSHAPEPROFILEDEF(.AREA.,$,$,4.,2.,0.5,1.,$)", 8 - 1.5 * 3 + 2 * 0.5 * 0.5, id="c_shape"),
    pytest.param("IFCTRAPEZIUMPROFILEDEF(.AREA.,$,$,4.,2.,2.,1.)", 6, id="trapezium"),
    pytest.param("IFCASYMMETRICISHAPEPROFILEDEF(.AREA.,$,$,4.,6.,1.,1.,$,2.,1.,$,$)", 4 + 4 + 2, id="asymmetric_i"),
    pytest.param("IFCLSHAPEPROFILEDEF(.AREA.,$,$,4.,2.,1.,$,$,$)", 4 + 1, id="l_shape"),
    pytest.param("IFCZSHAPEPROFILEDEF(.AREA.,$,$,4.,2.,1.,1.,$,$)", 4 + 2 + 2, id="z_shape"),
]


@pytest.mark.parametrize("profile, area", SECTIONS)
def test_sections_are_centred_on_their_box(write_ifc, profile, area):
    m = Model()
    row = only(write_ifc, solid(m, extrusion(m, m.add(profile), 2.0)))
    assert row["source"] == "extrusion"
    assert row["volume_abs"] == pytest.approx(2 * area, rel=1e-5)
    assert centre(row) == pytest.approx((0.0, 0.0, 1.0), abs=1e-6)


# ---------------------------------------------------------------- curves


def rounded_outline(m, units=""):
    """(0,0)-(2,0), the half circle about (2,1) through (3,1), then (2,2)-(0,2)-(0,0)."""
    m.raw(units)
    scale = 1.0 if not units else 180 / math.pi
    first = m.add(f"IFCPOLYLINE(({m.point(0., 0.)},{m.point(2., 0.)}))")
    circle = m.add(f"IFCCIRCLE({m.add(f'IFCAXIS2PLACEMENT2D({m.point(2., 1.)},$)')},1.)")
    arc = m.add(f"IFCTRIMMEDCURVE({circle},(IFCPARAMETERVALUE({-math.pi / 2 * scale!r})),"
                f"(IFCPARAMETERVALUE({math.pi / 2 * scale!r})),.T.,.PARAMETER.)")
    back = m.add(f"IFCPOLYLINE(({m.point(0., 2.)},{m.point(2., 2.)}))")  # drawn the other way
    segments = [m.add(f"IFCCOMPOSITECURVESEGMENT(.CONTINUOUS.,{sense},{c})")
                for c, sense in ((first, ".T."), (arc, ".T."), (back, ".F."))]
    return m.add(f"IFCCOMPOSITECURVE(({','.join(segments)}),.F.)")


@pytest.mark.parametrize("units", [pytest.param("", id="radians"), pytest.param(DEGREES, id="degrees")])
def test_composite_curve_outline_with_a_trimmed_circle(write_ifc, units):
    m = Model()
    outline = rounded_outline(m, units)
    row = only(write_ifc, solid(m, extrusion(m, m.add(f"IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,{outline})"))))
    assert row["volume_abs"] == pytest.approx(4 + HALF_16, rel=1e-5)
    assert centre(row) == pytest.approx((1.5, 1.0, 0.5), abs=1e-6)


def test_trimmed_circle_against_its_sense_and_by_points(write_ifc):
    # From (3,1) back to (1,1) clockwise about (2,1): the lower half; the trims are points.
    m = Model()
    circle = m.add(f"IFCCIRCLE({m.add(f'IFCAXIS2PLACEMENT2D({m.point(2., 1.)},$)')},1.)")
    arc = m.add(f"IFCTRIMMEDCURVE({circle},({m.point(3., 1.)}),({m.point(1., 1.)}),.F.,.CARTESIAN.)")
    row = only(write_ifc, solid(m, extrusion(m, m.add(f"IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,{arc})"))))
    assert row["triangle_count"] == 2 * 15 + 2 * 17  # 16 chords: 17 points
    assert (row["centroid_x"], row["centroid_y"], row["max_extent"]) == pytest.approx((2.0, 0.5, 2.0), abs=1e-6)


def test_whole_circle_outline(write_ifc):
    m = Model()
    circle = m.add(f"IFCCIRCLE({m.add(f'IFCAXIS2PLACEMENT2D({m.point(5., 0.)},$)')},1.)")
    row = only(write_ifc, solid(m, extrusion(m, m.add(f"IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,{circle})"))))
    assert row["volume_abs"] == pytest.approx(POLYGON_32, rel=1e-5)
    assert row["centroid_x"] == pytest.approx(5.0)


# ---------------------------------------------------------------- booleans


def clipped_cube(m, operations, first=None):
    """A unit cube (0..1) cut by planes at height z with normal (0,0,1): `operations` lists
    (operator, z, agreement) from the innermost out."""
    item = first or m.cube_brep(1.0)
    for op, z, agreement in operations:
        plane = m.add(f"IFCPLANE({m.axis3d((0, 0, z))})")
        half = m.add(f"IFCHALFSPACESOLID({plane},{agreement})")
        item = m.add(f"IFCBOOLEANCLIPPINGRESULT(.{op}.,{item},{half})")
    return item


@pytest.mark.parametrize("operations, volume, z, source", [
    # The flag is true when the normal points away from the half-space's material.
    pytest.param([("DIFFERENCE", 0.25, ".T.")], 0.75, 0.625, "boolean", id="difference_keeps_above"),
    pytest.param([("DIFFERENCE", 0.5, ".F.")], 0.5, 0.25, "boolean", id="difference_keeps_below"),
    pytest.param([("INTERSECTION", 0.25, ".T.")], 0.25, 0.125, "boolean", id="intersection_keeps_inside"),
    pytest.param([("DIFFERENCE", 0.25, ".T."), ("DIFFERENCE", 0.75, ".F.")], 0.5, 0.5, "boolean", id="chain"),
    pytest.param([("UNION", 0.25, ".T.")], 1.0, 0.5, "boolean_unclipped", id="union_left_whole"),
    pytest.param([("DIFFERENCE", 0.5, ".F."), ("UNION", 0.25, ".T.")], 0.5, 0.25, "boolean_unclipped",
                 id="chain_with_union"),
])
def test_half_space_clips(write_ifc, operations, volume, z, source):
    m = Model()
    row = only(write_ifc, solid(m, clipped_cube(m, operations)))
    assert row["source"] == source
    assert row["volume_abs"] == pytest.approx(volume, rel=1e-5)  # cuts are capped
    assert centre(row) == pytest.approx((0.5, 0.5, z), abs=1e-6)


@pytest.mark.parametrize("corners, volume, source", [
    pytest.param([(-1, -1), (2, -1), (2, 2), (-1, 2)], 0.5, "boolean", id="cube_inside_the_prism"),
    pytest.param([(5, 5), (6, 5), (6, 6), (5, 6)], 1.0, "boolean", id="prism_apart"),
    pytest.param([(0.5, -1), (2, -1), (2, 2), (0.5, 2)], 1.0, "boolean_unclipped", id="prism_crossing"),
])
def test_polygonal_bounded_half_space(write_ifc, corners, volume, source):
    m = Model()
    plane = m.add(f"IFCPLANE({m.axis3d((0, 0, 0.5))})")
    boundary = m.add(f"IFCPOLYLINE(({','.join(m.point(float(x), float(y)) for x, y in corners + corners[:1])}))")
    half = m.add(f"IFCPOLYGONALBOUNDEDHALFSPACE({plane},.F.,{m.axis3d()},{boundary})")
    row = only(write_ifc, solid(m, m.add(f"IFCBOOLEANCLIPPINGRESULT(.DIFFERENCE.,{m.cube_brep(1.0)},{half})")))
    assert (row["source"], row["volume_abs"]) == (source, pytest.approx(volume, rel=1e-5))


def test_solid_second_operand_leaves_the_first_whole(write_ifc):
    m = Model()
    hole = extrusion(m, m.add("IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,0.2)"))
    row = only(write_ifc, solid(m, m.add(f"IFCBOOLEANRESULT(.DIFFERENCE.,{m.cube_brep(1.0)},{hole})")))
    assert (row["source"], row["volume_abs"]) == ("boolean_unclipped", pytest.approx(1.0))


# ---------------------------------------------------------------- sweeps


@pytest.mark.parametrize("inner, volume", [
    pytest.param("$", 3 * 0.25 * 20, id="solid"),  # a 12-gon of radius r has area 3 r^2
    pytest.param("0.25", 3 * (0.25 - 0.0625) * 20, id="hollow"),
])
def test_swept_disk_is_a_mitred_tube(write_ifc, inner, volume):
    m = Model()
    path = m.add(f"IFCPOLYLINE(({m.point(0., 0., 0.)},{m.point(10., 0., 0.)},{m.point(10., 10., 0.)}))")
    row = only(write_ifc, solid(m, m.add(f"IFCSWEPTDISKSOLID({path},0.5,{inner},$,$)")))
    assert row["source"] == "swept_disk"
    assert row["volume_abs"] == pytest.approx(volume, rel=1e-5)
    assert centre(row) == pytest.approx((5.25, 4.75, 0.0), abs=1e-5)


@pytest.mark.parametrize("angle, units, volume, box_centre", [
    # A unit square centred 3 from the y axis: Pappus gives 2 pi 3 for the whole turn.
    pytest.param(2 * math.pi, "", 2 * math.pi * 3, (0.0, 0.0, 0.0), id="whole_turn"),
    pytest.param(90.0, DEGREES, 2 * math.pi * 3 / 4, (1.75, 0.0, -1.75), id="quarter_turn_in_degrees"),
])
def test_revolution(write_ifc, angle, units, volume, box_centre):
    m = Model()
    m.raw(units)
    profile = m.add(f"IFCRECTANGLEPROFILEDEF(.AREA.,$,{m.add(f'IFCAXIS2PLACEMENT2D({m.point(3., 0.)},$)')},1.,1.)")
    axis = m.add(f"IFCAXIS1PLACEMENT({m.point(0., 0., 0.)},{m.direction(0., 1., 0.)})")
    row = only(write_ifc, solid(m, m.add(f"IFCREVOLVEDAREASOLID({profile},$,{axis},{angle!r})")))
    assert row["source"] == "revolution"
    assert row["volume_abs"] == pytest.approx(volume, rel=0.01)  # 32 chords a turn
    assert centre(row) == pytest.approx(box_centre, abs=1e-5)


@pytest.mark.parametrize("end, volume", [
    pytest.param("IFCRECTANGLEPROFILEDEF(.AREA.,$,$,1.,1.)", 7.0, id="frustum"),
    pytest.param("IFCCIRCLEPROFILEDEF(.AREA.,$,$,1.)", 12.0, id="unlike_profiles_extrude_the_start"),
])
def test_tapered_extrusion(write_ifc, end, volume):
    m = Model()
    start = m.add("IFCRECTANGLEPROFILEDEF(.AREA.,$,$,2.,2.)")
    row = only(write_ifc, solid(m, m.add(
        f"IFCEXTRUDEDAREASOLIDTAPERED({start},$,{m.direction(0., 0., 1.)},3.,{m.add(end)})")))
    assert row["source"] == "tapered_extrusion"
    assert row["volume_abs"] == pytest.approx(volume, rel=1e-5)


def test_connected_face_sets_of_a_surface_model(write_ifc):
    m = Model()
    faces = m.add(f"IFCCONNECTEDFACESET(({','.join(m.cube_faces(2.0))}))")
    row = only(write_ifc, solid(m, m.add(f"IFCFACEBASEDSURFACEMODEL(({faces}))")))
    assert (row["source"], row["volume_abs"]) == ("shell", pytest.approx(8.0))


def edge_loop_face(m, corners, kind="IFCFACESURFACE"):
    """A face bounded by an edge loop through `corners`, each edge a curve between vertex points."""
    vertices = [m.add(f"IFCVERTEXPOINT({m.point(*c)})") for c in corners]
    edges = []
    for a, b in zip(vertices, vertices[1:] + vertices[:1]):
        edge = m.add(f"IFCEDGECURVE({b},{a},$,.T.)")  # drawn backwards, used reversed
        edges.append(m.add(f"IFCORIENTEDEDGE(*,*,{edge},.F.)"))
    bound = m.add(f"IFCFACEOUTERBOUND({m.add(f'IFCEDGELOOP(({chr(44).join(edges)}))')},.T.)")
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
        face = edge_loop_face(m, square, "IFCADVANCEDFACE")
        item = m.add(f"IFCADVANCEDBREP({m.add(f'IFCCLOSEDSHELL(({face}))')})")
    else:
        item = edge_loop_face(m, square, kind)
    shape = m.add(f"{representation}($,'Reference','Face',({item}))")
    m.product(representation=m.add(f"IFCPRODUCTDEFINITIONSHAPE($,$,({shape}))"), placement=m.local_placement())
    row = only(write_ifc, m)
    assert (row["source"], row["triangle_count"], row["surface_area"]) == (source, 2, pytest.approx(2.0))
    assert centre(row) == pytest.approx((1.0, 0.5, 3.0))


# ---------------------------------------------------------------- placements


def grid(m):
    """Axes A (x = 0) and B (x = 10) along +y, axis 1 (y = 20) along +x, in a grid placed at
    x = 1000."""
    def axis(tag, a, b):
        return m.add(f"IFCGRIDAXIS('{tag}',{m.add(f'IFCPOLYLINE(({m.point(*a)},{m.point(*b)}))')},.T.)")
    axes = {"A": axis("A", (0., 0.), (0., 100.)), "B": axis("B", (10., 0.), (10., 100.)),
            "1": axis("1", (-5., 20.), (50., 20.))}
    placement = m.local_placement(relative=m.axis3d((1000, 0, 0)))
    m.add(f"IFCGRID('grid',$,$,$,$,{placement},$,({axes['A']},{axes['B']}),({axes['1']}),$)")
    return axes


@pytest.mark.parametrize("first, second, offsets, ref, point", [
    pytest.param("B", "1", "(0.,0.,5.)", None, (1010.5, 20.5, 5.5), id="crossing_lifted"),
    pytest.param("B", "1", "(1.,2.)", None, (1009.5, 22.5, 0.5), id="offsets_to_the_left"),
    pytest.param("A", "1", "(0.,0.)", "direction", (999.5, 20.5, 0.5), id="turned_by_a_direction"),
    pytest.param("A", "1", "(0.,0.)", "intersection", (1000.5, 20.5, 0.5), id="turned_towards_a_crossing"),
    pytest.param("A", "missing", "(0.,0.)", None, (0.5, 0.5, 0.5), id="missing_axis_is_the_identity"),
    pytest.param("A", "A", "(0.,0.)", None, (0.5, 0.5, 0.5), id="parallel_axes_are_the_identity"),
])
def test_grid_placement(write_ifc, first, second, offsets, ref, point):
    m = Model()
    axes = grid(m)
    axes["missing"] = "#99999"
    location = m.add(f"IFCVIRTUALGRIDINTERSECTION(({axes[first]},{axes[second]}),{offsets})")
    direction = {None: "$", "direction": m.direction(0., 1.),
                 "intersection": m.add(f"IFCVIRTUALGRIDINTERSECTION(({axes['B']},{axes['1']}),(0.,0.))")}[ref]
    placement = m.add(f"IFCGRIDPLACEMENT({location},{direction})")
    m.product([m.cube_brep(1.0)], placement=placement)  # the cube spans 0..1 in its placement
    assert centre(only(write_ifc, m)) == pytest.approx(point, abs=1e-4)


@pytest.mark.parametrize("curve, point", [
    # 150 along: 100 along x, then 50 along y; 2 to the left (-x) and 3 up.
    pytest.param("polyline", (98.0, 50.0, 3.0), id="polyline"),
    pytest.param("indexed", (98.0, 50.0, 3.0), id="indexed_poly_curve"),
    pytest.param("other", (7.0, 0.0, 0.0), id="other_curve_uses_the_cartesian_position"),
])
def test_linear_placement(write_ifc, curve, point):
    m = Model()
    corners = [(0., 0., 0.), (100., 0., 0.), (100., 100., 0.)]
    basis = {
        "polyline": lambda: m.add(f"IFCPOLYLINE(({','.join(m.point(*c) for c in corners)}))"),
        "indexed": lambda: m.add(f"IFCINDEXEDPOLYCURVE({m.point_list(corners)},$,.F.)"),
        "other": lambda: m.add("IFCGRADIENTCURVE((),.F.,$,$)"),
    }[curve]()
    along = m.add(f"IFCPOINTBYDISTANCEEXPRESSION(IFCLENGTHMEASURE(150.),2.,3.,$,{basis})")
    placement = m.add(f"IFCLINEARPLACEMENT($,{m.add(f'IFCAXIS2PLACEMENTLINEAR({along},$,$)')},{m.axis3d((7, 0, 0))})")
    m.product([m.cube_brep(1.0, origin=(-0.5, -0.5, -0.5))], placement=placement)
    assert centre(only(write_ifc, m)) == pytest.approx(point, abs=1e-4)


@pytest.mark.parametrize("own, away, placement", [
    pytest.param((0, 0, 0), 50.0, "unplaced", id="located_by_its_shape_alone"),
    pytest.param((5, 0, 0), 50.0, "placed", id="moved_by_its_placement_then_drifted"),
    pytest.param((0, 0, 0), 0.0, "placed", id="at_its_containers_origin_and_there"),
])
def test_placement_class_in_the_arrow_drift_table(write_ifc, own, away, placement):
    import quarnel

    m = Model()
    storey = m.local_placement(relative=m.axis3d((100, 0, 0)))
    m.product([m.cube_brep(1.0, origin=(away, 0, 0))], placement=m.local_placement(storey, m.axis3d(own)))
    table = quarnel.read_table(write_ifc(m.text()), "drift")
    assert table.column("placement").to_pylist() == [placement]


def test_drift_command_lists_unplaced_products_apart(write_ifc):
    from clitools import run

    m = Model()
    storey = m.local_placement(relative=m.axis3d((100, 0, 0)))
    m.product([m.cube_brep(1.0, origin=(50, 0, 0))], placement=m.local_placement(storey),
              guid="'0unplacedunplacedunpla'")
    m.product([m.cube_brep(1.0, origin=(50, 0, 0))], placement=m.local_placement(storey, m.axis3d((5, 0, 0))),
              guid="'1movedmovedmovedmovedm'")
    out = run("drift", write_ifc(m.text()), check=0).stdout
    moved, _, apart = out.partition("1 placed at container origin, located by its shape:")
    assert "1movedmovedmovedmovedm" in moved and "0unplacedunplacedunpla" not in moved
    assert "0unplacedunplacedunpla" in apart and "1movedmovedmovedmovedm" not in apart
