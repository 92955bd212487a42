"""Extruded area solids: profile outlines and positions, 2D curves, directions, caps and walls."""

import math

import pytest

from mesh_models import DEGREES, Model, box_centre, drift, one_row, rows

QUARTER_TURN = "#101=IFCAXIS2PLACEMENT2D(#102,#103);#102=IFCCARTESIANPOINT((1.,0.));#103=IFCDIRECTION((0.,1.));"


def extruded(write_ifc, profile, depth="3.", direction=None, position="$", units=""):
    """analyse_drift of one wall extruding `profile`: DATA text defining #100, or a builder m -> ref."""
    m = Model(first_id=1000)
    m.raw(units)
    if callable(profile):
        ref = profile(m)
    else:
        m.raw(profile)
        ref = "#100"
    direction = direction(m) if callable(direction) else direction or m.direction(0., 0., 1.)
    position = position(m) if callable(position) else position
    m.product([m.add(f"IFCEXTRUDEDAREASOLID({ref},{position},{direction},{depth})")], placement=m.local_placement())
    return drift(write_ifc, m)


def prism(outline, holes=()):
    """What a prism over `outline` less `holes` shows: area, side length, box and triangles
    (caps of n points and h holes: n + 2h - 2 each, one quad of wall per point)."""
    def shoelace(p):
        return abs(0.5 * sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(p, p[1:] + p[:1])))

    def length(p):
        return sum(math.dist(a, b) for a, b in zip(p, p[1:] + p[:1]))

    n = len(outline) + sum(map(len, holes))
    xs, ys = [p[0] for p in outline], [p[1] for p in outline]
    return {"area": shoelace(outline) - sum(map(shoelace, holes)), "side": length(outline) + sum(map(length, holes)),
            "box": ((min(xs) + max(xs)) / 2, (min(ys) + max(ys)) / 2, max(xs) - min(xs), max(ys) - min(ys)),
            "triangles": 2 * (n + 2 * len(holes) - 2) + 2 * n}


def ngon(rx, ry=None, n=32, start=0.0, turn=2 * math.pi):
    """The profiles' curved outlines: n points from the x axis, or chords of `turn` about 0,0."""
    steps = n if turn == 2 * math.pi else n + 1
    return [(rx * math.cos(start + turn * k / n), (ry or rx) * math.sin(start + turn * k / n)) for k in range(steps)]


def centred(points):
    cx = (min(p[0] for p in points) + max(p[0] for p in points)) / 2
    cy = (min(p[1] for p in points) + max(p[1] for p in points)) / 2
    return [(x - cx, y - cy) for x, y in points]


def i_shape(w, d, tw, tf):
    a, b, c, e = w / 2, d / 2, tw / 2, d / 2 - tf
    return [(-a, -b), (a, -b), (a, -e), (c, -e), (c, e), (a, e), (a, b), (-a, b), (-a, e), (-c, e), (-c, -e), (-a, -e)]


def check(row, expected, depth=3.0):
    cx, cy, w, h = expected.get("box", (0.0, 0.0, None, None))
    assert row["source"] == "extrusion"
    assert row["volume_abs"] == pytest.approx(expected["area"] * depth, rel=1e-5)
    assert box_centre(row) == pytest.approx((cx, cy, depth / 2), abs=1e-6)
    if "side" in expected:
        assert row["surface_area"] == pytest.approx(2 * expected["area"] + expected["side"] * depth, rel=1e-5)
        assert row["max_extent"] == pytest.approx(max(w, h, depth), rel=1e-6)
    if expected.get("triangles"):
        assert row["triangle_count"] == expected["triangles"]


RECTANGLE = prism([(-0.1, -0.25), (0.1, -0.25), (0.1, 0.25), (-0.1, 0.25)])
L_SHAPE = [(0, 0), (2, 0), (2, 0.1), (0.1, 0.1), (0.1, 1), (0, 1)]
POLYGON_32 = 0.5 * 32 * math.sin(2 * math.pi / 32)  # area of the 32-gon of unit radius


