"""index_ifc: header facts, products, spatial structure and the result document."""

import collections

import pytest

from conftest import ifc_text
from quarnel import _core


def header(schema="FILE_SCHEMA(('IFC4'));", file_name="FILE_NAME('t.ifc','2026',(''),(''),'pre','Origin','');"):
    return f"ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\n{file_name}\n{schema}\nENDSEC;\nDATA;\n"


def model(data, **header_parts):
    return ifc_text(data, header(**header_parts))


def index(write_ifc, data, **header_parts):
    return _core.index_ifc(write_ifc(model(data, **header_parts), raw=True))


def rows(table):
    """The rows of a column table, as tuples in list order."""
    return list(zip(*table.values()))


@pytest.mark.parametrize("schema_line, expected", [
    ("FILE_SCHEMA(('IFC4'));", "IFC4"),
    ("FILE_SCHEMA ( ( 'IFC4X3_ADD2' ) ) ;", "IFC4X3_ADD2"),
    ("FILE_SCHEMA(('IFC4','IFC2X3'));", "IFC4IFC2X3"),
    ("FILE_SCHEMA(('IFC2X3 extra'));", "IFC2X3"),
    ("FILE_SCHEMA(('\u3000IFC4\u2003X'));", "IFC4"),
    ("FILE_SCHEMA(('IFC\udcff4'));", ""),
    ("FILE_SCHEMA(( ));", ""),
    ("FILE_SCHEMA;", ""),
    ("", ""),
], ids=["plain", "spaces", "two-schemas", "first-token", "unicode-spaces", "not-utf8", "empty", "no-parentheses",
        "absent"])
def test_schema(write_ifc, schema_line, expected):
    text = model("", schema=schema_line).encode("utf-8", "surrogateescape")
    assert _core.index_ifc(write_ifc(text, raw=True))["schema"] == expected


@pytest.mark.parametrize("start, found", [(65525, True), (65526, False)])
def test_schema_keyword_must_end_inside_64_kib(write_ifc, start, found):
    prefix = "ISO-10303-21;\nHEADER;\n"
    head = prefix + " " * (start - len(prefix)) + "FILE_SCHEMA(('IFC4'));\nENDSEC;\nDATA;\n"
    text = ifc_text("#1=IFCWALL('g',$,$,$,$,$,$,$,$);", head)
    assert text.index("FILE_SCHEMA") == start
    r = _core.index_ifc(write_ifc(text, raw=True))
    assert (r["schema"], r["products"]["step_id"]) == ("IFC4" if found else "", [1])


@pytest.mark.parametrize("file_name, expected", [
    ("FILE_NAME('t','x',(''),(''),'pre','Origin','');", "Origin"),
    ("FILE_NAME('A (test)','x',('('),(')'),'pre','Origin','');", "Origin"),
    ("FILE_NAME('it''s (','x',(''),(''),'pre','Ori''gin','');", "Ori'gin"),
    ("FILE_NAME('t','x',(''),(''),'pre','','');", None),
    ("FILE_NAME('t','x',(''),(''),'pre');", None),
    ("FILE_NAME('t','x',(''),(''),'pre','Origin',''", None),
    ("FILE_NAME('t,'x',(''),(''),'pre','Origin','');", None),
    ("", None),
], ids=["plain", "parens-in-strings", "doubled-quotes", "empty-string", "too-few", "never-closes", "unclosed-string",
        "absent"])
def test_file_name_originating_system(write_ifc, file_name, expected):
    r = index(write_ifc, "#1=IFCWALL('g',$,'W',$,$,$,$,$,$);", file_name=file_name)
    assert (r["authoring_app"], r["products"]["step_id"]) == (expected, [1])


MILLIMETRE = "#7=IFCSIUNIT(*,.LENGTHUNIT.,.MILLI.,.METRE.);"
CENTIMETRE, KILOMETRE = MILLIMETRE.replace("MILLI", "CENTI"), "#8=IFCSIUNIT(*,.LENGTHUNIT.,.KILO.,.METRE.);"


