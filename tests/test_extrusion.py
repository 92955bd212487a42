"""Extruded area solids: profile outlines, profile positions, 2D curves, caps and side walls."""

import math

import pytest

from quarnel import _core

# A wall at the origin whose body is the single item #20; the profile is #100 and onwards.
WALL = """
#1=IFCCARTESIANPOINT((0.,0.,0.));
#2=IFCAXIS2PLACEMENT3D(#1,$,$);
#3=IFCLOCALPLACEMENT($,#2);
#9=IFCDIRECTION((0.,0.,1.));
{solid}
#30=IFCSHAPEREPRESENTATION($,'Body','SweptSolid',(#20));
#31=IFCPRODUCTDEFINITIONSHAPE($,$,(#30));
#40=IFCWALL('0wallwallwallwallwall0',$,'w',$,$,#3,#31,$,$);
{profile}
"""

SEGMENTS = 32
QUARTER_TURN = (
    "#101=IFCAXIS2PLACEMENT2D(#102,#103);#102=IFCCARTESIANPOINT((1.,0.));#103=IFCDIRECTION((0.,1.));"
)
R32 = 0.5 * SEGMENTS * math.sin(2 * math.pi / SEGMENTS)  # area of the 32-gon of unit radius
P32 = SEGMENTS * 2 * math.sin(math.pi / SEGMENTS)  # its perimeter


def wall(profile, depth="3.", direction="#9", position="$"):
    return WALL.format(solid=f"#20=IFCEXTRUDEDAREASOLID(#100,{position},{direction},{depth});", profile=profile)


def rows(path):
    r = _core.analyse_drift(path)
    keys = [k for k, v in r.items() if isinstance(v, list)]
    return [{k: r[k][i] for k in keys} for i in range(len(r["guid"]))]


def only_row(path):
    found = rows(path)
    assert len(found) == 1
    return found[0]


def shoelace(points):
    return 0.5 * sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]))


def perimeter(points):
    return sum(math.dist(a, b) for a, b in zip(points, points[1:] + points[:1]))


def check_prism(row, outline, depth, holes=()):
    """A straight prism of `depth` along z over `outline` (with `holes`), placed at the origin."""
    area = abs(shoelace(outline)) - sum(abs(shoelace(h)) for h in holes)
    side = perimeter(outline) + sum(perimeter(h) for h in holes)
    xs = [p[0] for p in outline]
    ys = [p[1] for p in outline]
    assert row["source"] == "extrusion"
    assert row["volume_abs"] == pytest.approx(area * depth, rel=1e-5)
    assert row["surface_area"] == pytest.approx(2 * area + side * depth, rel=1e-5)
    assert row["centroid_x"] == pytest.approx((min(xs) + max(xs)) / 2, abs=1e-6)
    assert row["centroid_y"] == pytest.approx((min(ys) + max(ys)) / 2, abs=1e-6)
    assert row["centroid_z"] == pytest.approx(depth / 2, abs=1e-6)
    assert row["max_extent"] == pytest.approx(max(max(xs) - min(xs), max(ys) - min(ys), depth), rel=1e-6)


def simple_triangles(n):
    """Caps of a simple n-gon (n - 2 triangles each) and its n quads of wall."""
    return 2 * (n - 2) + 2 * n


def w2(w, d, tw, tf):
    a, b, c, e = w / 2, d / 2, tw / 2, d / 2 - tf
    return [(-a, -b), (a, -b), (a, -e), (c, -e), (c, e), (a, e), (a, b), (-a, b), (-a, e), (-c, e), (-c, -e), (-a, -e)]


def centred(points):
    """The outline moved so that the centre of its bounding box is at 0,0."""
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    cx, cy = (min(xs) + max(xs)) / 2, (min(ys) + max(ys)) / 2
    return [(x - cx, y - cy) for x, y in points]


