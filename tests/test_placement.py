"""Object placements: local-placement chains, axis placements and their fallbacks."""

import math

import pytest

from mesh_models import Model, box_centre, drift, one_row, point_product, rows


def placed_point(write_ifc, build, point=(0.0, 0.0, 0.0)):
    """Origin and image of `point` for a product placed by build(model) -> placement ref."""
    m = Model()
    point_product(m, build(m), point)
    row = one_row(drift(write_ifc, m))
    return (row["placement_x"], row["placement_y"], row["placement_z"]), box_centre(row)


@pytest.mark.parametrize(
    "axis, ref, point, expected",
    [
        # no directions: the identity frame
        (None, None, (1, 2, 3), (1, 2, 3)),
        # a zero axis falls back to 0,0,1
        ((0, 0, 0), None, (1, 2, 3), (1, 2, 3)),
        # a reference direction parallel to the axis falls back to X = 1,0,0
        ((0, 0, 1), (0, 0, 5), (1, 2, 3), (1, 2, 3)),
        # axis 0,0,-1: X = 1,0,0 and Y = Z x X = 0,-1,0
        ((0, 0, -1), None, (1, 2, 3), (1, -2, -3)),
        # quarter turn about Z
        ((0, 0, 1), (0, 1, 0), (1, 2, 3), (-2, 1, 3)),
        # directions are normalised and the reference made orthogonal to the axis
        ((0, 0, 2), (3, 0, 3), (1, 2, 3), (1, 2, 3)),
        # axis along X: Z = 1,0,0, X = 0,1,0 (from the reference), Y = Z x X = 0,0,1
        ((1, 0, 0), (0, 1, 0), (1, 2, 3), (3, 1, 2)),
        # a non-finite axis falls back like a zero one
        ((float("nan"), 0, 0), None, (1, 2, 3), (1, 2, 3)),
    ],
)
def test_axis_placement_frames(write_ifc, axis, ref, point, expected):
    origin, image = placed_point(write_ifc, lambda m: m.local_placement("$", m.axis3d((0, 0, 0), axis, ref)), point)
    assert origin == (0.0, 0.0, 0.0)
    assert image == pytest.approx(expected, abs=1e-6)


def mixed_case(m):
    axes = m.add(f"IfcAxis2Placement3D({m.add('IfcCartesianPoint((7.,0.,0.))')},$,$)")
    return m.add(f"IfcLocalPlacement($,{axes})")


def parented(text):
    """A placement written as `text`, #PARENT standing for a placement 3 along x."""
    return lambda m: m.add(text.replace("#PARENT", m.local_placement("$", m.axis3d((3, 0, 0)))))


@pytest.mark.parametrize("build, point, origin, image", [
    pytest.param(lambda m: "$", (4, 5, 6), (0, 0, 0), (4, 5, 6), id="none"),
    pytest.param(lambda m: m.local_placement("$", m.axis3d((1, 2, 3))), (1, 1, 1), (1, 2, 3), (2, 3, 4),
                 id="translation"),
    pytest.param(lambda m: m.local_placement("$", m.add(f"IFCAXIS2PLACEMENT3D({m.point(5, 6)},$,$)")), (0, 0, 0),
                 (5, 6, 0), (5, 6, 0), id="two-coordinates"),
    *[pytest.param(lambda m, loc=loc: m.local_placement("$", m.add(f"IFCAXIS2PLACEMENT3D({loc(m)},$,$)")),
                   (1, 0, 0), (0, 0, 0), (1, 0, 0), id=f"location-{name}")
      for name, loc in [("null", lambda m: "$"), ("missing", lambda m: "#999999"), ("string", lambda m: "'x'"),
                        ("list", lambda m: "(1.,2.)"), ("without-numbers", lambda m: m.point("$"))]],
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
    got_origin, got_image = placed_point(write_ifc, build, point)
    assert got_origin == pytest.approx(origin, abs=1e-6)
    assert got_image == pytest.approx(image, abs=1e-6)


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


def test_placement_that_is_its_own_parent(write_ifc):
    m = Model(first_id=10)
    rel = m.axis3d((1, 0, 0))
    m.raw(f"#1=IFCLOCALPLACEMENT(#1,{rel});")
    point_product(m, "#1")
    row = one_row(drift(write_ifc, m))
    # the placement met again on its own chain counts as the identity
    assert (row["placement_x"], row["placement_y"], row["placement_z"]) == (1.0, 0.0, 0.0)


def test_placement_cycle_of_two(write_ifc):
    m = Model(first_id=10)
    ra, rb = m.axis3d((1, 0, 0)), m.axis3d((0, 1, 0))
    m.raw(f"#1=IFCLOCALPLACEMENT(#2,{ra});")
    m.raw(f"#2=IFCLOCALPLACEMENT(#1,{rb});")
    point_product(m, "#1")
    point_product(m, "#2")
    result = drift(write_ifc, m)
    origins = [(r["placement_x"], r["placement_y"], r["placement_z"]) for r in rows(result)]
    assert len(origins) == 2
    assert all(all(math.isfinite(c) for c in o) for o in origins)
    assert (1.0, 1.0, 0.0) in origins


def test_placement_chain_one_million_deep(write_ifc):
    depth = 1_000_000
    lines = ["#1=IFCCARTESIANPOINT((1.,0.,0.));", "#2=IFCAXIS2PLACEMENT3D(#1,$,$);", "#10=IFCLOCALPLACEMENT($,#2);"]
    lines += [f"#{10 + k}=IFCLOCALPLACEMENT(#{9 + k},#2);" for k in range(1, depth)]
    m = Model(first_id=depth + 100)
    point_product(m, f"#{9 + depth}")
    result = drift(write_ifc, "\n".join(lines) + "\n" + m.text())
    row = one_row(result)
    assert (row["placement_x"], row["placement_y"], row["placement_z"]) == (float(depth), 0.0, 0.0)


def test_long_cycle(write_ifc):
    depth = 100_000
    lines = ["#1=IFCCARTESIANPOINT((1.,0.,0.));", "#2=IFCAXIS2PLACEMENT3D(#1,$,$);",
             f"#10=IFCLOCALPLACEMENT(#{9 + depth},#2);"]
    lines += [f"#{10 + k}=IFCLOCALPLACEMENT(#{9 + k},#2);" for k in range(1, depth)]
    m = Model(first_id=depth + 100)
    point_product(m, "#10")
    row = one_row(drift(write_ifc, "\n".join(lines) + "\n" + m.text()))
    assert (row["placement_x"], row["placement_y"], row["placement_z"]) == (float(depth), 0.0, 0.0)