# The authoring application named in the data wins over the header's; the last project name counts.
@pytest.mark.parametrize("key, data, expected", [
    ("authoring_app", "#1=IFCAPPLICATION(#2,'1.0','Full Name','ID');", "Full Name"),
    ("authoring_app", "#1=IFCAPPLICATION(#2,'1.0',$,'ID');", "Origin"),
    ("authoring_app", "#1=IFCAPPLICATION(#2,'1.0','First','ID');\n#3=IFCAPPLICATION(#2,'1.0','Second','ID');", "Second"),
    ("authoring_app", "#1=IFCAPPLICATION(#2,'1.0','First','ID');\n#3=IFCAPPLICATION(#2,'1.0',$,'ID');", "First"),
    ("authoring_app", "#1=IfcApplication(#2,'1.0','Mixed','ID');", "Origin"),
    ("project_name", "#1=IFCPROJECT('a',$,'First',$,$,$,$,$,$);\n#2=IFCPROJECT('b',$,'Second',$,$,$,$,$,$);", "Second"),
    ("project_name", "#1=IFCPROJECT('a',$,'First',$,$,$,$,$,$);\n#2=IFCPROJECT('b',$,$,$,$,$,$,$,$);", "First"),
    ("project_name", "#1=IFCPROJECT('a',$,IFCLABEL('x'),$,$,$,$,$,$);", None),
    *[("unit_scale", f"#1=IFCSIUNIT(*,.AREAUNIT.,$,.SQUARE_METRE.);#2=IFCSIUNIT(*,.LENGTHUNIT.,{prefix},{name});"
       "#3=IFCUNITASSIGNMENT((#1,#2));", scale) for prefix, name, scale in [
        ("$", ".METER.", 1.0), (".MILLI.", ".METRE.", 0.001), (".milli.", ".METRE.", 1.0), ("$", ".metre.", None),
        (".CENTI.", ".FOOT.", 0.3048 * 0.01), (".MILLI.", ".INCH.", 0.0254 * 0.001), ("$", "$", None)]],
    # The first assignment with a length unit counts (conversion-based units: test_length_units).
    *[pytest.param("unit_scale", data, scale, id=i) for i, data, scale in [
        ("empty-assignment-then-real", "#1=IFCUNITASSIGNMENT(());#2=IFCUNITASSIGNMENT((#7));" + MILLIMETRE, 0.001),
        ("first-assignment-wins", "#1=IFCUNITASSIGNMENT((#7));#2=IFCUNITASSIGNMENT((#8));" + MILLIMETRE + KILOMETRE,
         0.001),
        ("type-case-ignored-first-length-unit-wins", "#7=IFCSIUNIT(*,.lengthunit.,.CENTI.,.METRE.);" + KILOMETRE
         + "#9=IFCUNITASSIGNMENT((#99,#7,#8));", 0.01),
        ("later-unit-with-same-id-replaces", CENTIMETRE + "#7=IFCSIUNIT(*,.LENGTHUNIT.,.KILO.,.METRE.);"
         "#9=IFCUNITASSIGNMENT((#7));", 1000.0),
        ("no-assignment", CENTIMETRE, None), ("no-units", "#9=IFCUNITASSIGNMENT((#7));", None),
        ("units-not-a-list", CENTIMETRE + "#9=IFCUNITASSIGNMENT(#7);", None)]],
])
def test_facts_from_the_data(write_ifc, key, data, expected):
    assert index(write_ifc, data)[key] == expected


def test_products_in_file_order_and_type_counts(write_ifc):
    r = index(write_ifc, """
#30=IFCWALL('2O2Fr$t4X7Zf8NOew3FLOH',#2,'W1',$,'OT',#3,#4,'T-1',.STANDARD.);
#2=IFCSLAB('a''b\\X\\E4',$,$,$,$,$,$,$,$);
#10=IFCWALL('c',$,$,$,$,$,$,$,$);
#4=IFCWALL($,$,$,$,$,$,$,$,$);
""")
    assert rows(r["products"]) == [(30, "2O2Fr$t4X7Zf8NOew3FLOH", "IfcWall", "W1", "STANDARD", "OT", "T-1"),
                                   (2, "a'b\u00e4", "IfcSlab", None, None, None, None),
                                   (10, "c", "IfcWall", None, None, None, None)]
    assert r["type_counts"] == {"IfcWall": 2, "IfcSlab": 1}