PROFILES = [
    pytest.param(
        "IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,0.5)",
        [(-0.1, -0.25), (0.1, -0.25), (0.1, 0.25), (-0.1, 0.25)],
        id="rectangle",
    ),
    pytest.param(
        "IFCROUNDEDRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,0.5,0.05)",
        [(-0.1, -0.25), (0.1, -0.25), (0.1, 0.25), (-0.1, 0.25)],
        id="rounded_rectangle_ignores_radius",
    ),
    pytest.param("IFCISHAPEPROFILEDEF(.AREA.,$,$,0.2,0.4,0.01,0.02,$,$,$)", w2(0.2, 0.4, 0.01, 0.02), id="i_shape"),
    pytest.param(
        "IFCLSHAPEPROFILEDEF(.AREA.,$,$,1.,2.,0.1,$,$,$)",
        centred([(0, 0), (2, 0), (2, 0.1), (0.1, 0.1), (0.1, 1), (0, 1)]),
        id="l_shape",
    ),
    pytest.param(
        "IFCLSHAPEPROFILEDEF(.AREA.,$,$,1.,$,0.1,$,$,$)",
        centred([(0, 0), (1, 0), (1, 0.1), (0.1, 0.1), (0.1, 1), (0, 1)]),
        id="l_shape_equal_legs",
    ),
    pytest.param(
        "IFCTSHAPEPROFILEDEF(.AREA.,$,$,0.3,0.2,0.01,0.02,$,$,$,$,$)",
        centred([(-0.005, 0), (0.005, 0), (0.005, 0.28), (0.1, 0.28), (0.1, 0.3), (-0.1, 0.3), (-0.1, 0.28), (-0.005, 0.28)]),
        id="t_shape",
    ),
    pytest.param(
        "IFCUSHAPEPROFILEDEF(.AREA.,$,$,0.3,0.1,0.01,0.02,$,$,$)",
        centred([(0, 0), (0.1, 0), (0.1, 0.02), (0.01, 0.02), (0.01, 0.28), (0.1, 0.28), (0.1, 0.3), (0, 0.3)]),
        id="u_shape",
    ),
    pytest.param(
        "IFCZSHAPEPROFILEDEF(.AREA.,$,$,0.3,0.1,0.01,0.02,$,$)",
        centred([(-0.105, 0), (0.005, 0), (0.005, 0.28), (0.105, 0.28), (0.105, 0.3), (-0.005, 0.3), (-0.005, 0.02),
                 (-0.105, 0.02)]),
        id="z_shape",
    ),
]


@pytest.mark.parametrize("profile, outline", PROFILES)
def test_parameterised_profile_outline(write_ifc, profile, outline):
    row = only_row(write_ifc(wall("#100=" + profile + ";")))
    assert row["triangle_count"] == simple_triangles(len(outline))
    check_prism(row, outline, 3.0)


def test_rectangle_and_rounded_rectangle_give_identical_meshes(write_ifc):
    plain = only_row(write_ifc(wall("#100=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,0.5);")))
    rounded = only_row(write_ifc(wall("#100=IFCROUNDEDRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,0.5,0.01);")))
    assert plain == rounded
    assert plain["triangle_count"] == 12  # 2 per cap, 8 for the walls


def test_circle_has_32_points_starting_on_the_x_axis(write_ifc):
    row = only_row(write_ifc(wall("#100=IFCCIRCLEPROFILEDEF(.AREA.,$,$,1.);")))
    assert row["triangle_count"] == 2 * 30 + 2 * 32
    assert row["volume_abs"] == pytest.approx(3 * R32, rel=1e-5)
    assert row["surface_area"] == pytest.approx(2 * R32 + 3 * P32, rel=1e-5)
    # Points at (1,0), (0,1), (-1,0), (0,-1) among them: the box is exactly 2 x 2; a table
    # that started half a step later would give 2 cos(5.625 deg) = 1.9904.
    flat = only_row(write_ifc(wall("#100=IFCCIRCLEPROFILEDEF(.AREA.,$,$,1.);", depth="0.001")))
    assert flat["max_extent"] == pytest.approx(2.0, abs=1e-6)
    assert (flat["centroid_x"], flat["centroid_y"]) == pytest.approx((0.0, 0.0), abs=1e-6)


