"""Hostile geometry: degenerate and self-referencing swept, boolean, curve and grid items, and
chains far deeper than real models. Each file runs in a child interpreter and must come back
with a result; none of these may hang or exhaust the stack."""

import pytest

from conftest import ifc_text
from hostile_files import run_isolated

WALL = "IFCWALL('{guid}',$,'w',$,$,{placement},#9001,$,$)"


def product_file(items, placement="$", extra=()):
    """One product whose body holds `items` (references), after the lines of `extra`."""
    lines = list(extra) + [
        f"#9000=IFCSHAPEREPRESENTATION($,'Body','Brep',({','.join(items)}));",
        "#9001=IFCPRODUCTDEFINITIONSHAPE($,$,(#9000));",
        f"#9002={WALL.format(guid='2O2Fr$t4X7Zf8NOew3FLOH', placement=placement)};",
    ]
    return ifc_text("\n".join(lines)).encode()


def cube(first=1):
    """A closed unit cube as #first.. #first+25; returns (lines, brep id)."""
    lines, p = [], []
    for k, (x, y, z) in enumerate((x, y, z) for z in (0, 1) for y in (0, 1) for x in (0, 1)):
        lines.append(f"#{first + k}=IFCCARTESIANPOINT(({x}.,{y}.,{z}.));")
        p.append(f"#{first + k}")
    faces = []
    for k, quad in enumerate([(0, 2, 3, 1), (4, 5, 7, 6), (0, 1, 5, 4), (2, 6, 7, 3), (0, 4, 6, 2), (1, 3, 7, 5)]):
        loop, bound, face = first + 8 + 3 * k, first + 9 + 3 * k, first + 10 + 3 * k
        lines += [f"#{loop}=IFCPOLYLOOP(({','.join(p[i] for i in quad)}));",
                  f"#{bound}=IFCFACEOUTERBOUND(#{loop},.T.);", f"#{face}=IFCFACE((#{bound}));"]
        faces.append(f"#{face}")
    shell, brep = first + 26, first + 27
    lines += [f"#{shell}=IFCCLOSEDSHELL(({','.join(faces)}));", f"#{brep}=IFCFACETEDBREP(#{shell});"]
    return lines, f"#{brep}"


def boolean_chain(depth, every_level_a_product=False):
    lines, base = cube()
    lines += ["#50=IFCCARTESIANPOINT((0.,0.,0.5));", "#51=IFCAXIS2PLACEMENT3D(#50,$,$);", "#52=IFCPLANE(#51);",
              "#53=IFCHALFSPACESOLID(#52,.F.);"]
    previous = base
    first = 100
    for k in range(depth):
        lines.append(f"#{first + k}=IFCBOOLEANCLIPPINGRESULT(.DIFFERENCE.,{previous},#53);")
        previous = f"#{first + k}"
    if not every_level_a_product:
        return product_file([previous], extra=lines)
    # Every level is the body of its own product, the deepest listed last.
    for k in reversed(range(depth)):
        rep, shape, wall = first + depth + 3 * k, first + depth + 3 * k + 1, first + depth + 3 * k + 2
        lines += [f"#{rep}=IFCSHAPEREPRESENTATION($,'Body','Brep',(#{first + k}));",
                  f"#{shape}=IFCPRODUCTDEFINITIONSHAPE($,$,(#{rep}));",
                  f"#{wall}={WALL.format(guid=f'g{k}', placement='$').replace('#9001', f'#{shape}')};"]
    return ifc_text("\n".join(lines)).encode()


def swept_disk(points, radius="1.", inner="$"):
    lines = [f"#{10 + k}=IFCCARTESIANPOINT(({x},{y},{z}));" for k, (x, y, z) in enumerate(points)]
    refs = ",".join(f"#{10 + k}" for k in range(len(points)))
    lines += [f"#1=IFCPOLYLINE(({refs}));", f"#2=IFCSWEPTDISKSOLID(#1,{radius},{inner},$,$);"]
    return product_file(["#2"], extra=lines)


def nested_composite(width, depth):
    """Composite curves of `width` segments, each the composite curve of the level below."""
    lines = ["#1=IFCCARTESIANPOINT((0.,0.));", "#2=IFCCARTESIANPOINT((1.,0.));", "#3=IFCPOLYLINE((#1,#2));"]
    below = "#3"
    for level in range(depth):
        segment, curve = 10 + 2 * level, 11 + 2 * level
        lines += [f"#{segment}=IFCCOMPOSITECURVESEGMENT(.CONTINUOUS.,.T.,{below});",
                  f"#{curve}=IFCCOMPOSITECURVE(({','.join([f'#{segment}'] * width)}),.F.);"]
        below = f"#{curve}"
    lines += [f"#900=IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,{below});", "#901=IFCDIRECTION((0.,0.,1.));",
              "#902=IFCEXTRUDEDAREASOLID(#900,$,#901,1.);", "#903=IFCSWEPTDISKSOLID(" + below + ",1.,$,$,$);"]
    return product_file(["#902", "#903"], extra=lines)


