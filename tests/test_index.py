"""index_ifc: header facts, products, spatial structure and the result document."""

import collections

import pytest

from conftest import FOOTER, ifc_text
from quarnel import _core

KEYS = [
    "schema", "project_name", "authoring_app", "unit_scale", "size_bytes", "open_ms", "index_ms",
    "type_counts", "products", "storeys", "contained_in", "aggregates", "storey_building",
    "sites", "buildings", "projects", "spaces", "marshal_ms",
]
TABLE_KEYS = {
    "products": ["step_id", "guid", "entity", "name", "predefined_type", "object_type", "tag"],
    "storeys": ["step_id", "guid", "name", "elevation", "building_step_id"],
    "contained_in": ["child", "structure"],
    "aggregates": ["child", "parent"],
    "storey_building": ["storey", "building"],
    "sites": ["step_id", "guid"],
    "buildings": ["step_id", "guid"],
    "projects": ["step_id", "guid"],
    "spaces": ["step_id", "guid"],
}


def header(schema="FILE_SCHEMA(('IFC4'));", file_name="FILE_NAME('t.ifc','2026',(''),(''),'pre','Origin','');"):
    return f"ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\n{file_name}\n{schema}\nENDSEC;\nDATA;\n"


def model(data, **header_parts):
    return ifc_text(data, header(**header_parts))


def index(write_ifc, data, **header_parts):
    return _core.index_ifc(write_ifc(model(data, **header_parts), raw=True))


def rows(table):
    """The rows of a column table, as tuples in list order."""
    return list(zip(*table.values()))


def check_shape(r):
    assert list(r) == KEYS
    for key, columns in TABLE_KEYS.items():
        assert list(r[key]) == columns, key
        assert len({len(v) for v in r[key].values()}) == 1, key


# ---------------------------------------------------------------- document


def test_empty_file(write_ifc):
    r = _core.index_ifc(write_ifc(b"", raw=True))
    check_shape(r)
    assert r["schema"] == ""
    assert r["project_name"] is None and r["authoring_app"] is None and r["unit_scale"] is None
    assert r["size_bytes"] == 0
    assert r["type_counts"] == {}
    for key in TABLE_KEYS:
        assert all(v == [] for v in r[key].values()), key


def test_document_keys_and_value_types(write_ifc):
    path = write_ifc("""
#1=IFCPROJECT('p1',$,'Proj',$,$,$,$,$,#9);
#2=IFCWALL('w1',$,'W1',$,$,$,$,$,.STANDARD.);
""")
    r = _core.index_ifc(path)
    check_shape(r)
    for key in ("open_ms", "index_ms", "marshal_ms"):
        assert isinstance(r[key], float) and r[key] >= 0.0
    assert isinstance(r["size_bytes"], int)
    assert r["size_bytes"] == len(open(path, "rb").read())
    assert r["schema"] == "IFC4"
    assert r["project_name"] == "Proj"


def test_missing_file_raises_oserror(tmp_path):
    path = str(tmp_path / "absent.ifc")
    with pytest.raises(OSError) as e:
        _core.index_ifc(path)
    assert str(e.value).startswith("open " + path + ": ")


def test_only_str_paths(tmp_path):
    with pytest.raises(TypeError):
        _core.index_ifc(tmp_path / "x.ifc")


def test_three_walls_in_file_order(write_ifc):
    r = index(write_ifc, """
#30=IFCWALL('c',$,'W3',$,$,$,$,$,$);
#10=IFCWALL('a',$,'W1',$,$,$,$,$,$);
#20=IFCWALL('b',$,'W2',$,$,$,$,$,$);
""")
    assert r["products"]["step_id"] == [30, 10, 20]
    assert r["products"]["name"] == ["W3", "W1", "W2"]
    assert r["type_counts"] == {"IfcWall": 3}


# ---------------------------------------------------------------- header


@pytest.mark.parametrize("schema_line, expected", [
    ("FILE_SCHEMA(('IFC4'));", "IFC4"),
    ("FILE_SCHEMA ( ( 'IFC4X3_ADD2' ) ) ;", "IFC4X3_ADD2"),
    ("FILE_SCHEMA(('IFC4','IFC2X3'));", "IFC4IFC2X3"),
    ("FILE_SCHEMA(('IFC2X3 extra'));", "IFC2X3"),
    ("FILE_SCHEMA(( ));", ""),
    ("", ""),
], ids=["plain", "spaces", "two-schemas", "first-token", "empty", "absent"])
def test_schema(write_ifc, schema_line, expected):
    assert index(write_ifc, "", schema=schema_line)["schema"] == expected


def test_schema_trims_unicode_white_space(write_ifc):
    text = model("", schema="FILE_SCHEMA(('\u3000IFC4\u2003X'));").encode("utf-8")
    assert _core.index_ifc(write_ifc(text, raw=True))["schema"] == "IFC4"