# Every parameterised profile sits centred on its box, as IfcOpenShell centres it.
@pytest.mark.parametrize("profile, expected", [
    pytest.param("IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,0.5)", RECTANGLE, id="rectangle"),
    pytest.param("IFCROUNDEDRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,0.5,0.05)", RECTANGLE, id="rounded_ignores_radius"),
    pytest.param("IFCISHAPEPROFILEDEF(.AREA.,$,$,0.2,0.4,0.01,0.02,$,$,$)", prism(i_shape(0.2, 0.4, 0.01, 0.02)),
                 id="i_shape"),
    pytest.param("IFCLSHAPEPROFILEDEF(.AREA.,$,$,1.,2.,0.1,$,$,$)", prism(centred(L_SHAPE)), id="l_shape"),
    pytest.param("IFCLSHAPEPROFILEDEF(.AREA.,$,$,1.,$,0.1,$,$,$)",
                 prism(centred([(0, 0), (1, 0), (1, 0.1), (0.1, 0.1), (0.1, 1), (0, 1)])), id="l_shape_equal_legs"),
    pytest.param("IFCTSHAPEPROFILEDEF(.AREA.,$,$,0.3,0.2,0.01,0.02,$,$,$,$,$)", prism(centred(
        [(-0.005, 0), (0.005, 0), (0.005, 0.28), (0.1, 0.28), (0.1, 0.3), (-0.1, 0.3), (-0.1, 0.28), (-0.005, 0.28)])),
        id="t_shape"),
    pytest.param("IFCUSHAPEPROFILEDEF(.AREA.,$,$,0.3,0.1,0.01,0.02,$,$,$)", prism(centred(
        [(0, 0), (0.1, 0), (0.1, 0.02), (0.01, 0.02), (0.01, 0.28), (0.1, 0.28), (0.1, 0.3), (0, 0.3)])), id="u_shape"),
    pytest.param("IFCZSHAPEPROFILEDEF(.AREA.,$,$,0.3,0.1,0.01,0.02,$,$)", prism(centred(
        [(-0.105, 0), (0.005, 0), (0.005, 0.28), (0.105, 0.28), (0.105, 0.3), (-0.005, 0.3), (-0.005, 0.02),
         (-0.105, 0.02)])), id="z_shape"),
    # 32 points from (1,0): the box is exactly 2 x 2, where a table half a step later gives 1.99.
    pytest.param("IFCCIRCLEPROFILEDEF(.AREA.,$,$,1.)", prism(ngon(1.0)), id="circle"),
    pytest.param("IFCELLIPSEPROFILEDEF(.AREA.,$,$,2.,0.5)", prism(ngon(2.0, 0.5)), id="ellipse"),
    pytest.param("IFCCIRCLEHOLLOWPROFILEDEF(.AREA.,$,$,1.,0.25)", prism(ngon(1.0), [ngon(0.75)]), id="hollow_circle"),
    # The inner ring clamped at radius 0: all 32 hole points at the centre, nothing removed.
    pytest.param("IFCCIRCLEHOLLOWPROFILEDEF(.AREA.,$,$,1.,2.)", {"area": POLYGON_32}, id="wall_thicker_than_radius"),
    pytest.param("IFCRECTANGLEHOLLOWPROFILEDEF(.AREA.,$,$,4.,2.,0.5,$,$)", {"area": 8 - 3}, id="hollow_rectangle"),
    pytest.param("IFCRECTANGLEHOLLOWPROFILEDEF(.AREA.,$,$,4.,2.,3.,$,$)", {"area": 8}, id="hollow_rectangle_filled"),
    pytest.param("IFCCSHAPEPROFILEDEF(.AREA.,$,$,4.,2.,0.5,1.,$)", {"area": 8 - 1.5 * 3 + 2 * 0.5 * 0.5}, id="c_shape"),
    pytest.param("IFCTRAPEZIUMPROFILEDEF(.AREA.,$,$,4.,2.,2.,1.)", {"area": 6}, id="trapezium"),
    pytest.param("IFCASYMMETRICISHAPEPROFILEDEF(.AREA.,$,$,4.,6.,1.,1.,$,2.,1.,$,$)", {"area": 4 + 4 + 2},
                 id="asymmetric_i"),
])
def test_parameterised_profiles(write_ifc, profile, expected):
    # Thin, so that the largest extent is the profile's.
    check(one_row(extruded(write_ifc, f"#100={profile};", depth="0.01")), expected, depth=0.01)


