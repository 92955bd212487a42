"""Object placements: local-placement chains, axis placements and their fallbacks."""

import pytest

from mesh_models import Model, box_centre, drift, one_row, point_product, rows


def frame(axis, ref):
    return lambda m: m.local_placement("$", m.axis3d((0, 0, 0), axis, ref))


def mixed_case(m):
    axes = m.add(f"IfcAxis2Placement3D({m.add('IfcCartesianPoint((7.,0.,0.))')},$,$)")
    return m.add(f"IfcLocalPlacement($,{axes})")


def parented(text):
    """A placement written as `text`, #PARENT standing for a placement 3 along x."""
    return lambda m: m.add(text.replace("#PARENT", m.local_placement("$", m.axis3d((3, 0, 0)))))


@pytest.mark.parametrize("build, point, origin, image", [
    pytest.param(frame(None, None), (1, 2, 3), (0, 0, 0), (1, 2, 3), id="no-directions"),
    pytest.param(frame((0, 0, 0), None), (1, 2, 3), (0, 0, 0), (1, 2, 3), id="zero-axis-is-z"),
    pytest.param(frame((float("nan"), 0, 0), None), (1, 2, 3), (0, 0, 0), (1, 2, 3), id="non-finite-axis-is-z"),
    pytest.param(frame((0, 0, 1), (0, 0, 5)), (1, 2, 3), (0, 0, 0), (1, 2, 3), id="reference-along-the-axis-is-x"),
    # X = 1,0,0 and Y = Z x X = 0,-1,0
    pytest.param(frame((0, 0, -1), None), (1, 2, 3), (0, 0, 0), (1, -2, -3), id="axis-down"),
    pytest.param(frame((0, 0, 1), (0, 1, 0)), (1, 2, 3), (0, 0, 0), (-2, 1, 3), id="quarter-turn"),
    pytest.param(frame((0, 0, 2), (3, 0, 3)), (1, 2, 3), (0, 0, 0), (1, 2, 3), id="normalised-and-made-orthogonal"),
    # Z = 1,0,0, X = 0,1,0 (from the reference), Y = Z x X = 0,0,1
    pytest.param(frame((1, 0, 0), (0, 1, 0)), (1, 2, 3), (0, 0, 0), (3, 1, 2), id="axis-along-x"),
    pytest.param(lambda m: "$", (4, 5, 6), (0, 0, 0), (4, 5, 6), id="none"),
    pytest.param(lambda m: m.local_placement("$", m.axis3d((1, 2, 3))), (1, 1, 1), (1, 2, 3), (2, 3, 4),
                 id="translation"),
    pytest.param(lambda m: m.local_placement("$", m.add(f"IFCAXIS2PLACEMENT3D({m.point(5, 6)},$,$)")), (0, 0, 0),
                 (5, 6, 0), (5, 6, 0), id="two-coordinates"),
    *[pytest.param(lambda m, loc=loc: m.local_placement("$", m.add(f"IFCAXIS2PLACEMENT3D({loc(m)},$,$)")),
                   (1, 0, 0), (0, 0, 0), (1, 0, 0), id=f"location-{name}")
      for name, loc in [("null", lambda m: "$"), ("missing", lambda m: "#999999"), ("empty", lambda m: m.point("$"))]],
    # X = 0,1,0; Y = -1,0,0; Z = 0,0,1
    pytest.param(lambda m: m.local_placement("$", m.add(f"IFCAXIS2PLACEMENT2D({m.point(1, 2)},{m.direction(0, 1)})")),
                 (1, 2, 3), (1, 2, 0), (-1, 3, 3), id="2d-reference-direction"),
    pytest.param(mixed_case, (0, 0, 0), (7, 0, 0), (7, 0, 0), id="mixed-case-types"),
    pytest.param(lambda m: m.local_placement(m.local_placement("$", m.axis3d((1, 0, 0))), m.axis3d((1, 0, 0))),
                 (0, 0, 0), (2, 0, 0), (2, 0, 0), id="chain"),
    pytest.param(lambda m: m.local_placement(m.local_placement("$", m.axis3d((10, 0, 0), (0, 0, 1), (0, 1, 0))),
                                             m.axis3d((1, 0, 0))),
                 (0, 2, 0), (10, 1, 0), (8, 1, 0), id="parent-rotation-turns-the-child"),
    # An unreadable relative placement takes its parent's frame; an unreadable placement is the identity.
    *[pytest.param(parented(f"IFCLOCALPLACEMENT(#PARENT,{r})"), (0, 0, 0), (3, 0, 0), (3, 0, 0), id=f"relative-{r}")
      for r in ("$", "#999999", "'x'")],
    pytest.param(parented("IFCGRIDPLACEMENT(#PARENT,#999999)"), (0, 0, 0), (3, 0, 0), (3, 0, 0), id="grid"),
    *[pytest.param(parented(t), (0, 0, 0), (0, 0, 0), (0, 0, 0), id=i) for t, i in [
        ("IFCLOCALPLACEMENT(#PARENT)", "one-attribute"), ("IFCWALL(#PARENT,#PARENT)", "other-type"),
        ("IFCCARTESIANPOINT((1.,2.,3.))", "point")]],
])
def test_placement(write_ifc, build, point, origin, image):
    m = Model()
    point_product(m, build(m), point)
    row = one_row(drift(write_ifc, m))
    assert (row["placement_x"], row["placement_y"], row["placement_z"]) == pytest.approx(origin, abs=1e-6)
    assert box_centre(row) == pytest.approx(image, abs=1e-6)