def test_schema_not_utf8_is_empty(write_ifc):
    text = model("", schema="FILE_SCHEMA(('IFC4')); ").encode() .replace(b"'IFC4'", b"'IFC\xff4'")
    assert _core.index_ifc(write_ifc(text, raw=True))["schema"] == ""


def test_schema_without_parentheses(write_ifc):
    assert _core.index_ifc(write_ifc(b"ISO-10303-21;\nHEADER;\nFILE_SCHEMA;\n", raw=True))["schema"] == ""


@pytest.mark.parametrize("start, found", [(65525, True), (65526, False)])
def test_schema_keyword_must_end_inside_64_kib(write_ifc, start, found):
    prefix = "ISO-10303-21;\nHEADER;\n"
    text = prefix + " " * (start - len(prefix)) + "FILE_SCHEMA(('IFC4'));\nENDSEC;\nDATA;\n" + FOOTER
    assert text.index("FILE_SCHEMA") == start
    assert _core.index_ifc(write_ifc(text, raw=True))["schema"] == ("IFC4" if found else "")


def test_schema_past_window_keeps_indexing(write_ifc):
    text = "ISO-10303-21;\nHEADER;\n" + " " * 70000 + model("#1=IFCWALL('g',$,$,$,$,$,$,$,$);").split("HEADER;\n", 1)[1]
    r = _core.index_ifc(write_ifc(text, raw=True))
    assert r["schema"] == ""
    assert r["products"]["step_id"] == [1]


@pytest.mark.parametrize("file_name, expected", [
    ("FILE_NAME('t','x',(''),(''),'pre','Origin','');", "Origin"),
    ("FILE_NAME('A (test)','x',('('),(')'),'pre','Origin','');", "Origin"),
    ("FILE_NAME('it''s (','x',(''),(''),'pre','Ori''gin','');", "Ori'gin"),
    ("FILE_NAME ( 'a' , 'b' , ( 'c' , 'd' ) , ( '' ) , 'pre' , 'Origin' , '' ) ;", "Origin"),
    ("FILE_NAME('t','x',(''),(''),'pre','','');", None),
    ("FILE_NAME('t','x',(''),(''),'pre',$,'');", None),
    ("FILE_NAME('t','x',(''),(''),'pre');", None),
    ("", None),
], ids=["plain", "parens-in-strings", "doubled-quotes", "spaced", "empty-string", "unset", "too-few", "absent"])
def test_file_name_originating_system(write_ifc, file_name, expected):
    assert index(write_ifc, "", file_name=file_name)["authoring_app"] == expected


def test_file_name_that_never_closes(write_ifc):
    r = index(write_ifc, "#1=IFCWALL('g',$,'W',$,$,$,$,$,$);",
              file_name="FILE_NAME('t','x',(''),(''),'pre','Origin',''")
    assert r["authoring_app"] is None
    assert r["schema"] == "IFC4"
    assert r["products"]["step_id"] == [1]


def test_file_name_with_unclosed_string(write_ifc):
    r = index(write_ifc, "", file_name="FILE_NAME('t,'x',(''),(''),'pre','Origin','');")
    assert r["authoring_app"] is None


@pytest.mark.parametrize("data, expected", [
    ("#1=IFCAPPLICATION(#2,'1.0','Full Name','ID');", "Full Name"),
    ("#1=IFCAPPLICATION(#2,'1.0','','ID');", ""),
    ("#1=IFCAPPLICATION(#2,'1.0',$,'ID');", "Origin"),
    ("#1=IFCAPPLICATION(#2,'1.0','First','ID');\n#3=IFCAPPLICATION(#2,'1.0','Second','ID');", "Second"),
    ("#1=IFCAPPLICATION(#2,'1.0','First','ID');\n#3=IFCAPPLICATION(#2,'1.0',$,'ID');", "First"),
    ("#1=IfcApplication(#2,'1.0','Mixed','ID');", "Origin"),
])
def test_authoring_application(write_ifc, data, expected):
    assert index(write_ifc, data)["authoring_app"] == expected


@pytest.mark.parametrize("data, name", [
    ("#1=IFCPROJECT('a',$,'First',$,$,$,$,$,$);\n#2=IFCPROJECT('b',$,'Second',$,$,$,$,$,$);", "Second"),
    ("#1=IFCPROJECT('a',$,'First',$,$,$,$,$,$);\n#2=IFCPROJECT('b',$,$,$,$,$,$,$,$);", "First"),
    ("#1=IFCPROJECT('a',$,IFCLABEL('x'),$,$,$,$,$,$);", None),
    ("#1=IFCPROJECT($,$,'NoGuid',$,$,$,$,$,$);", "NoGuid"),
    ("#1=IFCPROJECT('a',$);", None),
])
def test_project_name(write_ifc, data, name):
    assert index(write_ifc, data)["project_name"] == name