def test_circle_profile_position(write_ifc):
    moved = only_row(write_ifc(wall(
        "#100=IFCCIRCLEPROFILEDEF(.AREA.,$,#101,1.);" + QUARTER_TURN, depth="0.5"
    )))
    assert (moved["centroid_x"], moved["centroid_y"]) == pytest.approx((1.0, 0.0), abs=1e-6)
    assert moved["max_extent"] == pytest.approx(2.0, abs=1e-6)


def test_ellipse_uses_both_semi_axes(write_ifc):
    row = only_row(write_ifc(wall("#100=IFCELLIPSEPROFILEDEF(.AREA.,$,$,2.,0.5);", depth="1.")))
    assert row["triangle_count"] == 2 * 30 + 2 * 32
    assert row["volume_abs"] == pytest.approx(R32, rel=1e-5)  # 2 x 0.5 of the unit 32-gon
    assert row["max_extent"] == pytest.approx(4.0)


@pytest.mark.parametrize(
    "radius, wall_thickness, inner",
    [
        pytest.param(1.0, 0.25, 0.75, id="ring"),
        pytest.param(1.0, 2.0, 0.0, id="wall_thicker_than_radius"),
        pytest.param(1.0, 1.0, 0.0, id="wall_equal_to_radius"),
    ],
)
def test_hollow_circle(write_ifc, radius, wall_thickness, inner):
    row = only_row(write_ifc(wall(f"#100=IFCCIRCLEHOLLOWPROFILEDEF(.AREA.,$,$,{radius},{wall_thickness});", depth="1.")))
    # Inner ring clamped at radius 0: all 32 hole points at the centre, nothing removed.
    assert row["volume_abs"] == pytest.approx(R32 * (radius**2 - inner**2), rel=1e-5)
    assert row["surface_area"] == pytest.approx(
        2 * R32 * (radius**2 - inner**2) + P32 * (radius + inner), rel=1e-5
    )
    assert row["triangle_count"] >= 2 * 32 + 2 * 32  # both rings have their walls
    if inner > 0:
        assert row["triangle_count"] == 2 * 64 + 2 * 64


def test_profile_position_turns_a_quarter_and_moves(write_ifc):
    # L of legs 2 (x) and 1 (y), centred on its box: the quarter turn about the box centre,
    # then the move by 1 along x, leave it spanning x 0.5..1.5 and y -1..1 (moved first and
    # then turned it would sit around 0,1).
    row = only_row(write_ifc(wall("#100=IFCLSHAPEPROFILEDEF(.AREA.,$,#101,1.,2.,0.1,$,$,$);" + QUARTER_TURN)))
    turned = [(-y + 1, x) for x, y in centred([(0, 0), (2, 0), (2, 0.1), (0.1, 0.1), (0.1, 1), (0, 1)])]
    check_prism(row, turned, 3.0)
    assert (row["centroid_x"], row["centroid_y"]) == pytest.approx((1.0, 0.0))


@pytest.mark.parametrize(
    "position, centre",
    [
        pytest.param("#101=IFCAXIS2PLACEMENT2D(#102,$);#102=IFCCARTESIANPOINT((3.));", (3.0, 0.0), id="one_coordinate"),
        pytest.param("#101=IFCAXIS2PLACEMENT2D(#102,$);#102=IFCCARTESIANPOINT(());", (0.0, 0.0), id="no_coordinates"),
        pytest.param("#101=IFCAXIS2PLACEMENT2D(#102,#103);#102=IFCCARTESIANPOINT((1.,2.));#103=IFCDIRECTION((-1.,0.));",
                     (1.0, 2.0), id="half_turn"),
        pytest.param("#101=IFCAXIS2PLACEMENT2D($,#103);#103=IFCDIRECTION((0.,3.));", (0.0, 0.0), id="scaled_dir"),
        pytest.param("#101=IFCAXIS2PLACEMENT3D(#102,$,$);#102=IFCCARTESIANPOINT((7.,7.,7.));", (0.0, 0.0),
                     id="not_a_2d_placement"),
    ],
)
def test_profile_position_readings(write_ifc, position, centre):
    # A U of flange 2 and depth 0.1, centred on its box: only the translation moves its centre.
    row = only_row(write_ifc(wall("#100=IFCUSHAPEPROFILEDEF(.AREA.,$,#101,0.1,2.,0.01,0.02,$,$,$);" + position)))
    assert (row["centroid_x"], row["centroid_y"]) == pytest.approx(centre, abs=1e-6)


