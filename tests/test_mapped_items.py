"""Mapped items: representation maps placed through their origin and transformation operator."""

import math

import pytest

from mesh_models import Model, box_centre, drift, item_row, one_row, rows


def extrusion(m):
    profile = m.add("IFCRECTANGLEPROFILEDEF(.AREA.,$,$,1.,2.)")
    return m.add(f"IFCEXTRUDEDAREASOLID({profile},$,$,3.)")


def mapped(m, item, target="$", origin="$"):
    return m.mapped_item(m.representation_map([item], origin), target)


# A mapped item keeps its source's label, but a mapped extrusion is "mapped"; a product takes
# the label of its last item.
@pytest.mark.parametrize("build, source, triangles", [
    pytest.param(lambda m: [mapped(m, m.cube_brep(), origin=m.axis3d())], "brep", 12, id="brep"),
    pytest.param(lambda m: [mapped(m, m.triangles([(0, 0, 0), (1, 0, 0), (0, 1, 0)], [(1, 2, 3)]))],
                 "triangulated_faceset", 1, id="triangles"),
    pytest.param(lambda m: [mapped(m, extrusion(m))], "mapped", 12, id="extrusion"),
    pytest.param(lambda m: [extrusion(m), mapped(m, extrusion(m))], "mapped", 24, id="mapped_last"),
    pytest.param(lambda m: [mapped(m, extrusion(m)), extrusion(m)], "extrusion", 24, id="extrusion_last"),
])
def test_source_labels(write_ifc, build, source, triangles):
    row = item_row(write_ifc, build)
    assert (row["source"], row["triangle_count"]) == (source, triangles)


CUBE = None  # a unit cube from 0,0,0; any other point stands for a mesh of that one vertex


@pytest.mark.parametrize("source, target, origin, centre, volume", [
    pytest.param(CUBE, lambda m: m.operator(), None, (0.5, 0.5, 0.5), 1.0, id="identity"),
    pytest.param(CUBE, lambda m: m.operator(origin=(5, 0, 0), scale=2.0), None, (6.0, 1.0, 1.0), 8.0,
                 id="uniform-about-origin"),
    pytest.param(CUBE, lambda m: m.operator(scale=1.0, scale2=2.0, scale3=None, non_uniform=True), None,
                 (0.5, 1.0, 0.5), 2.0, id="non-uniform-y-only"),
    pytest.param(CUBE, lambda m: m.operator(scale=3.0, scale2=None, scale3=0.5, non_uniform=True), None,
                 (1.5, 1.5, 0.25), 4.5, id="non-uniform-defaults-to-scale"),
    pytest.param(CUBE, lambda m: m.add(f"IFCCARTESIANTRANSFORMATIONOPERATOR3D($,$,{m.point(0, 0, 0)},2.,$,5.,7.)"),
                 None, (1.0, 1.0, 1.0), 8.0, id="uniform-ignores-extra-scales"),
    pytest.param((0, 0, 0), lambda m: m.operator(origin=(5, 0, 0)), lambda m: m.axis3d((0, 0, 1)), (5, 0, 1), 0.0,
                 id="origin-then-target"),
    # origin: quarter turn about Z then +1 in x; target: scale 2
    pytest.param((1, 0, 0), lambda m: m.operator(scale=2.0), lambda m: m.axis3d((1, 0, 0), (0, 0, 1), (0, 1, 0)),
                 (2, 2, 0), 0.0, id="origin-frame-before-target"),
    # mirrored: X = 0,1,0, Y = 1,0,0, Z = X x Y = 0,0,-1
    pytest.param((1, 2, 3), lambda m: m.operator(axis1=(0, 1, 0), axis2=(1, 0, 0)), None, (2, 1, -3), 0.0,
                 id="mirrored"),
    pytest.param((0, 1, 0), lambda m: m.operator(axis1=(1, 0, 0), axis2=(1, 1, 0)), None,
                 (math.sqrt(0.5), math.sqrt(0.5), 0), 0.0, id="y-not-made-orthogonal"),
    pytest.param((1, 1, 1), lambda m: m.operator(axis1=(3, 0, 0), axis2=(0, 4, 0)), None, (1, 1, 1), 0.0,
                 id="normalised"),
    pytest.param((0, 0, 1), lambda m: m.operator(axis3=(0, 2, 0)), None, (0, 1, 0), 0.0, id="axis3-wins"),
    pytest.param((1, 2, 3), lambda m: m.operator(axis1=(0, 0, 0)), None, (0, 2, 0), 0.0, id="zero-axis-stays-zero"),
    *[pytest.param((1, 2, 3), target, None, (1, 2, 3), 0.0, id=f"unreadable-target-{i}") for i, target in enumerate(
        [lambda m: "#999999", lambda m: m.add("IFCDIRECTION((1.,0.,0.))"), lambda m: "'x'"])],
])
def test_mapping(write_ifc, source, target, origin, centre, volume):
    def build(m):
        item = m.cube_brep() if source is CUBE else m.triangles([source], [(1, 1, 1)])
        return mapped(m, item, target(m), origin(m) if origin else "$")

    row = item_row(write_ifc, build)
    assert (box_centre(row), row["volume_abs"]) == (pytest.approx(centre, abs=1e-6), pytest.approx(volume))