# ---------------------------------------------------------------- scanned range


def test_comments_between_instances_are_skipped(write_ifc):
    r = index(write_ifc, """
#1=IFCWALL('a',$,'W1',$,$,$,$,$,$);
/* a comment; with #2=IFCWALL('x',$,$,$,$,$,$,$,$); inside */
#2=IFCWALL('b',$,'W2',$,$,$,$,$,$);
/* first */ /* second */
#3=IFCSLAB('c',$,'S1',$,$,$,$,$,$);
""")
    assert r["products"]["step_id"] == [1, 2, 3]


def test_endsec_inside_a_string_does_not_end_the_scan(write_ifc):
    r = index(write_ifc, """
#1=IFCWALL('a',$,'ENDSEC;',$,$,$,$,$,$);
#2=IFCWALL('b',$,'W2',$,$,$,$,$,$);
""")
    assert r["products"]["name"] == ["ENDSEC;", "W2"]


def test_data_inside_a_header_string_is_not_the_data_section(write_ifc):
    text = model("#1=IFCWALL('a',$,'W1',$,$,$,$,$,$);").replace(
        "FILE_DESCRIPTION((''),'2;1');", "FILE_DESCRIPTION(('see DATA; below'),'2;1');")
    r = _core.index_ifc(write_ifc(text, raw=True))
    assert r["products"]["step_id"] == [1]
    assert r["schema"] == "IFC4"


def test_scan_ends_at_endsec(write_ifc):
    text = model("#1=IFCWALL('a',$,$,$,$,$,$,$,$);") + "DATA;\n#2=IFCWALL('b',$,$,$,$,$,$,$,$);\nENDSEC;\n"
    assert _core.index_ifc(write_ifc(text, raw=True))["products"]["step_id"] == [1]


def test_stray_token_ends_the_scan(write_ifc):
    r = index(write_ifc, """
#1=IFCWALL('a',$,$,$,$,$,$,$,$);
stray;
#2=IFCWALL('b',$,$,$,$,$,$,$,$);
""")
    assert r["products"]["step_id"] == [1]


def test_unparsable_statement_is_skipped(write_ifc):
    r = index(write_ifc, """
#1=IFCWALL('a',$,$,$,$,$,$,$,$)x;
#2=(IFCWALL('x',$,$,$,$,$,$,$,$) IFCROOT());
#3=IFCWALL('c',$,$,$,$,$,$,$,$);
""")
    assert r["products"]["step_id"] == [3]


def test_unterminated_string_ends_the_scan(write_ifc):
    r = index(write_ifc, """
#1=IFCWALL('a',$,$,$,$,$,$,$,$);
#2=IFCWALL('b,$,$,$,$,$,$,$,$);
""")
    assert r["products"]["step_id"] == [1]


def test_file_without_data_section(write_ifc):
    data = b"#1=IFCWALL('a',$,$,$,$,$,$,$,$);\n#2=IFCSLAB('b',$,$,$,$,$,$,$,$);\n"
    assert _core.index_ifc(write_ifc(data, raw=True))["products"]["step_id"] == [1, 2]
    assert _core.index_ifc(write_ifc(b"ISO-10303-21;\nHEADER;\nENDSEC;\n", raw=True))["products"]["step_id"] == []


def test_truncated_file(write_ifc):
    text = model("#1=IFCWALL('a',$,'W1',$,$,$,$,$,$);\n#2=IFCWALL('b',$,'W2',$,$,$,$,$,$);")
    cut = text[: text.index("#2=") + 12]
    assert _core.index_ifc(write_ifc(cut, raw=True))["products"]["step_id"] == [1]


# ---------------------------------------------------------------- unit scale

UNITS = """
#1=IFCSIUNIT(*,.AREAUNIT.,$,.SQUARE_METRE.);
#2=IFCSIUNIT(*,.LENGTHUNIT.,{prefix},{name});
#3=IFCUNITASSIGNMENT((#1,#2));
"""

PREFIXES = {
    "EXA": 1e18, "PETA": 1e15, "TERA": 1e12, "GIGA": 1e9, "MEGA": 1e6, "KILO": 1000.0, "HECTO": 100.0,
    "DECA": 10.0, "DECI": 0.1, "CENTI": 0.01, "MILLI": 0.001, "MICRO": 1e-6, "NANO": 1e-9, "PICO": 1e-12,
    "FEMTO": 1e-15, "ATTO": 1e-18,
}


@pytest.mark.parametrize("prefix, factor", list(PREFIXES.items()) + [("$", 1.0), (".milli.", 1.0), (".BOGUS.", 1.0)])
def test_unit_prefixes(write_ifc, prefix, factor):
    prefix = f".{prefix}." if prefix.isalpha() else prefix
    r = index(write_ifc, UNITS.format(prefix=prefix, name=".METRE."))
    assert r["unit_scale"] == factor


