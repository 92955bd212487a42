"""Mapped items: representation maps placed through their origin and transformation operator."""

import math

import pytest

from mesh_models import Model, box_centre, drift, one_row, rows


def mapped_row(write_ifc, build):
    m = Model()
    m.product([build(m)])
    return one_row(drift(write_ifc, m))


def point_image(write_ifc, point, target=None, origin=None):
    """Where a mapped single-vertex mesh at `point` ends up."""

    def build(m):
        rep_map = m.representation_map([m.triangles([point], [(1, 1, 1)])], origin(m) if origin else "$")
        return m.mapped_item(rep_map, target(m) if target else "$")

    return box_centre(mapped_row(write_ifc, build))


def test_identity_mapping_reproduces_the_source(write_ifc):
    row = mapped_row(write_ifc, lambda m: m.mapped_item(m.representation_map([m.cube_brep()], m.axis3d())))
    assert (row["source"], row["triangle_count"], row["volume_abs"]) == ("brep", 12, 1.0)
    assert box_centre(row) == (0.5, 0.5, 0.5)


@pytest.mark.parametrize("label_item", ["triangles", "polygons", "cube_brep"])
def test_source_labels_are_kept(write_ifc, label_item):
    def build(m):
        item = {
            "triangles": lambda: m.triangles([(0, 0, 0), (1, 0, 0), (0, 1, 0)], [(1, 2, 3)]),
            "polygons": lambda: m.polygons([(0, 0, 0), (1, 0, 0), (0, 1, 0)], [(1, 2, 3)]),
            "cube_brep": lambda: m.cube_brep(),
        }[label_item]()
        return m.mapped_item(m.representation_map([item]))

    expected = {"triangles": "triangulated_faceset", "polygons": "polygonal_faceset", "cube_brep": "brep"}
    assert mapped_row(write_ifc, build)["source"] == expected[label_item]


@pytest.mark.parametrize("operator, centre, volume", [
    pytest.param(lambda m: m.operator(origin=(5, 0, 0), scale=2.0), (6.0, 1.0, 1.0), 8.0, id="uniform-about-origin"),
    pytest.param(lambda m: m.operator(scale=1.0, scale2=2.0, scale3=None, non_uniform=True), (0.5, 1.0, 0.5), 2.0,
                 id="non-uniform-y-only"),
    pytest.param(lambda m: m.operator(scale=3.0, scale2=None, scale3=0.5, non_uniform=True), (1.5, 1.5, 0.25), 4.5,
                 id="non-uniform-defaults-to-scale"),
    pytest.param(lambda m: m.add(f"IFCCARTESIANTRANSFORMATIONOPERATOR3D($,$,{m.point(0, 0, 0)},2.,$,5.,7.)"),
                 (1.0, 1.0, 1.0), 8.0, id="uniform-ignores-extra-scales"),
])
def test_scaled_cube(write_ifc, operator, centre, volume):
    row = mapped_row(write_ifc, lambda m: m.mapped_item(m.representation_map([m.cube_brep()]), operator(m)))
    assert box_centre(row) == centre
    assert row["volume_abs"] == pytest.approx(volume)


@pytest.mark.parametrize("point, target, origin, expected", [
    pytest.param((0, 0, 0), lambda m: m.operator(origin=(5, 0, 0)), lambda m: m.axis3d((0, 0, 1)), (5, 0, 1),
                 id="origin-then-target"),
    # origin: quarter turn about Z then +1 in x; target: scale 2
    pytest.param((1, 0, 0), lambda m: m.operator(scale=2.0), lambda m: m.axis3d((1, 0, 0), (0, 0, 1), (0, 1, 0)),
                 (2, 2, 0), id="origin-frame-before-target"),
    # mirrored: X = 0,1,0, Y = 1,0,0, Z = X x Y = 0,0,-1
    pytest.param((1, 2, 3), lambda m: m.operator(axis1=(0, 1, 0), axis2=(1, 0, 0)), None, (2, 1, -3), id="mirrored"),
    pytest.param((0, 1, 0), lambda m: m.operator(axis1=(1, 0, 0), axis2=(1, 1, 0)), None,
                 (math.sqrt(0.5), math.sqrt(0.5), 0), id="y-not-made-orthogonal"),
    pytest.param((1, 1, 1), lambda m: m.operator(axis1=(3, 0, 0), axis2=(0, 4, 0)), None, (1, 1, 1), id="normalised"),
    pytest.param((0, 0, 1), lambda m: m.operator(axis3=(0, 2, 0)), None, (0, 1, 0), id="axis3-wins"),
    pytest.param((1, 2, 3), lambda m: m.operator(axis1=(0, 0, 0)), None, (0, 2, 0), id="zero-axis-stays-zero"),
    *[pytest.param((1, 2, 3), target, None, (1, 2, 3), id=f"unreadable-target-{i}") for i, target in enumerate(
        [lambda m: "#999999", lambda m: m.add("IFCDIRECTION((1.,0.,0.))"), lambda m: "'x'"])],
])
def test_point_image(write_ifc, point, target, origin, expected):
    assert point_image(write_ifc, point, target=target, origin=origin) == pytest.approx(expected, abs=1e-6)


