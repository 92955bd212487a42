"""The placements table against IfcOpenShell's placement resolution on the corpus: every product
with a local placement, where it stands in metres and how its axes turn."""

import math

import pytest

import quarnel
from conftest import CORPUS_MODELS, corpus, open_with_ifcopenshell

@corpus
@pytest.mark.parametrize("path", [str(p) for p in CORPUS_MODELS], ids=[p.name for p in CORPUS_MODELS])
def test_placements_match_ifcopenshell(path):
    placement = pytest.importorskip("ifcopenshell.util.placement")
    unit = pytest.importorskip("ifcopenshell.util.unit")
    model = open_with_ifcopenshell(path)
    scale = unit.calculate_unit_scale(model)
    table = quarnel.read_table(path, "placements").to_pydict()
    ours = {}
    for i, guid in enumerate(table["guid"]):
        ours.setdefault(guid, []).append(i)
    expected = {}
    for product in model.by_type("IfcProduct"):
        if product.ObjectPlacement is not None and product.ObjectPlacement.is_a("IfcLocalPlacement"):
            expected.setdefault(product.GlobalId, []).append(product)
    assert set(expected) <= set(ours)
    for guid, products in expected.items():
        if len(products) > 1 or len(ours[guid]) > 1:
            continue  # a GlobalId carried twice: which is which is not ours to guess
        m = placement.get_local_placement(products[0].ObjectPlacement)
        i = ours[guid][0]
        where = [m[k][3] * scale for k in range(3)]
        size = max(1.0, *map(abs, where))
        for k, axis in enumerate("xyz"):
            assert table[axis][i] == pytest.approx(where[k], abs=1e-9 * size), (guid, axis)
        for column, c in (("x_axis", 0), ("z_axis", 2)):
            got = [table[f"{column}_{a}"][i] for a in "xyz"]
            want = [m[k][c] / math.sqrt(sum(m[r][c] ** 2 for r in range(3))) for k in range(3)]
            # A RefDirection a little off the plane normal to the Axis is projected onto it here,
            # as the schema says; IfcOpenShell takes it as written.
            assert got == pytest.approx(want, abs=1e-6), (guid, column)


UNITS = """
#1=IFCPROJECT('0Project0000000000001',$,'P',$,$,$,$,(#20),#10);
#10=IFCUNITASSIGNMENT(({units}));
#11=IFCSIUNIT(*,.LENGTHUNIT.,.MILLI.,.METRE.);
#12=IFCSIUNIT(*,.AREAUNIT.,{area_prefix},.SQUARE_METRE.);
#13=IFCSIUNIT(*,.VOLUMEUNIT.,.CENTI.,.CUBIC_METRE.);
#14=IFCSIUNIT(*,.PLANEANGLEUNIT.,$,.RADIAN.);
#15=IFCMEASUREWITHUNIT(IFCAREAMEASURE(0.09290304),#12);
#16=IFCCONVERSIONBASEDUNIT(#17,.AREAUNIT.,'square foot',#15);
#20=IFCGEOMETRICREPRESENTATIONCONTEXT($,'Model',3,0.01,#21,$);
#21=IFCAXIS2PLACEMENT3D(#22,$,$);
#22=IFCCARTESIANPOINT((0.,0.,0.));
#30=IFCWALL('0Wall00000000000000001',$,$,$,$,#31,$,$,$);
#31=IFCLOCALPLACEMENT($,#32);
#32=IFCAXIS2PLACEMENT3D(#33,$,#34);
#33=IFCCARTESIANPOINT((500000000.25,1000.,0.));
#34=IFCDIRECTION((0.,1.,0.));
"""


@pytest.mark.parametrize("units, area_prefix, area", [
    ("#11,#12,#13,#14", "$", 1.0),
    ("#11,#12,#13,#14", ".MILLI.", 1e-6),
    ("#11,#16,#13,#14", "$", 0.09290304),
])
def test_unit_scales_precision_and_double_precision(write_ifc, units, area_prefix, area):
    table = quarnel.read_table(write_ifc(UNITS.format(units=units, area_prefix=area_prefix)), "placements")
    facts = {k.decode(): float(v) for k, v in table.schema.metadata.items() if not k.endswith(b"_ms")}
    assert facts["length_scale"] == 0.001 and facts["angle_scale"] == 1.0
    assert facts["area_scale"] == pytest.approx(area) and facts["volume_scale"] == pytest.approx(1e-6)
    assert facts["precision"] == pytest.approx(1e-5)
    row = table.to_pylist()[0]
    # 500 km from the origin, a quarter millimetre is kept.
    assert (row["x"], row["y"], row["x_axis_y"], row["z_axis_z"]) == (500000.00025, 1.0, 1.0, 1.0)