@pytest.mark.parametrize("prefix, name, scale", [
    ("$", ".METER.", 1.0),
    ("$", ".FOOT.", 0.3048),
    ("$", ".INCH.", 0.0254),
    (".CENTI.", ".FOOT.", 0.3048 * 0.01),
    (".MILLI.", ".INCH.", 0.0254 * 0.001),
    ("$", ".metre.", None),
    ("$", ".YARD.", None),
    ("$", "$", None),
])
def test_unit_names(write_ifc, prefix, name, scale):
    assert index(write_ifc, UNITS.format(prefix=prefix, name=name))["unit_scale"] == scale


@pytest.mark.parametrize("data, scale", [
    pytest.param("""
#5=IFCDIMENSIONALEXPONENTS(1,0,0,0,0,0,0);
#6=IFCSIUNIT(*,.LENGTHUNIT.,$,.METRE.);
#7=IFCMEASUREWITHUNIT(IFCLENGTHMEASURE(0.3048),#6);
#8=IFCCONVERSIONBASEDUNIT(#5,.LENGTHUNIT.,'FOOT',#7);
#9=IFCUNITASSIGNMENT((#8));
""", 0.3048, id="conversion-based-only"),
    pytest.param("""
#1=IFCUNITASSIGNMENT(());
#2=IFCUNITASSIGNMENT((#7));
#7=IFCSIUNIT(*,.LENGTHUNIT.,.MILLI.,.METRE.);
""", 0.001, id="empty-assignment-then-real"),
    pytest.param("""
#1=IFCUNITASSIGNMENT((#7));
#2=IFCUNITASSIGNMENT((#8));
#7=IFCSIUNIT(*,.LENGTHUNIT.,.MILLI.,.METRE.);
#8=IFCSIUNIT(*,.LENGTHUNIT.,.KILO.,.METRE.);
""", 0.001, id="first-assignment-wins"),
    pytest.param("""
#7=IFCSIUNIT(*,.lengthunit.,.CENTI.,.METRE.);
#8=IFCSIUNIT(*,.LENGTHUNIT.,.KILO.,.METRE.);
#9=IFCUNITASSIGNMENT((#99,#7,#8));
""", 0.01, id="type-case-ignored-first-length-unit-wins"),
    pytest.param("""
#7=IFCSIUNIT(*,.LENGTHUNIT.,.CENTI.,.METRE.);
#7=IFCSIUNIT(*,.LENGTHUNIT.,.KILO.,.METRE.);
#9=IFCUNITASSIGNMENT((#7));
""", 1000.0, id="later-unit-with-same-id-replaces"),
    pytest.param("#7=IFCSIUNIT(*,.LENGTHUNIT.,.CENTI.,.METRE.);", None, id="no-assignment"),
    pytest.param("#9=IFCUNITASSIGNMENT((#7));", None, id="no-units"),
    pytest.param("""
#7=IFCSIUNIT(*,.LENGTHUNIT.,.CENTI.,.METRE.);
#9=IFCUNITASSIGNMENT(#7);
""", None, id="units-not-a-list"),
])
def test_unit_assignment(write_ifc, data, scale):
    assert index(write_ifc, data)["unit_scale"] == scale


# ---------------------------------------------------------------- products

WALL = "#1=IFCWALL('2O2Fr$t4X7Zf8NOew3FLOH',#2,'W1',$,$,#3,#4,'T-1',.STANDARD.);"


def test_product_row(write_ifc):
    r = index(write_ifc, WALL)
    assert rows(r["products"]) == [(1, "2O2Fr$t4X7Zf8NOew3FLOH", "IfcWall", "W1", "STANDARD", None, "T-1")]
    assert r["type_counts"] == {"IfcWall": 1}