def test_nested_mapped_items_compose(write_ifc):
    def build(m):
        inner_map = m.representation_map([m.triangles([(0, 0, 0)], [(1, 1, 1)])])
        inner = m.mapped_item(inner_map, m.operator(origin=(0, 5, 0)))
        outer_map = m.representation_map([inner], m.axis3d((0, 0, 1)))
        return m.mapped_item(outer_map, m.operator(origin=(10, 0, 0), scale=2.0))

    row = item_row(write_ifc, build)
    assert row["source"] == "triangulated_faceset"
    # inner: (0,5,0); outer origin +z 1 -> (0,5,1); outer target x2 then +10 in x -> (10,10,2)
    assert box_centre(row) == (10.0, 10.0, 2.0)


def test_mapped_item_with_other_items(write_ifc):
    # The product takes the last item's label; each item's indices address its own vertices.
    m = Model()
    tri = m.triangles([(0, 0, 0), (1, 0, 0), (0, 1, 0)], [(1, 2, 3)])
    mapped = m.mapped_item(m.representation_map([m.cube_brep()]), m.operator(origin=(10, 0, 0)))
    m.product([tri, mapped, mapped])
    row = one_row(drift(write_ifc, m))
    assert (row["source"], row["triangle_count"], row["surface_area"]) == ("brep", 25, 12.5)


def test_products_sharing_a_map(write_ifc):
    m = Model()
    rep_map = m.representation_map([m.cube_brep()])
    for x in (0, 10, 20):
        m.product([m.mapped_item(rep_map, m.operator(origin=(x, 0, 0)))])
    assert sorted(r["centroid_x"] for r in rows(drift(write_ifc, m))) == [0.5, 10.5, 20.5]


# Map k holds a triangle and a mapped item, shifted by 3, of the next map in a ring of n:
# a map met again while it is being expanded gives nothing.
@pytest.mark.parametrize("n, expected", [
    pytest.param(1, [(1, 0.5, 3.5)], id="map_that_contains_itself"),
    pytest.param(2, [(2, 1.0, 5.0)] * 2, id="two_maps_containing_each_other"),  # x from 3 to 7
])
def test_maps_containing_each_other(write_ifc, n, expected):
    m = Model(first_id=1000)
    tri = m.triangles([(0, 0, 0), (1, 0, 0), (0, 1, 0)], [(1, 2, 3)])
    shift = m.operator(origin=(3, 0, 0))
    for k in range(n):
        m.raw(f"#{3 * k + 1}=IFCREPRESENTATIONMAP($,#{3 * k + 2});")
        m.raw(f"#{3 * k + 2}=IFCSHAPEREPRESENTATION($,'Body','Tessellation',({tri},#{3 * k + 3}));")
        m.raw(f"#{3 * k + 3}=IFCMAPPEDITEM(#{3 * ((k + 1) % n) + 1},{shift});")
        m.product([f"#{3 * k + 3}"])
    got = sorted((r["triangle_count"], r["surface_area"], r["centroid_x"]) for r in rows(drift(write_ifc, m)))
    assert got == expected


# Nesting costs heap, not stack; forty levels each placing the next map twice (2**40 leaves
# without a cycle) stop at the bound of one expansion.
@pytest.mark.parametrize("depth, copies", [(10_000, 1), (40, 2)], ids=["ten_thousand_levels", "forty_levels_twice"])
def test_deep_nesting(write_ifc, depth, copies):
    m = Model()
    shift = m.operator(origin=(1, 0, 0))
    items = [m.triangles([(0, 0, 0), (0, 1, 0), (0, 0, 1)], [(1, 2, 3)])]
    for _ in range(depth):
        rep_map = m.representation_map(items)
        items = [m.mapped_item(rep_map, shift) for _ in range(copies)]
    m.product(items[:1])
    row = one_row(drift(write_ifc, m))
    if copies == 1:
        assert box_centre(row) == (float(depth), 0.5, 0.5)
    else:
        assert 0 < row["triangle_count"] <= 1 << 20