def test_zero_ref_direction_collapses_the_profile(write_ifc):
    # A zero direction is not replaced by a default: every point goes to the translation.
    row = only_row(write_ifc(wall(
        "#100=IFCRECTANGLEPROFILEDEF(.AREA.,$,#101,1.,1.);"
        "#101=IFCAXIS2PLACEMENT2D(#102,#103);#102=IFCCARTESIANPOINT((4.,5.));#103=IFCDIRECTION((0.,0.));"
    )))
    assert (row["centroid_x"], row["centroid_y"]) == pytest.approx((4.0, 5.0))
    assert row["volume_abs"] == 0.0


def polyline(first_id, points):
    lines = [f"#{first_id + 1 + i}=IFCCARTESIANPOINT(({x},{y}));" for i, (x, y) in enumerate(points)]
    refs = ",".join(f"#{first_id + 1 + i}" for i in range(len(points)))
    return f"#{first_id}=IFCPOLYLINE(({refs}));" + "".join(lines)


SQUARE = [(0.0, 0.0), (2.0, 0.0), (2.0, 2.0), (0.0, 2.0)]


def test_arbitrary_profile_is_not_moved_and_drops_the_closing_point(write_ifc):
    row = only_row(write_ifc(wall("#100=IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,#110);" + polyline(110, SQUARE + SQUARE[:1]))))
    assert row["triangle_count"] == simple_triangles(4)
    check_prism(row, SQUARE, 3.0)


def test_two_point_polyline_gives_walls_and_no_caps(write_ifc):
    row = only_row(write_ifc(wall("#100=IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,#110);" + polyline(110, SQUARE[:2]))))
    assert row["triangle_count"] == 4
    assert row["surface_area"] == pytest.approx(2 * 2 * 3.0)


def test_closing_point_is_kept_when_it_differs_in_32_bit(write_ifc):
    # (0, 1e-9) and (0, 0) differ as 32-bit floats: the near-repeat stays and adds a wall.
    points = SQUARE + [(0.0, 1e-9)]
    row = only_row(write_ifc(wall("#100=IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,#110);" + polyline(110, points))))
    assert row["triangle_count"] >= 2 * 5


def test_profile_with_voids_reverses_inner_curves(write_ifc):
    hole = [(0.5, 0.5), (1.5, 0.5), (1.5, 1.5), (0.5, 1.5)]  # counter-clockwise like the outline
    data = (
        "#100=IFCARBITRARYPROFILEDEFWITHVOIDS(.AREA.,$,#110,(#120,#999,$,#130));"
        + polyline(110, SQUARE)
        + polyline(120, hole)
        + "#130=IFCLINE(#121,#9);"  # not a readable curve: skipped
    )
    row = only_row(write_ifc(wall(data)))
    assert row["triangle_count"] == 2 * 8 + 2 * 8  # caps n + 2h - 2 = 8, walls 4 + 4 quads
    check_prism(row, SQUARE, 3.0, holes=[hole])


def test_indexed_polycurve_draws_arcs_as_chords(write_ifc):
    data = (
        "#100=IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,#110);"
        "#110=IFCINDEXEDPOLYCURVE(#111,(IFCLINEINDEX((1,2)),IFCARCINDEX((2,3,4)),IFCLINEINDEX((4,1))),.F.);"
        "#111=IFCCARTESIANPOINTLIST2D(((0.,0.),(2.,0.),(3.,1.),(2.,2.),(7.),(0.,2.),(0.,0.)));"
    )
    row = only_row(write_ifc(wall(data)))
    # (7.) has one number: skipped. The half circle about (2,1) is 16 chords of 11.25 degrees;
    # the last line returns to the first point, which is not repeated.
    arc = [(2 + math.cos(t), 1 + math.sin(t)) for t in (-math.pi / 2 + math.pi * k / 16 for k in range(17))]
    outline = [(0, 0)] + arc
    assert row["triangle_count"] == simple_triangles(len(outline))
    check_prism(row, outline, 3.0)