# Profiles turn about their box centre, then move: only the translation moves the centre.
U_AREA = 0.2 - 1.99 * 0.06  # a U of flange 2 and depth 0.1


# Thin, so that the largest extent is the profile's.
@pytest.mark.parametrize("profile, centre, area, extent", [
    pytest.param("IFCCIRCLEPROFILEDEF(.AREA.,$,#101,1.);" + QUARTER_TURN, (1.0, 0.0), POLYGON_32, 2.0, id="circle"),
    pytest.param("IFCLSHAPEPROFILEDEF(.AREA.,$,#101,1.,2.,0.1,$,$,$);" + QUARTER_TURN, (1.0, 0.0), 0.29, 2.0,
                 id="l_turned_about_its_box_centre_then_moved"),
    pytest.param("IFCRECTANGLEPROFILEDEF(.AREA.,$,#101,2.,1.);#101=IFCAXIS2PLACEMENT2D($,#103);"
                 "#103=IFCDIRECTION((1.,1.));", (0.0, 0.0), 2.0, 3 / math.sqrt(2), id="eighth_turn"),
    *[pytest.param(f"IFCUSHAPEPROFILEDEF(.AREA.,$,#101,0.1,2.,0.01,0.02,$,$,$);{position}", centre, U_AREA, 2.0,
                   id=name) for name, position, centre in [
        ("one_coordinate", "#101=IFCAXIS2PLACEMENT2D(#102,$);#102=IFCCARTESIANPOINT((3.));", (3.0, 0.0)),
        ("no_coordinates", "#101=IFCAXIS2PLACEMENT2D(#102,$);#102=IFCCARTESIANPOINT(());", (0.0, 0.0)),
        ("scaled_dir", "#101=IFCAXIS2PLACEMENT2D($,#103);#103=IFCDIRECTION((0.,3.));", (0.0, 0.0)),
        ("not_a_2d_placement", "#101=IFCAXIS2PLACEMENT3D(#102,$,$);#102=IFCCARTESIANPOINT((7.,7.,7.));",
         (0.0, 0.0))]],
    # A zero direction is not replaced by a default: every point goes to the translation.
    pytest.param("IFCRECTANGLEPROFILEDEF(.AREA.,$,#101,1.,1.);#101=IFCAXIS2PLACEMENT2D(#102,#103);"
                 "#102=IFCCARTESIANPOINT((4.,5.));#103=IFCDIRECTION((0.,0.));", (4.0, 5.0), 0.0, 0.01,
                 id="zero_direction"),
])
def test_profile_position(write_ifc, profile, centre, area, extent):
    row = one_row(extruded(write_ifc, "#100=" + profile, depth="0.01"))
    assert box_centre(row) == pytest.approx(centre + (0.005,), abs=1e-6)
    assert (row["volume_abs"], row["max_extent"]) == (pytest.approx(area * 0.01, rel=1e-3, abs=1e-9),
                                                      pytest.approx(extent, rel=1e-6))


def poly(m, points, kind="IFCPOLYLINE"):
    return m.add(f"{kind}(({','.join(m.point(*p) for p in points)}))")


def closed(curve):
    return lambda m: m.add(f"IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,{curve(m)})")


def circle_at(m, x, y, radius=1.0):
    return m.add(f"IFCCIRCLE({m.add(f'IFCAXIS2PLACEMENT2D({m.point(float(x), float(y))},$)')},{radius})")


def rounded_outline(m, scale):
    """(0,0)-(2,0), the half circle about (2,1) through (3,1), then (2,2)-(0,2) drawn backwards."""
    arc = m.add(f"IFCTRIMMEDCURVE({circle_at(m, 2, 1)},(IFCPARAMETERVALUE({-math.pi / 2 * scale!r})),"
                f"(IFCPARAMETERVALUE({math.pi / 2 * scale!r})),.T.,.PARAMETER.)")
    segments = [m.add(f"IFCCOMPOSITECURVESEGMENT(.CONTINUOUS.,{sense},{c})") for c, sense in
                ((poly(m, [(0., 0.), (2., 0.)]), ".T."), (arc, ".T."), (poly(m, [(0., 2.), (2., 2.)]), ".F."))]
    return m.add(f"IFCCOMPOSITECURVE(({','.join(segments)}),.F.)")