@pytest.mark.parametrize("data, schema, predefined", [
    ("#1=IFCWALL('g',#2,'W1',$,$,#3,#4,'T-1',$);", "IFC4", None),
    ("#1=IFCBUILDINGELEMENTPROXY('g',#2,'P',$,$,#3,#4,$,.ELEMENT.);", "IFC2X3", None),
    ("#1=IFCBUILDINGELEMENTPROXY('g',#2,'P',$,$,#3,#4,$,.ELEMENT.);", "Ifc2x3", None),
    ("#1=IFCBUILDINGELEMENTPROXY('g',#2,'P',$,$,#3,#4,$,.ELEMENT.);", "IFC4", "ELEMENT"),
    ("#1=IFCBUILDINGELEMENTPROXY('g',#2,'P',$,$,#3,#4,$,.ELEMENT.);", "IFC2X3_TC1", "ELEMENT"),
    ("#1=IFCSTAIR('g',#2,'S',$,$,#3,#4,$,.STRAIGHT_RUN_STAIR.);", "IFC2X3", None),
    ("#1=IFCDOOR('g',#2,'D',$,$,#3,#4,$,2.,1.,.DOOR.,.SWINGING.,$);", "IFC2X3", "SWINGING"),
    ("#1=IFCWALL('g',#2,'W',$,$,#3,#4,$,.A.,.B.,$);", "IFC4", "B"),
    ("#1=IFCWALL('g',#2,'W',$,$,#3,#4,$,.A.,*);", "IFC4", "A"),
    ("#1=IFCWALL('g',#2,'W',$,$,#3,#4,$,IFCLABEL('x'));", "IFC4", None),
    ("#1=IFCWALL('g',$,'W',$,$,$,$,$,.STAND\xe4RD.);", "IFC4", None),  # not UTF-8
])
def test_predefined_type(write_ifc, data, schema, predefined):
    r = index(write_ifc, data, schema=f"FILE_SCHEMA(('{schema}'));")
    assert r["products"]["predefined_type"] == [predefined]


@pytest.mark.parametrize("data, name, object_type, tag", [
    ("#1=IFCBUILDINGELEMENTPROXY('g',$,IFCLABEL('x'),$,IFCLABEL('y'),$,$,IFCIDENTIFIER('z'),$);", None, None, None),
    ("#1=IFCWALL('g',$,'N',$,'OT');", "N", "OT", None),
    ("#1=IFCWALL('g');", None, None, None),
    ("#1=IFCWALL('g',$,'W\\X\\E4nd ''x''',$,'\\X2\\00E4\\X0\\',$,$,'',$);", "W\u00e4nd 'x'", "\u00e4", ""),
])
def test_product_strings(write_ifc, data, name, object_type, tag):
    p = index(write_ifc, data)["products"]
    assert (p["name"], p["object_type"], p["tag"]) == ([name], [object_type], [tag])


@pytest.mark.parametrize("data", [
    "#1=IFCWALL($,#2,'W',$,$,$,$,$,$);",
    "#1=IFCWALL(IFCGLOBALLYUNIQUEID('g'),#2,'W',$,$,$,$,$,$);",
    "#1=ifcwall('g',#2,'W',$,$,$,$,$,$);",
    "#1=IFCSPACE('g',#2,'W',$,$,$,$,$,$,$,$);",
    "#1=IFCGRIDAXIS('g',$,$);",
])
def test_not_a_product(write_ifc, data):
    r = index(write_ifc, data)
    assert r["products"]["step_id"] == []
    assert r["type_counts"] == {}


# The product types in catalogue order, then the catalogued types that are not products.
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


@pytest.mark.parametrize("tail, elevation", [
    ("$,'L1',.ELEMENT.,3000.", 3000.0),
    ("$,'L1',.ELEMENT.,$", None),
    ("12.,$,.ELEMENT.,$", 12.0),
    ("12.,#7,.ELEMENT.,*", None),
    ("$,'L1',.ELEMENT.,IFCLENGTHMEASURE(3.)", None),
])
def test_storey_elevation(write_ifc, tail, elevation):
    r = index(write_ifc, f"#4=IFCBUILDINGSTOREY('g',#2,'Level 1',$,$,#5,{tail});")
    assert r["storeys"]["elevation"] == [elevation]