@pytest.mark.parametrize(
    "source",
    ["#999999", "$", "SHAPE", "IFCREPRESENTATIONMAP($,$)", "IFCREPRESENTATIONMAP($,#999999)",
     "IFCREPRESENTATIONMAP($,#POINT)"],
)
def test_unreadable_sources_give_no_mesh(write_ifc, source):
    m = Model()
    cube = m.cube_brep()
    shape = m.shape([cube])
    point = m.point(0, 0, 0)
    if source == "SHAPE":
        ref = shape
    elif source.startswith("IFC"):
        ref = m.add(source.replace("#POINT", point))
    else:
        ref = source
    m.product([m.mapped_item(ref)])
    assert drift(write_ifc, m)["guid"] == []


def test_nested_mapped_items_compose(write_ifc):
    def build(m):
        inner_map = m.representation_map([m.triangles([(0, 0, 0)], [(1, 1, 1)])])
        inner = m.mapped_item(inner_map, m.operator(origin=(0, 5, 0)))
        outer_map = m.representation_map([inner], m.axis3d((0, 0, 1)))
        return m.mapped_item(outer_map, m.operator(origin=(10, 0, 0), scale=2.0))

    row = mapped_row(write_ifc, build)
    assert row["source"] == "triangulated_faceset"
    # inner: (0,5,0); outer origin +z 1 -> (0,5,1); outer target x2 then +10 in x -> (10,10,2)
    assert box_centre(row) == (10.0, 10.0, 2.0)


def test_mapped_item_with_other_items(write_ifc):
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


def test_map_that_contains_itself(write_ifc):
    m = Model(first_id=1000)
    tri = m.triangles([(0, 0, 0), (1, 0, 0), (0, 1, 0)], [(1, 2, 3)])
    # #1 = map whose representation holds a triangle and a mapped item of #1 again
    m.raw("#1=IFCREPRESENTATIONMAP($,#2);")
    m.raw(f"#2=IFCSHAPEREPRESENTATION($,'Body','Tessellation',({tri},#3));")
    m.raw("#3=IFCMAPPEDITEM(#1,$);")
    m.product(["#3"])
    row = one_row(drift(write_ifc, m))
    # the inner occurrence of the map being expanded gives nothing
    assert (row["triangle_count"], row["surface_area"]) == (1, 0.5)


def test_two_maps_containing_each_other(write_ifc):
    m = Model(first_id=1000)
    tri = m.triangles([(0, 0, 0), (1, 0, 0), (0, 1, 0)], [(1, 2, 3)])
    shift = m.operator(origin=(3, 0, 0))
    m.raw("#1=IFCREPRESENTATIONMAP($,#2);")
    m.raw(f"#2=IFCSHAPEREPRESENTATION($,'Body','Tessellation',({tri},#3));")
    m.raw(f"#3=IFCMAPPEDITEM(#4,{shift});")
    m.raw("#4=IFCREPRESENTATIONMAP($,#5);")
    m.raw(f"#5=IFCSHAPEREPRESENTATION($,'Body','Tessellation',({tri},#6));")
    m.raw(f"#6=IFCMAPPEDITEM(#1,{shift});")
    m.product(["#3"])
    m.product(["#6"])
    result = drift(write_ifc, m)
    got = sorted((r["triangle_count"], r["surface_area"], r["centroid_x"]) for r in rows(result))
    # each product: the other map's triangle shifted by 3, then its own map's shifted by 6
    # (x from 3 to 7); the map met a second time gives nothing
    assert got == [(2, 1.0, 5.0), (2, 1.0, 5.0)]