SQUARE = [(0.0, 0.0), (2.0, 0.0), (2.0, 2.0), (0.0, 2.0)]
HOLE = [(0.5, 0.5), (1.5, 0.5), (1.5, 1.5), (0.5, 1.5)]  # counter-clockwise like the outline
# Arcs are chords of 11.25 degrees: the half circle about (2,1) is 16 of them.
HALF_ROUND = [(0, 0)] + [(2 + x, 1 + y) for x, y in ngon(1.0, n=16, start=-math.pi / 2, turn=math.pi)]


# Outlines are not moved; a closing point equal to the first is dropped.
@pytest.mark.parametrize("profile, units, expected", [
    pytest.param(closed(lambda m: poly(m, SQUARE + SQUARE[:1])), "", prism(SQUARE), id="polyline"),
    # (0, 1e-9) and (0, 0) differ as 32-bit floats: the near-repeat stays and adds a wall.
    pytest.param(closed(lambda m: poly(m, SQUARE + [(0.0, 1e-9)])), "", prism(SQUARE + [(0.0, 1e-9)]),
                 id="closing_point_kept_when_it_differs_in_32_bit"),
    pytest.param(lambda m: m.add(f"IFCARBITRARYPROFILEDEFWITHVOIDS(.AREA.,$,{poly(m, SQUARE)},"
                                 f"({poly(m, HOLE)},#999,$,{m.add('IFCLINE($,$)')}))"), "",
                 prism(SQUARE, [HOLE]), id="voids_reversed_unreadable_curves_skipped"),
    # (7.) has one number: skipped; the last line returns to the first point, not repeated.
    pytest.param(closed(lambda m: m.add(
        "IFCINDEXEDPOLYCURVE(" + m.add("IFCCARTESIANPOINTLIST2D(((0.,0.),(2.,0.),(3.,1.),(2.,2.),(7.),(0.,2.),(0.,0.)))")
        + ",(IFCLINEINDEX((1,2)),IFCARCINDEX((2,3,4)),IFCLINEINDEX((4,1))),.F.)")), "", prism(HALF_ROUND),
        id="indexed_polycurve_arcs_as_chords"),
    pytest.param(closed(lambda m: rounded_outline(m, 1.0)), "", prism(HALF_ROUND + [(0, 2)]), id="composite_radians"),
    pytest.param(closed(lambda m: rounded_outline(m, 180 / math.pi)), DEGREES, prism(HALF_ROUND + [(0, 2)]),
                 id="composite_degrees"),
    # From (3,1) back to (1,1) clockwise about (2,1): the lower half, trimmed by points. The walls
    # of a clockwise outline faced inwards, leaving a third of the volume.
    pytest.param(closed(lambda m: m.add(f"IFCTRIMMEDCURVE({circle_at(m, 2, 1)},({m.point(3., 1.)}),"
                                        f"({m.point(1., 1.)}),.F.,.CARTESIAN.)")), "",
                 prism([(2 + x, 1 + y) for x, y in ngon(1.0, n=16, turn=-math.pi)]),
                 id="clockwise_trimmed_arc_volume_was_a_third"),
    pytest.param(lambda m: m.add(f"IFCARBITRARYPROFILEDEFWITHVOIDS(.AREA.,$,{poly(m, SQUARE[::-1])},"
                                 f"({poly(m, HOLE)}))"), "", prism(SQUARE, [HOLE]),
                 id="clockwise_outline_with_a_hole_volume_was_a_third"),
    pytest.param(closed(lambda m: circle_at(m, 5, 0)), "", prism([(5 + x, y) for x, y in ngon(1.0)]),
                 id="whole_circle"),
])
def test_arbitrary_profiles(write_ifc, profile, units, expected):
    check(one_row(extruded(write_ifc, profile, units=units)), expected)