@pytest.mark.parametrize(
    "direction",
    [
        pytest.param("#9", id="z"),
        pytest.param("#50", id="zero_falls_back_to_z"),
        pytest.param("#51", id="length_two_is_normalised"),
        pytest.param("$", id="absent"),
        pytest.param("#52", id="not_a_direction"),
    ],
)
def test_extrusion_direction(write_ifc, direction):
    extra = "#50=IFCDIRECTION((0.,0.,0.));#51=IFCDIRECTION((0.,0.,2.));#52=IFCCARTESIANPOINT((1.,0.,0.));"
    row = only_row(write_ifc(wall("#100=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,0.5);" + extra, direction=direction)))
    assert row["max_extent"] == pytest.approx(3.0)
    assert row["centroid_z"] == pytest.approx(1.5)
    assert row["volume_abs"] == pytest.approx(0.3)


def test_oblique_direction_shears_the_top(write_ifc):
    extra = "#50=IFCDIRECTION((1.,0.,1.));"
    row = only_row(write_ifc(wall("#100=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,0.5);" + extra, direction="#50",
                                  depth=str(math.sqrt(2) * 2))))
    # Top ring moved by (2, 0, 2): the prism keeps base area x height.
    assert row["volume_abs"] == pytest.approx(0.1 * 2, rel=1e-5)
    assert row["centroid_x"] == pytest.approx(1.0, abs=1e-5)
    assert row["centroid_z"] == pytest.approx(1.0, abs=1e-5)


def test_solid_position_places_the_extrusion(write_ifc):
    extra = (
        "#60=IFCAXIS2PLACEMENT3D(#61,#62,#63);#61=IFCCARTESIANPOINT((10.,0.,5.));"
        "#62=IFCDIRECTION((1.,0.,0.));#63=IFCDIRECTION((0.,1.,0.));"
    )
    # Axis along x: the profile plane is y-z and the depth runs along +x from x = 10.
    row = only_row(write_ifc(wall("#100=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,0.5);" + extra, position="#60")))
    assert (row["centroid_x"], row["centroid_y"], row["centroid_z"]) == pytest.approx((11.5, 0.0, 5.0), abs=1e-6)
    assert row["volume_abs"] == pytest.approx(0.3)


@pytest.mark.parametrize(
    "profile, depth",
    [
        pytest.param("#100=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,0.5);", "$", id="depth_null"),
        pytest.param("#100=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,0.5);", "'3'", id="depth_not_a_number"),
        pytest.param("#100=IFCCOMPOSITEPROFILEDEF(.AREA.,$,(#101),$);#101=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,1.,1.);",
                     "3.", id="composite_profile"),
        pytest.param("#100=IFCCENTERLINEPROFILEDEF(.AREA.,$,#101,0.1);", "3.", id="unsupported_type"),
        pytest.param("#100=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.2);", "3.", id="too_few_attributes"),
        pytest.param("#100=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,$);", "3.", id="dimension_null"),
        pytest.param("#100=IFCISHAPEPROFILEDEF(.AREA.,$,$,0.2,0.4,0.01);", "3.", id="i_shape_short"),
        pytest.param("#100=IFCLSHAPEPROFILEDEF(.AREA.,$,$,1.,1.,$);", "3.", id="l_shape_without_thickness"),
        pytest.param("#100=IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,$);", "3.", id="arbitrary_without_curve"),
        pytest.param("#100=IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,#101);#101=IFCBSPLINECURVEWITHKNOTS(2,(#102),.UNSPECIFIED.,.F.,.F.,(1),(0.),.UNSPECIFIED.);", "3.",
                     id="arbitrary_of_unsupported_curve"),
        pytest.param("#100=IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,#101);#101=IFCPOLYLINE(#102);", "3.",
                     id="polyline_points_not_a_list"),
        pytest.param("", "3.", id="missing_profile"),
    ],
)
def test_unreadable_extrusion_gives_no_mesh(write_ifc, profile, depth):
    assert rows(write_ifc(wall(profile, depth=depth))) == []


