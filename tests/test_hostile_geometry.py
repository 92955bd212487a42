"""Hostile geometry: degenerate and self-referencing swept, boolean, curve and grid items, and
chains far deeper than real models. Each file runs in a child interpreter and must come back
with a result; none of these may hang or exhaust the stack."""

import pytest

from conftest import ifc_text
from hostile_files import run_isolated
from mesh_models import Model


def body(*lines, items=("#1",), placement="$", cube=False):
    """One product whose body holds `items` (or a cube) after the DATA `lines` (ids below 10000)."""
    m = Model(first_id=10_000)
    m.raw("\n".join(lines))
    m.product([m.cube_brep()] if cube else list(items), placement=placement)
    return m.text()


def boolean_chain(depth, every_level_a_product=False):
    m = Model()
    cut = m.add(f"IFCHALFSPACESOLID({m.add(f'IFCPLANE({m.axis3d((0, 0, 0.5))})')},.F.)")
    levels = [m.cube_brep()]
    for _ in range(depth):
        levels.append(m.add(f"IFCBOOLEANCLIPPINGRESULT(.DIFFERENCE.,{levels[-1]},{cut})"))
    for level in reversed(levels[1:]) if every_level_a_product else levels[-1:]:
        m.product([level], guid=f"'{level[1:]}'")  # the deepest listed last
    return m.text()


def swept_disk(points, radius="1.", inner="$"):
    lines = [f"#{10 + k}=IFCCARTESIANPOINT(({x},{y},{z}));" for k, (x, y, z) in enumerate(points)]
    return body(*lines, f"#2=IFCPOLYLINE(({','.join(f'#{10 + k}' for k in range(len(points)))}));",
                f"#1=IFCSWEPTDISKSOLID(#2,{radius},{inner},$,$);")


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
              "#902=IFCEXTRUDEDAREASOLID(#900,$,#901,1.);", f"#903=IFCSWEPTDISKSOLID({below},1.,$,$,$);"]
    return body(*lines, items=("#902", "#903"))


def placed_cube(*lines):
    return body(*lines, placement="#60", cube=True)


GRID_AXES = ("#1=IFCCARTESIANPOINT((0.,0.));#2=IFCCARTESIANPOINT((0.,10.));#3=IFCPOLYLINE((#1,#2));"
             "#4=IFCGRIDAXIS('A',#3,.T.);#5=IFCCARTESIANPOINT((10.,0.));#6=IFCPOLYLINE((#1,#5));"
             "#7=IFCGRIDAXIS('1',#6,.T.);")

CASES = {
    "boolean_chain_100k": lambda: boolean_chain(100_000),
    "boolean_chain_20k_every_level_a_product": lambda: boolean_chain(20_000, every_level_a_product=True),
    "boolean_naming_itself": lambda: body("#1=IFCBOOLEANRESULT(.DIFFERENCE.,#1,#1);"),
    "booleans_naming_each_other": lambda: body("#1=IFCBOOLEANRESULT(.DIFFERENCE.,#2,#3);",
                                               "#2=IFCBOOLEANCLIPPINGRESULT(.DIFFERENCE.,#1,#3);",
                                               "#3=IFCHALFSPACESOLID(#4,.T.);"),
    "boolean_through_a_map_of_itself": lambda: body("#1=IFCBOOLEANRESULT(.DIFFERENCE.,#2,#5);",
                                                    "#2=IFCMAPPEDITEM(#3,$);", "#3=IFCREPRESENTATIONMAP($,#4);",
                                                    "#4=IFCSHAPEREPRESENTATION($,'Body','Brep',(#1));"),
    "swept_disk_one_point": lambda: swept_disk([(1.0, 1.0, 1.0)] * 5),
    "swept_disk_no_points": lambda: swept_disk([]),
    "swept_disk_zero_radius": lambda: swept_disk([(0, 0, 0), (1, 0, 0)], radius="0."),
    "swept_disk_nan_radius": lambda: swept_disk([(0, 0, 0), (1, 0, 0)], radius="+nan"),
    "swept_disk_hairpins": lambda: swept_disk([(k % 2, 0, 0) for k in range(10_000)], inner="0.5"),
    "swept_disk_infinite_point": lambda: swept_disk([(0, 0, 0), ("1E400", 0, 0), (1, 1, 1)]),
    "swept_disk_directrix_naming_itself": lambda: body("#2=IFCCOMPOSITECURVE((#3),.F.);",
                                                       "#3=IFCCOMPOSITECURVESEGMENT(.CONTINUOUS.,.T.,#2);",
                                                       "#1=IFCSWEPTDISKSOLID(#2,1.,$,$,$);"),
    "composite_curves_1000_wide_5_deep": lambda: nested_composite(1000, 5),
    "grid_placement_naming_missing_axes": lambda: placed_cube("#50=IFCVIRTUALGRIDINTERSECTION((#98,#99),(0.,0.));",
                                                              "#60=IFCGRIDPLACEMENT(#50,#50);"),
    "grid_placed_by_its_own_grid_placement": lambda: placed_cube(
        GRID_AXES, "#50=IFCVIRTUALGRIDINTERSECTION((#4,#7),(0.,0.));", "#60=IFCGRIDPLACEMENT(#50,$);",
        "#61=IFCGRID('g',$,$,$,$,#60,$,(#4),(#7),$);"),
    "linear_placements_relative_to_each_other": lambda: placed_cube("#60=IFCLINEARPLACEMENT(#61,$,$);",
                                                                    "#61=IFCLINEARPLACEMENT(#60,$,$);"),
    "revolution_by_infinite_angle": lambda: body("#2=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,1.,1.);",
                                                 "#3=IFCAXIS1PLACEMENT($,$);", "#1=IFCREVOLVEDAREASOLID(#2,$,#3,1E400);"),
}


@pytest.mark.parametrize("case", list(CASES))
def test_hostile_geometry_returns(case, tmp_path):
    path = tmp_path / f"{case}.ifc"
    path.write_text(ifc_text(CASES[case]()))
    assert run_isolated([path], ["analyse_drift", "index_ifc"]) == {"analyse_drift": 1, "index_ifc": 1}