GRID_AXES = [
    "#1=IFCCARTESIANPOINT((0.,0.));", "#2=IFCCARTESIANPOINT((0.,10.));", "#3=IFCPOLYLINE((#1,#2));",
    "#4=IFCGRIDAXIS('A',#3,.T.);", "#5=IFCCARTESIANPOINT((10.,0.));", "#6=IFCPOLYLINE((#1,#5));",
    "#7=IFCGRIDAXIS('1',#6,.T.);",
]


CASES = {
    "boolean_chain_100k": lambda: boolean_chain(100_000),
    "boolean_chain_20k_every_level_a_product": lambda: boolean_chain(20_000, every_level_a_product=True),
    "boolean_naming_itself": lambda: product_file(["#1"], extra=["#1=IFCBOOLEANRESULT(.DIFFERENCE.,#1,#1);"]),
    "booleans_naming_each_other": lambda: product_file(["#1"], extra=[
        "#1=IFCBOOLEANRESULT(.DIFFERENCE.,#2,#3);", "#2=IFCBOOLEANCLIPPINGRESULT(.DIFFERENCE.,#1,#3);",
        "#3=IFCHALFSPACESOLID(#4,.T.);"]),
    "boolean_through_a_map_of_itself": lambda: product_file(["#1"], extra=[
        "#1=IFCBOOLEANRESULT(.DIFFERENCE.,#2,#5);", "#2=IFCMAPPEDITEM(#3,$);", "#3=IFCREPRESENTATIONMAP($,#4);",
        "#4=IFCSHAPEREPRESENTATION($,'Body','Brep',(#1));"]),
    "swept_disk_one_point": lambda: swept_disk([(1.0, 1.0, 1.0)] * 5),
    "swept_disk_no_points": lambda: swept_disk([]),
    "swept_disk_zero_radius": lambda: swept_disk([(0, 0, 0), (1, 0, 0)], radius="0."),
    "swept_disk_nan_radius": lambda: swept_disk([(0, 0, 0), (1, 0, 0)], radius="+nan"),
    "swept_disk_hairpins": lambda: swept_disk([(k % 2, 0, 0) for k in range(10_000)], inner="0.5"),
    "swept_disk_infinite_point": lambda: swept_disk([(0, 0, 0), ("1E400", 0, 0), (1, 1, 1)]),
    "swept_disk_directrix_naming_itself": lambda: product_file(["#2"], extra=[
        "#1=IFCCOMPOSITECURVE((#3),.F.);", "#3=IFCCOMPOSITECURVESEGMENT(.CONTINUOUS.,.T.,#1);",
        "#2=IFCSWEPTDISKSOLID(#1,1.,$,$,$);"]),
    "composite_curves_1000_wide_5_deep": lambda: nested_composite(1000, 5),
    "grid_placement_naming_missing_axes": lambda: product_file(cube()[1:], "#60", cube()[0] + [
        "#50=IFCVIRTUALGRIDINTERSECTION((#98,#99),(0.,0.));", "#60=IFCGRIDPLACEMENT(#50,#50);"]),
    "grid_placed_by_its_own_grid_placement": lambda: product_file(cube()[1:], "#60", cube()[0] + GRID_AXES + [
        "#50=IFCVIRTUALGRIDINTERSECTION((#4,#7),(0.,0.));", "#60=IFCGRIDPLACEMENT(#50,$);",
        "#61=IFCGRID('g',$,$,$,$,#60,$,(#4),(#7),$);"]),
    "linear_placements_relative_to_each_other": lambda: product_file(cube()[1:], "#60", cube()[0] + [
        "#60=IFCLINEARPLACEMENT(#61,$,$);", "#61=IFCLINEARPLACEMENT(#60,$,$);"]),
    "revolution_by_infinite_angle": lambda: product_file(["#3"], extra=[
        "#1=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,1.,1.);", "#2=IFCAXIS1PLACEMENT($,$);",
        "#3=IFCREVOLVEDAREASOLID(#1,$,#2,1E400);"]),
}


@pytest.mark.parametrize("case", list(CASES))
def test_hostile_geometry_returns(case, tmp_path):
    path = tmp_path / f"{case}.ifc"
    path.write_bytes(CASES[case]())
    assert run_isolated([path], ["analyse_drift", "index_ifc"]) == {"analyse_drift": 1, "index_ifc": 1}