@pytest.mark.parametrize("data, schema, predefined", [
    ("#1=IFCWALL('g',#2,'W1',$,$,#3,#4,'T-1',$);", "IFC4", None),
    ("#1=IFCWALL('g',#2,'W',$,$,#3,#4,$);", "IFC2X3", None),
    ("#1=IFCBUILDINGELEMENTPROXY('g',#2,'P',$,$,#3,#4,$,.ELEMENT.);", "IFC2X3", None),
    ("#1=IFCBUILDINGELEMENTPROXY('g',#2,'P',$,$,#3,#4,$,.ELEMENT.);", "Ifc2x3", None),
    ("#1=IFCBUILDINGELEMENTPROXY('g',#2,'P',$,$,#3,#4,$,.ELEMENT.);", "IFC4", "ELEMENT"),
    ("#1=IFCBUILDINGELEMENTPROXY('g',#2,'P',$,$,#3,#4,$,.ELEMENT.);", "IFC2X3_TC1", "ELEMENT"),
    ("#1=IFCBUILDINGELEMENTPROXY('g',#2,'P',$,$,#3,#4,$,.ELEMENT.);", "IFC4','IFC2X3", "ELEMENT"),
    ("#1=IFCSTAIR('g',#2,'S',$,$,#3,#4,$,.STRAIGHT_RUN_STAIR.);", "IFC2X3", None),
    ("#1=IFCRAMP('g',#2,'R',$,$,#3,#4,$,.STRAIGHT_RUN_RAMP.);", "IFC2X3", None),
    ("#1=IFCREINFORCINGBAR('g',#2,'R',$,$,#3,#4,$,'s',$,1.,2.,3.,.MAIN.,.PLAIN.);", "IFC2X3", None),
    ("#1=IFCDISTRIBUTIONPORT('g',#2,'P',$,$,#3,#4,.SINK.);", "IFC2X3", None),
    ("#1=IFCDOOR('g',#2,'D',$,$,#3,#4,$,2.,1.,.DOOR.,.SWINGING.,$);", "IFC2X3", "SWINGING"),
    ("#1=IFCWALL('g',#2,'W',$,$,#3,#4,$,.A.,.B.,$);", "IFC4", "B"),
    ("#1=IFCWALL('g',#2,'W',$,$,#3,#4,$,.A.,*);", "IFC4", "A"),
    ("#1=IFCWALL('g',#2,'W',$,$,#3,#4,$,IFCLABEL('x'));", "IFC4", None),
    ("#1=IFCWALL('g',#2,'W',$,$,#3,#4,$,..);", "IFC4", None),
    ("#1=IFCWALL('g');", "IFC4", None),
])
def test_predefined_type(write_ifc, data, schema, predefined):
    r = index(write_ifc, data, schema=f"FILE_SCHEMA(('{schema}'));")
    assert r["products"]["predefined_type"] == [predefined]


def test_predefined_type_that_is_not_utf8(write_ifc):
    text = model("#1=IFCWALL('g',$,'W',$,$,$,$,$,.STAND\xe4RD.);").encode("latin-1")
    assert _core.index_ifc(write_ifc(text, raw=True))["products"]["predefined_type"] == [None]


@pytest.mark.parametrize("data, name, object_type, tag", [
    ("#1=IFCWALL('g',$,'N',$,'OT',$,$,'T',$);", "N", "OT", "T"),
    ("#1=IFCBUILDINGELEMENTPROXY('g',$,IFCLABEL('x'),$,IFCLABEL('y'),$,$,IFCIDENTIFIER('z'),$);", None, None, None),
    ("#1=IFCWALL('g',$,'N',$,'OT');", "N", "OT", None),
    ("#1=IFCWALL('g',$,'N');", "N", None, None),
    ("#1=IFCWALL('g');", None, None, None),
    ("#1=IFCWALL('g',$,'W\\X\\E4nd ''x''',$,'\\X2\\00E4\\X0\\',$,$,'',$);", "W\u00e4nd 'x'", "\u00e4", ""),
])
def test_product_strings(write_ifc, data, name, object_type, tag):
    p = index(write_ifc, data)["products"]
    assert (p["name"], p["object_type"], p["tag"]) == ([name], [object_type], [tag])


def test_decoded_guid(write_ifc):
    r = index(write_ifc, "#1=IFCWALL('a''b\\X\\E4',$,$,$,$,$,$,$,$);")
    assert r["products"]["guid"] == ["a'b\u00e4"]


@pytest.mark.parametrize("data", [
    "#1=IFCWALL($,#2,'W',$,$,$,$,$,$);",
    "#1=IFCWALL(IFCGLOBALLYUNIQUEID('g'),#2,'W',$,$,$,$,$,$);",
    "#1=ifcwall('g',#2,'W',$,$,$,$,$,$);",
    "#1=IfcWall('g',#2,'W',$,$,$,$,$,$);",
    "#1=IFCSPACE('g',#2,'W',$,$,$,$,$,$,$,$);",
    "#1=IFCGRIDAXIS('g',$,$);",
    "#1=IFCBUILDINGSYSTEM('g',#2,'W',$,$,$,$);",
    "#1=IFCFLOWINSTRUMENT('g',#2,'W',$,$,$,$,$,$);",
    "#1=IFCBUILDINGSTOREY('g',#2,'W',$,$,$,$,$,$,0.);",
    "#1=IFCSITE('g',#2,'W',$,$,$,$,$,$,$,$,$,$,$);",
])
def test_not_a_product(write_ifc, data):
    r = index(write_ifc, data)
    assert r["products"]["step_id"] == []
    assert r["type_counts"] == {}