def test_spatial_element_without_string_guid_is_left_out_with_its_links(write_ifc):
    r = index(write_ifc, """
#3=IFCBUILDING($,$,'B',$,$,$,$,$,.ELEMENT.,$,$,$);
#4=IFCBUILDINGSTOREY($,$,'Level 1',$,$,$,$,$,.ELEMENT.,0.);
#5=IFCBUILDINGSTOREY('st',$,'Level 2',$,$,$,$,$,.ELEMENT.,0.);
#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('r1',$,$,$,(#10),#4);
#21=IFCRELCONTAINEDINSPATIALSTRUCTURE('r2',$,$,$,(#11),#5);
#30=IFCRELAGGREGATES('g',#2,$,$,#3,(#5));
""")
    assert r["storeys"]["step_id"] == [5]
    assert rows(r["contained_in"]) == [(11, 5)]
    assert (rows(r["aggregates"]), rows(r["storey_building"])) == ([(5, 3)], [])


@pytest.mark.parametrize("rels, pairs", [
    ("#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(#10,#11),#4);", [(10, 4), (11, 4)]),
    ("#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(#10,#11),#3);", []),
    ("#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(#10),#4);\n"
     "#21=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(#10,#12),#5);", [(10, 4), (10, 5), (12, 5)]),
    ("#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(#10,$,'x',(#13),#11),#4);", [(10, 4), (11, 4)]),
    ("#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,#10,#4);", []),
    ("#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(#10),(#4));", []),
    ("#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('g',#2,$,$,(),#4);", []),
    ("#20=IfcRelContainedInSpatialStructure('g',#2,$,$,(#10),#4);", []),
], ids=["storey", "building", "two-storeys", "non-refs-dropped", "not-a-list", "structure-not-a-ref", "empty-list",
        "mixed-case"])
def test_containment(write_ifc, rels, pairs):
    r = index(write_ifc, SPATIAL + rels)
    assert rows(r["contained_in"]) == pairs


@pytest.mark.parametrize("rels, aggregates, storey_building", [
    ("#30=IFCRELAGGREGATES('g',#2,$,$,#3,(#4,#5));", [(4, 3), (5, 3)], [(4, 3), (5, 3)]),
    ("#30=IFCRELAGGREGATES('g',#2,$,$,#3,(#40,#41));", [(40, 3), (41, 3)], [(40, 3), (41, 3)]),
    ("#30=IFCRELAGGREGATES('g',#2,$,$,#1,(#2));\n#31=IFCRELAGGREGATES('g',#2,$,$,#2,(#3));\n"
     "#32=IFCRELAGGREGATES('g',#2,$,$,#3,(#4,#5));\n#33=IFCRELAGGREGATES('g',#2,$,$,#4,(#6));",
     [(2, 1), (3, 2), (4, 3), (5, 3), (6, 4)], [(4, 3), (5, 3)]),
    ("#30=IFCRELAGGREGATES('g',#2,$,$,#3,$);", [], []),
    ("#30=IFCRELAGGREGATES('g',#2,$,$,(#3),(#4));", [], []),
    ("#30=IFCRELAGGREGATES('g',#2,$,$,#3);", [], []),
    ("#30=IFCRELAGGREGATES('g',#2,$,$,#99,(#4));", [(4, 99)], []),
])
def test_aggregation(write_ifc, rels, aggregates, storey_building):
    r = index(write_ifc, SPATIAL + rels)
    assert rows(r["aggregates"]) == aggregates
    assert rows(r["storey_building"]) == storey_building
    assert rows(r["storeys"]) == [(4, "st1", "Level 1", 3000.0, None), (5, "st2", "Level 2", None, None)]


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


@pytest.mark.parametrize("id_text, step_id", [
    ("18446744073709551615", 18446744073709551615),
    ("000000000000000000000042", 42),
    ("18446744073709551616", None),
])
def test_instance_ids_up_to_64_bits(write_ifc, id_text, step_id):
    r = index(write_ifc, f"#{id_text}=IFCWALL('a',$,$,$,$,$,$,$,$);\n#7 = IFCWALL ( 'b' ) ;")
    assert r["products"]["step_id"] == ([step_id] if step_id is not None else []) + [7]


@pytest.mark.parametrize("type_text", ["IFCWALL", "IFCWALLSTANDARDCASE", "IFCWALLSTANDARDCASEXYZ0123456789_LONG"])
def test_type_names_of_any_length(write_ifc, type_text):
    r = index(write_ifc, f"#1={type_text}('a',$,$,$,$,$,$,$,$);\n#2={type_text}\xe4('b',$,$,$,$,$,$,$,$);")
    expected = {"IFCWALL": ["IfcWall"], "IFCWALLSTANDARDCASE": ["IfcWallStandardCase"]}.get(type_text, [])
    assert r["products"]["entity"] == expected
