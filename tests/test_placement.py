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


def test_no_placement_is_identity(write_ifc):
    origin, image = placed_point(write_ifc, lambda m: "$", (4.0, 5.0, 6.0))
    assert origin == (0.0, 0.0, 0.0)
    assert image == (4.0, 5.0, 6.0)


def test_translation_only(write_ifc):
    origin, image = placed_point(write_ifc, lambda m: m.local_placement("$", m.axis3d((1, 2, 3))), (1, 1, 1))
    assert origin == (1.0, 2.0, 3.0)
    assert image == (2.0, 3.0, 4.0)


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


def test_two_coordinate_location(write_ifc):
    def build(m):
        return m.local_placement("$", m.add(f"IFCAXIS2PLACEMENT3D({m.point(5, 6)},$,$)"))

    origin, _ = placed_point(write_ifc, build)
    assert origin == (5.0, 6.0, 0.0)


@pytest.mark.parametrize(
    "location",
    ["$", "#999999", "'x'", "(1.,2.)"],
    ids=["null", "missing", "string", "list"],
)
def test_unreadable_location_is_origin(write_ifc, location):
    origin, image = placed_point(
        write_ifc, lambda m: m.local_placement("$", m.add(f"IFCAXIS2PLACEMENT3D({location},$,$)")), (1, 0, 0)
    )
    assert origin == (0.0, 0.0, 0.0)
    assert image == (1.0, 0.0, 0.0)


def test_location_list_without_numbers_is_origin(write_ifc):
    origin, _ = placed_point(
        write_ifc, lambda m: m.local_placement("$", m.add(f"IFCAXIS2PLACEMENT3D({m.point('$')},$,$)"))
    )
    assert origin == (0.0, 0.0, 0.0)


def test_axis2placement2d_reference_direction(write_ifc):
    def build(m):
        ref = m.direction(0, 1)
        return m.local_placement("$", m.add(f"IFCAXIS2PLACEMENT2D({m.point(1, 2)},{ref})"))

    # X = 0,1,0; Y = -1,0,0; Z = 0,0,1
    origin, image = placed_point(write_ifc, build, (1, 2, 3))
    assert origin == (1.0, 2.0, 0.0)
    assert image == pytest.approx((1 - 2, 2 + 1, 3), abs=1e-6)


def test_mixed_case_types_are_read(write_ifc):
    def build(m):
        loc = m.add("IfcCartesianPoint((7.,0.,0.))")
        rel = m.add(f"IfcAxis2Placement3D({loc},$,$)")
        return m.add(f"IfcLocalPlacement($,{rel})")

    origin, _ = placed_point(write_ifc, build)
    assert origin == (7.0, 0.0, 0.0)


def test_chain_of_translations(write_ifc):
    def build(m):
        parent = m.local_placement("$", m.axis3d((1, 0, 0)))
        return m.local_placement(parent, m.axis3d((1, 0, 0)))

    origin, _ = placed_point(write_ifc, build)
    assert origin == (2.0, 0.0, 0.0)


def test_parent_rotation_applies_to_child_translation(write_ifc):
    def build(m):
        parent = m.local_placement("$", m.axis3d((10, 0, 0), (0, 0, 1), (0, 1, 0)))
        return m.local_placement(parent, m.axis3d((1, 0, 0)))

    origin, image = placed_point(write_ifc, build, (0, 2, 0))
    assert origin == pytest.approx((10, 1, 0), abs=1e-6)
    assert image == pytest.approx((8, 1, 0), abs=1e-6)


@pytest.mark.parametrize(
    "relative",
    ["$", "#999999", "'x'"],
    ids=["null", "missing", "not-a-reference"],
)
def test_unreadable_relative_placement_takes_parent_frame(write_ifc, relative):
    def build(m):
        parent = m.local_placement("$", m.axis3d((3, 0, 0)))
        return m.add(f"IFCLOCALPLACEMENT({parent},{relative})")

    origin, _ = placed_point(write_ifc, build)
    assert origin == (3.0, 0.0, 0.0)


@pytest.mark.parametrize(
    "text",
    ["IFCLOCALPLACEMENT(#PARENT)", "IFCWALL(#PARENT,#PARENT)", "IFCCARTESIANPOINT((1.,2.,3.))"],
    ids=["one-attribute", "other-type", "point"],
)
def test_unreadable_placements_are_identity(write_ifc, text):
    def build(m):
        parent = m.local_placement("$", m.axis3d((3, 0, 0)))
        return m.add(text.replace("#PARENT", parent))

    origin, _ = placed_point(write_ifc, build)
    assert origin == (0.0, 0.0, 0.0)


def test_grid_placement_takes_its_parent_frame(write_ifc):
    def build(m):
        parent = m.local_placement("$", m.axis3d((4, 0, 0)))
        return m.add(f"IFCGRIDPLACEMENT({parent},#999999)")

    origin, _ = placed_point(write_ifc, build)
    assert origin == (4.0, 0.0, 0.0)


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
