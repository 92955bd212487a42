"""Length units through conversion factors, in index_ifc and in the drift floor."""

import pytest

import quarnel._core as core
from mesh_models import Model, drift, one_row

METRE = "#1=IFCSIUNIT(*,.LENGTHUNIT.,$,.METRE.);"
MILLIMETRE = "#1=IFCSIUNIT(*,.LENGTHUNIT.,.MILLI.,.METRE.);"


def conversion(name, value, measure="IFCLENGTHMEASURE", si=METRE):
    # The measure is written after the unit that names it, as exporters do.
    return (f"#9=IFCUNITASSIGNMENT((#3));#2=IFCDIMENSIONALEXPONENTS(1,0,0,0,0,0,0);"
            f"#3=IFCCONVERSIONBASEDUNIT(#2,.LENGTHUNIT.,'{name}',#4);#4=IFCMEASUREWITHUNIT({measure}({value}),#1);{si}")


@pytest.mark.parametrize("units, scale", [
    pytest.param(conversion("FOOT", "0.3048"), 0.3048, id="foot"),
    pytest.param(conversion("inch", "0.0254", "IFCRATIOMEASURE"), 0.0254, id="inch_ratio_measure"),
    pytest.param(conversion("FOOT", "304.8", si=MILLIMETRE), 0.3048, id="foot_in_millimetres"),
    pytest.param(conversion("survey foot", "0.3048006"), 0.3048006, id="factor_not_name"),
    pytest.param(conversion("FOOT", "$"), 0.3048, id="unreadable_factor_falls_back_on_name"),
    pytest.param(conversion("cubit", "$"), None, id="unknown_name_without_factor"),
    pytest.param(conversion("FOOT", "-1."), 0.3048, id="negative_factor_falls_back_on_name"),
    pytest.param("#9=IFCUNITASSIGNMENT((#3));#3=IFCCONVERSIONBASEDUNIT(#2,.LENGTHUNIT.,'x',#3);", None,
                 id="unit_naming_itself"),
    pytest.param("#9=IFCUNITASSIGNMENT((#3));#3=IFCCONVERSIONBASEDUNIT(#2,.LENGTHUNIT.,'x',#4);"
                 "#4=IFCMEASUREWITHUNIT(IFCLENGTHMEASURE(2.),#3);", None, id="measure_in_its_own_unit"),
    pytest.param("#9=IFCUNITASSIGNMENT((#3,#1));#3=IFCCONVERSIONBASEDUNIT(#2,.PLANEANGLEUNIT.,'DEGREE',#4);"
                 "#4=IFCMEASUREWITHUNIT(IFCPLANEANGLEMEASURE(0.01745),#5);" + METRE, 1.0, id="angle_unit_skipped"),
])
def test_conversion_based_length_units(write_ifc, units, scale):
    assert core.index_ifc(write_ifc(units))["unit_scale"] == pytest.approx(scale)


def cube_away(units, distance):
    """A unit cube whose product sits at the origin and whose mesh lies `distance` along x."""
    m = Model()
    m.raw(units)
    p = m.local_placement()
    m.product([m.cube_brep(1.0, origin=(distance - 0.5, -0.5, -0.5))], placement=p)
    return m


@pytest.mark.parametrize("units, distance, severity", [
    # 10 mm: 10 units in millimetres, 0.01 in metres, 0.0328 in feet; 10 units without a length unit.
    pytest.param("#9=IFCUNITASSIGNMENT((#1));" + MILLIMETRE, 9.0, "ok", id="millimetres_below_floor"),
    pytest.param("#9=IFCUNITASSIGNMENT((#1));" + MILLIMETRE, 11.0, "error", id="millimetres_above_floor"),
    pytest.param("#9=IFCUNITASSIGNMENT((#1));" + METRE, 9.0, "warn", id="metres_nine_is_far"),
    pytest.param(conversion("FOOT", "0.3048"), 3.0, "warn", id="feet"),
    pytest.param("", 9.0, "ok", id="no_length_unit_ten_units"),
    pytest.param("", 11.0, "error", id="no_length_unit_eleven_units"),
])
def test_drift_floor_is_ten_millimetres(write_ifc, units, distance, severity):
    assert one_row(drift(write_ifc, cube_away(units, distance)))["drift_severity"] == severity