def test_products_sharing_a_placement_chain(write_ifc):
    m = Model()
    parent = m.local_placement("$", m.axis3d((1, 0, 0)))
    a = m.local_placement(parent, m.axis3d((0, 1, 0)))
    b = m.local_placement(parent, m.axis3d((0, 0, 1)))
    point_product(m, a)
    point_product(m, a)
    point_product(m, b)
    origins = sorted((r["placement_x"], r["placement_y"], r["placement_z"]) for r in rows(drift(write_ifc, m)))
    assert origins == [(1.0, 0.0, 1.0), (1.0, 1.0, 0.0), (1.0, 1.0, 0.0)]


# Placement k is relative to placement k + 1 of a ring of n, moved by 1 along axis k: the
# placement met again on its own chain counts as the identity.
@pytest.mark.parametrize("n, origin", [
    pytest.param(1, (1.0, 0.0, 0.0), id="its_own_parent"),
    pytest.param(2, (1.0, 1.0, 0.0), id="cycle_of_two"),  # the first resolved; the other caches its part
])
def test_placement_cycles(write_ifc, n, origin):
    m = Model(first_id=10)
    for k in range(n):
        m.raw(f"#{k + 1}=IFCLOCALPLACEMENT(#{(k + 1) % n + 1},{m.axis3d(tuple(float(i == k) for i in range(3)))});")
        point_product(m, f"#{k + 1}")
    got = [(r["placement_x"], r["placement_y"], r["placement_z"]) for r in rows(drift(write_ifc, m))]
    assert len(got) == n and origin in got


def grid(m):
    """Axes A (x = 0) and B (x = 10) along +y, axis 1 (y = 20) along +x, in a grid placed at x = 1000."""
    def axis(tag, a, b):
        return m.add(f"IFCGRIDAXIS('{tag}',{m.add(f'IFCPOLYLINE(({m.point(*a)},{m.point(*b)}))')},.T.)")
    axes = {"A": axis("A", (0., 0.), (0., 100.)), "B": axis("B", (10., 0.), (10., 100.)),
            "1": axis("1", (-5., 20.), (50., 20.)), "missing": "#99999"}
    m.add(f"IFCGRID('grid',$,$,$,$,{m.local_placement(relative=m.axis3d((1000, 0, 0)))},$,"
          f"({axes['A']},{axes['B']}),({axes['1']}),$)")
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
    location = m.add(f"IFCVIRTUALGRIDINTERSECTION(({axes[first]},{axes[second]}),{offsets})")
    direction = {None: "$", "direction": m.direction(0., 1.),
                 "intersection": m.add(f"IFCVIRTUALGRIDINTERSECTION(({axes['B']},{axes['1']}),(0.,0.))")}[ref]
    m.product([m.cube_brep(1.0)], placement=m.add(f"IFCGRIDPLACEMENT({location},{direction})"))
    assert box_centre(one_row(drift(write_ifc, m))) == pytest.approx(point, abs=1e-4)


# 150 along: 100 along x, then 50 along y; 2 to the left (-x) and 3 up.
@pytest.mark.parametrize("curve, point", [
    pytest.param(lambda m, c: m.add(f"IFCPOLYLINE(({','.join(m.point(*p) for p in c)}))"), (98.0, 50.0, 3.0),
                 id="polyline"),
    pytest.param(lambda m, c: m.add(f"IFCINDEXEDPOLYCURVE({m.point_list(c)},$,.F.)"), (98.0, 50.0, 3.0),
                 id="indexed_poly_curve"),
    pytest.param(lambda m, c: m.add("IFCGRADIENTCURVE((),.F.,$,$)"), (7.0, 0.0, 0.0),
                 id="other_curve_uses_the_cartesian_position"),
])
def test_linear_placement(write_ifc, curve, point):
    m = Model()
    basis = curve(m, [(0., 0., 0.), (100., 0., 0.), (100., 100., 0.)])
    along = m.add(f"IFCPOINTBYDISTANCEEXPRESSION(IFCLENGTHMEASURE(150.),2.,3.,$,{basis})")
    placement = m.add(f"IFCLINEARPLACEMENT($,{m.add(f'IFCAXIS2PLACEMENTLINEAR({along},$,$)')},{m.axis3d((7, 0, 0))})")
    m.product([m.cube_brep(1.0, origin=(-0.5, -0.5, -0.5))], placement=placement)
    assert box_centre(one_row(drift(write_ifc, m))) == pytest.approx(point, abs=1e-4)


# Chains far deeper than any real model are walked without recursion; a cycle is cut where
# the walk meets a placement again.
@pytest.mark.parametrize("cycle", [False, True], ids=["chain", "cycle"])
def test_deep_placement_chains(write_ifc, cycle):
    depth = 100_000
    lines = ["#1=IFCCARTESIANPOINT((1.,0.,0.));", "#2=IFCAXIS2PLACEMENT3D(#1,$,$);",
             f"#10=IFCLOCALPLACEMENT({f'#{9 + depth}' if cycle else '$'},#2);"]
    lines += [f"#{10 + k}=IFCLOCALPLACEMENT(#{9 + k},#2);" for k in range(1, depth)]
    m = Model(first_id=depth + 100)
    point_product(m, "#10" if cycle else f"#{9 + depth}")
    row = one_row(drift(write_ifc, "\n".join(lines) + "\n" + m.text()))
    assert (row["placement_x"], row["placement_y"], row["placement_z"]) == (float(depth), 0.0, 0.0)