def test_two_point_polyline_gives_walls_and_no_caps(write_ifc):
    row = one_row(extruded(write_ifc, closed(lambda m: poly(m, SQUARE[:2]))))
    assert (row["triangle_count"], row["surface_area"]) == (4, pytest.approx(2 * 2 * 3.0))


@pytest.mark.parametrize("direction, position, depth, centre, volume", [
    pytest.param(None, "$", "3.", (0, 0, 1.5), 0.3, id="z"),
    pytest.param(lambda m: m.direction(0., 0., 0.), "$", "3.", (0, 0, 1.5), 0.3, id="zero_falls_back_to_z"),
    pytest.param(lambda m: m.direction(0., 0., 2.), "$", "3.", (0, 0, 1.5), 0.3, id="length_two_is_normalised"),
    pytest.param("$", "$", "3.", (0, 0, 1.5), 0.3, id="absent"),
    pytest.param(lambda m: m.point(1., 0., 0.), "$", "3.", (0, 0, 1.5), 0.3, id="not_a_direction"),
    # The top ring moved by (2, 0, 2): base area times height.
    pytest.param(lambda m: m.direction(1., 0., 1.), "$", repr(2 * math.sqrt(2)), (1, 0, 1), 0.2, id="oblique"),
    # Axis along x: the profile plane is y-z and the depth runs along +x from x = 10.
    pytest.param(None, lambda m: m.axis3d((10, 0, 5), (1, 0, 0), (0, 1, 0)), "3.", (11.5, 0, 5), 0.3,
                 id="solid_position"),
])
def test_extrusion_direction_and_position(write_ifc, direction, position, depth, centre, volume):
    row = one_row(extruded(write_ifc, "#100=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,0.5);", depth, direction, position))
    assert box_centre(row) == pytest.approx(centre, abs=1e-5)
    assert row["volume_abs"] == pytest.approx(volume, rel=1e-5)


def voids(*holes):
    return lambda m: m.add(f"IFCARBITRARYPROFILEDEFWITHVOIDS(.AREA.,$,{poly(m, SQUARE)},"
                           f"({','.join(poly(m, h) for h in holes)}))")


@pytest.mark.parametrize("profile", [
    pytest.param("#100=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.,0.);", id="zero_size"),
    pytest.param("#100=IFCCIRCLEPROFILEDEF(.AREA.,$,$,0.);", id="zero_radius"),
    pytest.param("#100=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,-1.,2.);", id="negative_size"),
    pytest.param("#100=IFCCIRCLEHOLLOWPROFILEDEF(.AREA.,$,$,1.,-1.);", id="negative_wall"),
    pytest.param(closed(lambda m: poly(m, [(1.0, 1.0)] * 5)), id="all_points_equal"),
    pytest.param(closed(lambda m: poly(m, [(0, 0), (1, 1), (1, 0), (0, 1)])), id="self_intersecting"),
    pytest.param(closed(lambda m: poly(m, [(0.0, 0.0), ("1E400", 0.0), (1.0, 1.0)] * 40)), id="infinite_coordinate"),
    pytest.param(closed(lambda m: poly(m, [])), id="no_points"),
    pytest.param(voids([(-5, -5), (5, -5), (5, 5), (-5, 5)]), id="hole_larger_than_outline"),
    pytest.param(voids([(1, 1)], [(1, 1)] * 3, [(1, 1), (1, 1), (1.5, 1)], [(1, 1), (1.5, 1.5), (1.5, 1.5)]),
                 id="holes_sharing_a_point_with_repeats"),
])
def test_degenerate_profiles_never_fail(write_ifc, profile):
    assert all(row["triangle_count"] > 0 for row in rows(extruded(write_ifc, profile)))


def test_many_degenerate_holes(write_ifc):
    # Dozens of holes whose leftmost points coincide, with repeated points: earcut orders
    # such holes by slope, which a repeated point leaves undefined.
    holes = [[(1, 1)] * (1 + k % 4) + [(1 + 0.1 * (k % 3), 1 + 0.1 * (k % 5 - 2))] * (k % 3) for k in range(60)]
    assert one_row(extruded(write_ifc, voids(*holes)))["volume_abs"] == pytest.approx(4 * 3.0, rel=1e-5)