def test_type_counts_and_entity_column(write_ifc):
    r = index(write_ifc, """
#1=IFCWALL('a',$,$,$,$,$,$,$,$);
#2=IFCSLAB('b',$,$,$,$,$,$,$,$);
#3=IFCWALL('c',$,$,$,$,$,$,$,$);
#4=IFCWALL($,$,$,$,$,$,$,$,$);
""")
    assert r["type_counts"] == {"IfcWall": 2, "IfcSlab": 1}
    assert r["products"]["entity"] == ["IfcWall", "IfcSlab", "IfcWall"]


# The product types in catalogue order, then the catalogued types that are not products.
PRODUCT_TYPES = """
IfcWall IfcWallStandardCase IfcWallElementedCase IfcCurtainWall IfcSlab IfcSlabStandardCase
IfcSlabElementedCase IfcPlate IfcPlateStandardCase IfcBeam IfcBeamStandardCase IfcColumn
IfcColumnStandardCase IfcMember IfcMemberStandardCase IfcFooting IfcPile IfcDoor IfcDoorStandardCase
IfcWindow IfcWindowStandardCase IfcOpeningElement IfcVoidingFeature IfcSurfaceFeature IfcStair
IfcStairFlight IfcRamp IfcRampFlight IfcRailing IfcRoof IfcCovering IfcBuildingElementProxy
IfcBuildingElementPart IfcElementAssembly IfcTransportElement IfcAnnotation IfcVirtualElement
IfcDiscreteAccessory IfcFastener IfcMechanicalFastener IfcReinforcingBar IfcReinforcingMesh IfcTendon
IfcTendonAnchor IfcDistributionElement IfcDistributionFlowElement IfcDistributionControlElement
IfcDistributionPort IfcFlowFitting IfcFlowSegment IfcFlowTerminal IfcFlowController IfcFlowMovingDevice
IfcFlowStorageDevice IfcFlowTreatmentDevice IfcEnergyConversionDevice IfcPipeFitting IfcPipeSegment
IfcDuctFitting IfcDuctSegment IfcDuctSilencer IfcCableCarrierFitting IfcCableCarrierSegment
IfcCableFitting IfcCableSegment IfcValve IfcFlowValve IfcSanitaryTerminal IfcLightFixture IfcOutlet
IfcSwitchingDevice IfcElectricAppliance IfcElectricDistributionBoard IfcElectricFlowStorageDevice
IfcAirTerminal IfcAirTerminalBox IfcDamper IfcFilter IfcBoiler IfcBurner IfcChiller IfcCompressor
IfcCondenser IfcCoolingTower IfcEvaporator IfcFan IfcHeatExchanger IfcHumidifier IfcMotorConnection
IfcPump IfcTank IfcUnitaryEquipment IfcSensor IfcActuator IfcController IfcAlarm IfcFlowMeter
IfcProtectiveDevice IfcProtectiveDeviceTrippingUnit IfcJunctionBox IfcCommunicationsAppliance
IfcAudioVisualAppliance IfcFireSuppressionTerminal IfcMedicalDevice IfcMobileTelecommunicationsAppliance
IfcSolarDevice IfcStackTerminal IfcSpaceHeater IfcWasteTerminal IfcUnitaryControlElement IfcLamp IfcCoil
IfcGrid IfcFurnishingElement IfcFurniture IfcSystemFurnitureElement IfcEarthworksCut IfcEarthworksFill
IfcEarthworksElement IfcKerb IfcPavement IfcRail IfcRoad IfcBridge IfcBridgePart IfcMarineFacility
IfcMarinePart
""".split()
NOT_PRODUCTS = """
IfcBuildingSystem IfcGridAxis IfcBuildingStorey IfcSite IfcBuilding IfcProject IfcApplication
IfcRelContainedInSpatialStructure IfcRelAggregates
""".split()


def test_every_catalogued_product_type(write_ifc):
    assert len(PRODUCT_TYPES) == 127 and len(PRODUCT_TYPES) + len(NOT_PRODUCTS) == 136
    data = "\n".join(f"#{i + 1}={t.upper()}('g{i}',$,'{t}',$,$,$,$,$,$);" for i, t in enumerate(PRODUCT_TYPES + NOT_PRODUCTS))
    r = index(write_ifc, data)
    assert r["products"]["entity"] == PRODUCT_TYPES
    assert r["products"]["name"] == PRODUCT_TYPES
    assert r["type_counts"] == {t: 1 for t in PRODUCT_TYPES}


# ---------------------------------------------------------------- spatial structure