DEGENERATE = [
    pytest.param("#100=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.,0.);", id="zero_size"),
    pytest.param("#100=IFCCIRCLEPROFILEDEF(.AREA.,$,$,0.);", id="zero_radius"),
    pytest.param("#100=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,-1.,2.);", id="negative_size"),
    pytest.param("#100=IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,#110);" + polyline(110, [(1.0, 1.0)] * 5),
                 id="all_points_equal"),
    pytest.param("#100=IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,#110);" + polyline(110, [(0, 0), (1, 1), (1, 0), (0, 1)]),
                 id="self_intersecting"),
    pytest.param("#100=IFCARBITRARYPROFILEDEFWITHVOIDS(.AREA.,$,#110,(#120));" + polyline(110, SQUARE)
                 + polyline(120, [(-5, -5), (5, -5), (5, 5), (-5, 5)]), id="hole_larger_than_outline"),
    pytest.param("#100=IFCARBITRARYPROFILEDEFWITHVOIDS(.AREA.,$,#110,(#120,#130,#140,#150));" + polyline(110, SQUARE)
                 + polyline(120, [(1, 1)]) + polyline(130, [(1, 1)] * 3) + polyline(140, [(1, 1), (1, 1), (1.5, 1)])
                 + polyline(150, [(1, 1), (1.5, 1.5), (1.5, 1.5)]), id="holes_sharing_a_point_with_repeats"),
    pytest.param("#100=IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,#110);"
                 + polyline(110, [(0.0, 0.0), ("1E400", 0.0), (1.0, 1.0)] * 40), id="infinite_coordinate"),
    pytest.param("#100=IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,#110);" + polyline(110, []), id="no_points"),
    pytest.param("#100=IFCCIRCLEHOLLOWPROFILEDEF(.AREA.,$,$,1.,-1.);", id="negative_wall"),
]


@pytest.mark.parametrize("profile", DEGENERATE)
def test_degenerate_profiles_never_fail(write_ifc, profile):
    found = rows(write_ifc(wall(profile)))
    assert len(found) <= 1
    for row in found:
        assert row["triangle_count"] > 0


def test_many_degenerate_holes(write_ifc):
    # Dozens of holes whose leftmost points coincide, with repeated points: earcut orders
    # such holes by slope, which a repeated point leaves undefined.
    parts = [polyline(110, SQUARE)]
    refs = []
    for k in range(60):
        first = 200 + 10 * k
        pts = [(1, 1)] * (1 + k % 4) + [(1 + 0.1 * (k % 3), 1 + 0.1 * (k % 5 - 2))] * (k % 3)
        parts.append(polyline(first, pts))
        refs.append(f"#{first}")
    data = f"#100=IFCARBITRARYPROFILEDEFWITHVOIDS(.AREA.,$,#110,({','.join(refs)}));" + "".join(parts)
    row = only_row(write_ifc(wall(data)))
    assert row["volume_abs"] == pytest.approx(4 * 3.0, rel=1e-5)


def test_shared_extrusion_is_placed_per_product(write_ifc):
    data = wall("#100=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,1.,1.);") + (
        "#70=IFCCARTESIANPOINT((100.,0.,0.));#71=IFCAXIS2PLACEMENT3D(#70,$,$);#72=IFCLOCALPLACEMENT($,#71);"
        "#73=IFCCOLUMN('1colcolcolcolcolcolco1',$,'c',$,$,#72,#31,$,$);"
    )
    found = sorted(rows(write_ifc(data)), key=lambda r: r["centroid_x"])
    assert [r["entity"] for r in found] == ["IfcWall", "IfcColumn"]
    assert found[1]["centroid_x"] - found[0]["centroid_x"] == pytest.approx(100.0)
    assert found[0]["triangle_count"] == found[1]["triangle_count"] == 12