def test_ten_thousand_levels_of_nesting(write_ifc):
    depth = 10_000
    m = Model(first_id=10 * depth)
    shift = m.operator(origin=(1, 0, 0))
    leaf = m.triangles([(0, 0, 0)], [(1, 1, 1)])
    lines = []
    # map k (ids 4k+1..) holds a mapped item of map k+1; the last holds the leaf
    for k in range(depth):
        rep_map, shape, item = 3 * k + 1, 3 * k + 2, 3 * k + 3
        inner = f"#{3 * (k + 1) + 3}" if k + 1 < depth else leaf
        lines.append(f"#{rep_map}=IFCREPRESENTATIONMAP($,#{shape});")
        lines.append(f"#{shape}=IFCSHAPEREPRESENTATION($,'Body','MappedRepresentation',({inner}));")
        lines.append(f"#{item}=IFCMAPPEDITEM(#{rep_map},{shift});")
    m.product(["#3"])
    row = one_row(drift(write_ifc, "\n".join(lines) + "\n" + m.text()))
    assert box_centre(row) == (float(depth), 0.0, 0.0)


def test_maps_placing_the_next_map_twice_stay_bounded(write_ifc):
    """Forty levels, each placing the next map twice: 2**40 leaves without a cycle."""
    depth = 40
    m = Model(first_id=10 * depth)
    leaf = m.triangles([(0, 0, 0), (1, 0, 0), (0, 1, 0)], [(1, 2, 3)])
    lines = []
    for k in range(depth):
        rep_map, shape, first, second = 4 * k + 1, 4 * k + 2, 4 * k + 3, 4 * k + 4
        inner = f"#{4 * (k + 1) + 3},#{4 * (k + 1) + 4}" if k + 1 < depth else leaf
        lines.append(f"#{rep_map}=IFCREPRESENTATIONMAP($,#{shape});")
        lines.append(f"#{shape}=IFCSHAPEREPRESENTATION($,'Body','MappedRepresentation',({inner}));")
        lines.append(f"#{first}=IFCMAPPEDITEM(#{rep_map},$);")
        lines.append(f"#{second}=IFCMAPPEDITEM(#{rep_map},$);")
    m.product(["#3"])
    row = one_row(drift(write_ifc, "\n".join(lines) + "\n" + m.text()))
    assert 0 < row["triangle_count"] <= 1 << 20


def extrusion(m, x=1.0, y=2.0, depth=3.0):
    profile = m.add(f"IFCRECTANGLEPROFILEDEF(.AREA.,$,$,{x},{y})")
    return m.add(f"IFCEXTRUDEDAREASOLID({profile},$,$,{depth})")


def test_mapped_extrusion_is_relabelled(write_ifc):
    row = mapped_row(write_ifc, lambda m: m.mapped_item(m.representation_map([extrusion(m)]), m.operator(scale=2.0)))
    assert (row["source"], row["triangle_count"], row["volume_abs"]) == ("mapped", 12, 48.0)
    assert box_centre(row) == (0.0, 0.0, 3.0)


def test_nested_mapped_extrusion_stays_mapped(write_ifc):
    def build(m):
        inner = m.mapped_item(m.representation_map([extrusion(m)]))
        return m.mapped_item(m.representation_map([inner]))

    assert mapped_row(write_ifc, build)["source"] == "mapped"


@pytest.mark.parametrize("mapped_last, kind", [(True, "mapped"), (False, "extrusion")])
def test_product_kind_follows_the_last_item(write_ifc, mapped_last, kind):
    m = Model()
    solid = extrusion(m)
    mapped = m.mapped_item(m.representation_map([extrusion(m)]), m.operator(origin=(5, 0, 0)))
    m.product([solid, mapped] if mapped_last else [mapped, solid])
    row = one_row(drift(write_ifc, m))
    assert (row["source"], row["triangle_count"]) == (kind, 24)