SPATIAL = """
#1=IFCPROJECT('proj',$,'P',$,$,$,$,$,$);
#2=IFCSITE('site',$,'S',$,$,$,$,$,.ELEMENT.,$,$,$,$,$);
#3=IFCBUILDING('bldg',$,'B',$,$,$,$,$,.ELEMENT.,$,$,$);
#4=IFCBUILDINGSTOREY('st1',$,'Level 1',$,$,$,$,'L1',.ELEMENT.,3000.);
#5=IFCBUILDINGSTOREY('st2',$,'Level 2',$,$,$,$,'L2',.ELEMENT.,$);
#6=IFCSPACE('sp1',$,'Room',$,$,$,$,$,.ELEMENT.,.INTERNAL.,$);
#10=IFCWALL('w10',$,$,$,$,$,$,$,$);
#11=IFCWALL('w11',$,$,$,$,$,$,$,$);
#12=IFCWALL('w12',$,$,$,$,$,$,$,$);
"""


def test_storeys(write_ifc):
    r = index(write_ifc, SPATIAL)
    assert rows(r["storeys"]) == [(4, "st1", "Level 1", 3000.0, None), (5, "st2", "Level 2", None, None)]
    assert rows(r["sites"]) == [(2, "site")]
    assert rows(r["buildings"]) == [(3, "bldg")]
    assert rows(r["projects"]) == [(1, "proj")]
    assert rows(r["spaces"]) == [(6, "sp1")]


@pytest.mark.parametrize("tail, elevation", [
    ("$,'L1',.ELEMENT.,3000.", 3000.0),
    ("$,'L1',.ELEMENT.,3000", 3000.0),
    ("$,'L1',.ELEMENT.,-2.5E3", -2500.0),
    ("$,'L1',.ELEMENT.,$", None),
    ("12.,$,.ELEMENT.,$", 12.0),
    ("12.,#7,.ELEMENT.,*", None),
    ("$,'L1',.ELEMENT.,IFCLENGTHMEASURE(3.)", None),
    ("$,$,$,$", None),
])
def test_storey_elevation(write_ifc, tail, elevation):
    r = index(write_ifc, f"#4=IFCBUILDINGSTOREY('g',#2,'Level 1',$,$,#5,{tail});")
    assert r["storeys"]["elevation"] == [elevation]


def test_storey_without_string_guid_is_left_out_with_its_containment(write_ifc):
    r = index(write_ifc, """
#4=IFCBUILDINGSTOREY($,$,'Level 1',$,$,$,$,$,.ELEMENT.,0.);
#5=IFCBUILDINGSTOREY('st',$,'Level 2',$,$,$,$,$,.ELEMENT.,0.);
#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('r1',$,$,$,(#10),#4);
#21=IFCRELCONTAINEDINSPATIALSTRUCTURE('r2',$,$,$,(#11),#5);
""")
    assert r["storeys"]["step_id"] == [5]
    assert rows(r["contained_in"]) == [(11, 5)]


@pytest.mark.parametrize("rels, pairs", [
    ("#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(#10,#11),#4);", [(10, 4), (11, 4)]),
    ("#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(#10,#11),#3);", []),
    ("#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(#10),#2);", []),
    ("#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(#10),#99);", []),
    ("#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(#10),#4);\n"
     "#21=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(#10,#12),#5);", [(10, 4), (10, 5), (12, 5)]),
    ("#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(#10,$,'x',(#13),#11),#4);", [(10, 4), (11, 4)]),
    ("#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,#10,#4);", []),
    ("#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(#10),(#4));", []),
    ("#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(#10));", []),
    ("#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(),#4);", []),
    ("#20=IfcRelContainedInSpatialStructure('g',#2,$,$,(#10),#4);", []),
], ids=["storey", "building", "site", "unknown", "two-storeys", "non-refs-dropped", "not-a-list",
        "structure-not-a-ref", "too-few", "empty-list", "mixed-case"])
def test_containment(write_ifc, rels, pairs):
    r = index(write_ifc, SPATIAL + rels)
    assert rows(r["contained_in"]) == pairs


def test_containment_without_storeys(write_ifc):
    r = index(write_ifc, """
#3=IFCBUILDING('bldg',$,'B',$,$,$,$,$,.ELEMENT.,$,$,$);
#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(#10,#11),#3);
""")
    assert r["contained_in"] == {"child": [], "structure": []}


@pytest.mark.parametrize("rels, aggregates, storey_building", [
    ("#30=IFCRELAGGREGATES('g',#2,$,$,#3,(#4,#5));", [(4, 3), (5, 3)], [(4, 3), (5, 3)]),
    ("#30=IFCRELAGGREGATES('g',#2,$,$,#3,(#40,#41));", [(40, 3), (41, 3)], [(40, 3), (41, 3)]),
    ("#30=IFCRELAGGREGATES('g',#2,$,$,#1,(#2));\n#31=IFCRELAGGREGATES('g',#2,$,$,#2,(#3));\n"
     "#32=IFCRELAGGREGATES('g',#2,$,$,#3,(#4,#5));\n#33=IFCRELAGGREGATES('g',#2,$,$,#4,(#6));",
     [(2, 1), (3, 2), (4, 3), (5, 3), (6, 4)], [(4, 3), (5, 3)]),
    ("#30=IFCRELAGGREGATES('g',#2,$,$,#3,$);", [], []),
    ("#30=IFCRELAGGREGATES('g',#2,$,$,(#3),(#4));", [], []),
    ("#30=IFCRELAGGREGATES('g',#2,$,$,#3,#4);", [], []),
    ("#30=IFCRELAGGREGATES('g',#2,$,$,#3);", [], []),
    ("#30=IFCRELAGGREGATES('g',#2,$,$,#99,(#4));", [(4, 99)], []),
])
def test_aggregation(write_ifc, rels, aggregates, storey_building):
    r = index(write_ifc, SPATIAL + rels)
    assert rows(r["aggregates"]) == aggregates
    assert rows(r["storey_building"]) == storey_building
    assert r["storeys"]["building_step_id"] == [None, None]


def test_storey_building_needs_a_reported_building(write_ifc):
    r = index(write_ifc, """
#3=IFCBUILDING($,$,'B',$,$,$,$,$,.ELEMENT.,$,$,$);
#30=IFCRELAGGREGATES('g',#2,$,$,#3,(#4));
""")
    assert rows(r["aggregates"]) == [(4, 3)]
    assert rows(r["storey_building"]) == []


def test_spatial_maps(write_ifc):
    r = index(write_ifc, """
#1=IFCSITE('s1',$,$,$,$,$,$,$,$,$,$,$,$,$);
#2=IFCSITE('s2',$,$,$,$,$,$,$,$,$,$,$,$,$);
#3=IFCSITE($,$,$,$,$,$,$,$,$,$,$,$,$,$);
#4=IFCSPACE('a',$,$,$,$,$,$,$,$,$,$);
#4=IFCSPACE('b',$,$,$,$,$,$,$,$,$,$);
#5=IFCPROJECT('p',$,IFCLABEL('x'),$,$,$,$,$,$);
#6=IFCBUILDING('b\\X\\E4',$,$,$,$,$,$,$,$,$,$,$);
""")
    assert collections.Counter(rows(r["sites"])) == collections.Counter([(1, "s1"), (2, "s2")])
    assert rows(r["spaces"]) == [(4, "b")]
    assert rows(r["projects"]) == [(5, "p")]
    assert rows(r["buildings"]) == [(6, "b\u00e4")]
    assert r["project_name"] is None


def test_many_map_entries_stay_paired(write_ifc):
    data = "\n".join(f"#{i}=IFCSPACE('g{i}',$,$,$,$,$,$,$,$,$,$);" for i in range(1, 3001))
    r = index(write_ifc, data)
    assert sorted(rows(r["spaces"])) == [(i, f"g{i}") for i in range(1, 3001)]


def test_parallel_calls_agree(write_ifc):
    import concurrent.futures

    path = write_ifc(SPATIAL + "\n".join(f"#{100 + i}=IFCSLAB('s{i}',$,$,$,$,$,$,$,.FLOOR.);" for i in range(2000)))
    expected = _core.index_ifc(path)
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        results = list(pool.map(lambda _: _core.index_ifc(path), range(8)))
    for r in results:
        for key in TABLE_KEYS:
            if key in ("sites", "buildings", "projects", "spaces"):
                assert sorted(rows(r[key])) == sorted(rows(expected[key]))
            else:
                assert r[key] == expected[key]
        assert r["type_counts"] == expected["type_counts"]


@pytest.mark.parametrize("id_text, step_id", [
    ("18446744073709551615", 18446744073709551615),
    ("9999999999999999999", 9999999999999999999),
    ("000000000000000000000042", 42),
    ("18446744073709551616", None),
    ("99999999999999999999", None),
])
def test_instance_ids_up_to_64_bits(write_ifc, id_text, step_id):
    r = index(write_ifc, f"#{id_text}=IFCWALL('a',$,$,$,$,$,$,$,$);\n#7 = IFCWALL ( 'b' ) ;")
    assert r["products"]["step_id"] == ([step_id] if step_id is not None else []) + [7]


@pytest.mark.parametrize("type_text", ["IFCWALL", "IFCWALLSTANDARDCASE", "IFCWALLSTANDARDCASEXYZ0123456789_LONG"])
def test_type_names_of_any_length(write_ifc, type_text):
    r = index(write_ifc, f"#1={type_text}('a',$,$,$,$,$,$,$,$);\n#2={type_text}\xe4('b',$,$,$,$,$,$,$,$);")
    expected = {"IFCWALL": ["IfcWall"], "IFCWALLSTANDARDCASE": ["IfcWallStandardCase"]}.get(type_text, [])
    assert r["products"]["entity"] == expected
