"""The complete element tables: element quantities with complex quantities and units, the
columns of elements, wide, and hostile models (properties of every kind with type inheritance,
places of every shape: test_whole_tables)."""
from collections import Counter

import pytest

import quarnel
from conftest import HEADER, SAMPLE, ifc_text
from hostile_files import data_file

TABLES = ["properties", "element_quantities", "elements"]


def g(name):
    """A 22-character GlobalId made of a readable name."""
    return (name + "_" * 22)[:22]


MODEL = f"""
#1=IFCPROJECT('{g("project")}',$,'P',$,$,$,$,$,#90);
#2=IFCSITE('{g("site")}',$,'S',$,$,$,$,$,.ELEMENT.,$,$,$,$,$);
#3=IFCBUILDING('{g("building")}',$,'B',$,$,$,$,$,.ELEMENT.,$,$,$);
#4=IFCBUILDINGSTOREY('{g("storey")}',$,'Level 1',$,$,$,$,$,.ELEMENT.,0.);
#5=IFCRELAGGREGATES('{g("agg1")}',$,$,$,#1,(#2));
#6=IFCRELAGGREGATES('{g("agg2")}',$,$,$,#2,(#3));
#7=IFCRELAGGREGATES('{g("agg3")}',$,$,$,#3,(#4));
#10=IFCWALLSTANDARDCASE('{g("wall")}',$,'W1','Outer wall','Basic',$,$,'T-1',.STANDARD.);
#11=IFCRELCONTAINEDINSPATIALSTRUCTURE('{g("cont")}',$,$,$,(#10),#4);
#12=IFCWALLTYPE('{g("walltype")}',$,'WT-200',$,$,(#20,#60),$,$,$,.STANDARD.);
#13=IFCRELDEFINESBYTYPE('{g("bytype")}',$,$,$,(#10,#14),#12);
#14=IFCWALL('{g("bare")}',$,'W2',$,$,$,$,$,$);
#15=IFCPLATE('{g("plate")}',$,'P1',$,$,$,$,$,$);
#16=IFCRELAGGREGATES('{g("agg4")}',$,$,$,#10,(#15));
#20=IFCPROPERTYSET('{g("typeset")}',$,'Pset_WallCommon',$,(#21,#22));
#21=IFCPROPERTYSINGLEVALUE('FireRating',$,IFCLABEL('F30'),$);
#22=IFCPROPERTYSINGLEVALUE('IsExternal',$,IFCBOOLEAN(.T.),$);
#25=IFCPROPERTYSET('{g("ownset")}',$,'Pset_WallCommon',$,(#26,#27,#28));
#26=IFCPROPERTYSINGLEVALUE('FireRating',$,IFCLABEL('F90'),$);
#27=IFCPROPERTYSINGLEVALUE('Width',$,IFCPOSITIVELENGTHMEASURE(200.),$);
#28=IFCPROPERTYENUMERATEDVALUE('Finish',$,(IFCLABEL('Matt'),IFCLABEL('Gloss')),$);
#40=IFCRELDEFINESBYPROPERTIES('{g("byprops")}',$,$,$,(#10),#25);
#60=IFCELEMENTQUANTITY('{g("typeqto")}',$,'Qto_WallBaseQuantities',$,$,(#61,#62));
#61=IFCQUANTITYLENGTH('Length',$,$,5000.,$);
#62=IFCPHYSICALCOMPLEXQUANTITY('Layer',$,(#63),$,$,$);
#63=IFCQUANTITYAREA('Area',$,#92,2.5,$);
#64=IFCELEMENTQUANTITY('{g("ownqto")}',$,'Qto_WallBaseQuantities',$,$,(#65));
#65=IFCQUANTITYLENGTH('Length',$,$,4000.,$);
#66=IFCRELDEFINESBYPROPERTIES('{g("byqto")}',$,$,$,(#10),#64);
#90=IFCUNITASSIGNMENT((#91));
#91=IFCSIUNIT(*,.LENGTHUNIT.,.MILLI.,.METRE.);
#92=IFCSIUNIT(*,.AREAUNIT.,$,.SQUARE_METRE.);
"""

# (guid, qto, quantity, number, quantity_type, unit, source)
QUANTITY_ROWS = [
    ("wall", "Qto_WallBaseQuantities", "Length", 4000.0, "Length", "MILLIMETRE", "occurrence"),
    ("wall", "Qto_WallBaseQuantities", "Layer.Area", 2.5, "Area", "SQUARE_METRE", "type"),
    ("bare", "Qto_WallBaseQuantities", "Length", 5000.0, "Length", "MILLIMETRE", "type"),
    ("bare", "Qto_WallBaseQuantities", "Layer.Area", 2.5, "Area", "SQUARE_METRE", "type"),
    ("walltype", "Qto_WallBaseQuantities", "Length", 5000.0, "Length", "MILLIMETRE", "type"),
    ("walltype", "Qto_WallBaseQuantities", "Layer.Area", 2.5, "Area", "SQUARE_METRE", "type"),
]


@pytest.fixture(scope="module")
def model(tmp_path_factory):
    path = tmp_path_factory.mktemp("complete") / "model.ifc"
    path.write_bytes(data_file(MODEL.strip().splitlines()))
    return str(path)


def short(guid):
    return guid.rstrip("_") if guid else guid


def test_quantities_of_types_and_complex_quantities_with_units(model):
    t = quarnel.read_table(model, "element_quantities").to_pylist()
    got = Counter((short(r["guid"]), r["qto_name"], r["quantity_name"], r["number"], r["quantity_type"], r["unit"],
                   r["source"]) for r in t)
    assert got == Counter(QUANTITY_ROWS)


# An enumeration is copied as written: a unit whose prefix or name is no UTF-8 is none.
@pytest.mark.parametrize("unit", [b"IFCSIUNIT(*,.LENGTHUNIT.,.MI\xaaLI.,.METRE.)",
                                  b"IFCSIUNIT(*,.LENGTHUNIT.,$,.ME\xaaTRE.)"], ids=["prefix", "name"])
def test_quantity_unit_not_utf8(unit, tmp_path):
    path = tmp_path / "unit.ifc"
    path.write_bytes(data_file([f"#1=IFCWALL('{g('wall')}',$,$,$,$,$,$,$,$);",
                                f"#2=IFCELEMENTQUANTITY('{g('qto')}',$,'Q',$,$,(#3,#4));",
                                "#3=IFCQUANTITYLENGTH('Own',$,#5,1.,$);", "#4=IFCQUANTITYLENGTH('Project',$,$,2.,$);",
                                b"#5=" + unit + b";", "#6=IFCUNITASSIGNMENT((#5));",
                                f"#7=IFCRELDEFINESBYPROPERTIES('{g('rel')}',$,$,$,(#1),#2);"]))
    t = quarnel.read_table(str(path), "element_quantities")
    t.validate(full=True)
    assert sorted((r["quantity_name"], r["unit"]) for r in t.to_pylist()) == [("Own", None), ("Project", None)]


def test_elements_name_type_and_place(model):
    # Places and types of every shape: test_whole_tables.
    rows = {short(r["guid"]): r for r in quarnel.read_table(model, "elements").to_pylist()}
    assert set(rows) == {"site", "building", "storey", "wall", "bare", "plate"}
    assert rows["wall"] | {"guid": None} == dict(
        guid=None, entity="IfcWallStandardCase", name="W1", description="Outer wall", object_type="Basic", tag="T-1",
        predefined_type="STANDARD", type_guid=g("walltype"), type_entity="IfcWallType", type_name="WT-200",
        storey_guid=g("storey"), storey_name="Level 1", building_guid=g("building"), site_guid=g("site"))


def test_wide_has_a_column_per_property_numbers_as_numbers(model):
    t = quarnel.wide(model, entity="ifcwall")
    assert [short(x) for x in t.column("guid").to_pylist()] == ["wall", "bare"]
    row = {name: t.column(name)[0].as_py() for name in t.column_names}
    assert [row[f"Pset_WallCommon.{k}"] for k in ("Width", "FireRating", "Finish")] == [200.0, "F90", "Matt; Gloss"]
    assert t.column("Pset_WallCommon.FireRating").to_pylist() == ["F90", "F30"]
    assert quarnel.wide(model, entity="IfcSlab").num_rows == 0


@pytest.mark.parametrize("which", ["complete", "sample"])  # the sample has a property without a value
def test_wide_columns_are_numbers_where_every_value_is_a_number_or_absent(which, model):
    path = model if which == "complete" else str(SAMPLE)
    t = quarnel.wide(path)
    guids = set(t.column("guid").to_pylist())
    numeric = {}
    for r in quarnel.read_table(path, "properties").to_pylist():
        if r["guid"] in guids:
            key = f"{r['pset_name']}.{r['prop_name']}"
            numeric[key] = numeric.get(key, True) and r["value_index"] is r["role"] is None and (
                r["number"] is not None or r["value"] is None)
    assert {k: t.schema.field(k).type == "double" for k in t.column_names[3:]} == numeric


def test_wide_gives_one_column_to_names_that_join_alike(tmp_path):
    # Set "A.B" with property "C" and set "A" with property "B.C" both make "A.B.C": the column
    # holds the values of the set and property named last, as a dict keyed by the name would.
    path = tmp_path / "alike.ifc"
    path.write_bytes(data_file(wall_with_set("A.B", "#10") + [
        "#10=IFCPROPERTYSINGLEVALUE('C',$,IFCLABEL('first'),$);",
        f"#4=IFCPROPERTYSET('{g('set2')}',$,'A',$,(#11));#5=IFCRELDEFINESBYPROPERTIES('{g('rel2')}',$,$,$,(#1),#4);",
        "#11=IFCPROPERTYSINGLEVALUE('B.C',$,IFCLABEL('second'),$);"]))
    t = quarnel.wide(str(path))
    assert t.column_names == ["guid", "entity", "name", "A.B.C"]
    assert t.column("A.B.C").to_pylist() == ["second"]


def wall_with_set(name, members):
    return [f"#1=IFCWALL('{g('wall')}',$,$,$,$,$,$,$,$);#2=IFCPROPERTYSET('{g('set')}',$,'{name}',$,({members}));",
            f"#3=IFCRELDEFINESBYPROPERTIES('{g('rel')}',$,$,$,(#1),#2);"]


def complex_chain(depth):
    return wall_with_set("Deep", "#10") + [f"#{10 + i}=IFCCOMPLEXPROPERTY('C',$,$,(#{11 + i}));" for i in range(depth)]


def exploding_complex():
    # Each level lists the next twice, and the first contains itself: 2^40 paths without a bound.
    return wall_with_set("Wide", "#10,#100") + [
        f"#4=IFCELEMENTQUANTITY('{g('qto')}',$,'Q',$,$,(#200));#5=IFCRELDEFINESBYPROPERTIES('{g('rel2')}',$,$,$,(#1),#4);",
        "#100=IFCCOMPLEXPROPERTY('Self',$,$,(#100,#100));",
        "#200=IFCPHYSICALCOMPLEXQUANTITY('Self',$,(#200,#200,#201),$,$,$);#201=IFCQUANTITYCOUNT('N',$,$,1.,$);",
        *[f"#{10 + i}=IFCCOMPLEXPROPERTY('C',$,$,(#{11 + i},#{11 + i}));" for i in range(40)],
        "#50=IFCPROPERTYSINGLEVALUE('Leaf',$,IFCLABEL('x'),$);"]


def long_names_down_a_nest():
    # A 2000-byte name containing itself eight times over, and a leaf: every member's path copies the name
    # at each level above it.
    name = "N" * 2000
    lines = [f"#1=IFCWALL('{g('wall')}',$,$,$,$,$,$,$,$);",
             "#2=IFCPROPERTYSET('" + g("set") + "',$,'Long',$,(#10));",
             f"#3=IFCRELDEFINESBYPROPERTIES('{g('rel')}',$,$,$,(#1),#2);",
             "#4=IFCELEMENTQUANTITY('" + g("qto") + "',$,'Q',$,$,(#20));",
             f"#5=IFCRELDEFINESBYPROPERTIES('{g('rel2')}',$,$,$,(#1),#4);",
             f"#10=IFCCOMPLEXPROPERTY('{name}',$,$,(" + "#10," * 8 + "#11));",
             "#11=IFCPROPERTYSINGLEVALUE('Leaf',$,IFCLABEL('x'),$);",
             f"#20=IFCPHYSICALCOMPLEXQUANTITY('{name}',$,(" + "#20," * 8 + "#21),$,$,$);",
             "#21=IFCQUANTITYCOUNT('N',$,$,1.,$);"]
    return lines


def path_bytes(table, column):
    """The bytes of a dictionary column's texts over all rows, counted without making them."""
    import pyarrow.compute as pc
    return sum(pc.sum(pc.take(pc.binary_length(c.dictionary), c.indices)).as_py() or 0
               for c in table.column(column).chunks)


def type_cycles():
    # Types related to themselves and to each other, parents that contain each other.
    return [f"#1=IFCWALL('{g('wall')}',$,$,$,$,$,$,$,$);",
            *[f"#{k}=IFCWALLTYPE('{g(name)}',$,$,$,$,(#5),$,$,$,.STANDARD.);" for k, name in ((2, "typea"), (3, "typeb"))],
            f"#4=IFCRELDEFINESBYTYPE('{g('rel')}',$,$,$,(#1,#2,#3),#2);#6=IFCRELDEFINESBYTYPE('{g('rel2')}',$,$,$,(#2),#3);",
            f"#5=IFCPROPERTYSET('{g('set')}',$,'S',$,(#7));#7=IFCPROPERTYSINGLEVALUE('P',$,IFCLABEL('v'),$);",
            f"#8=IFCRELAGGREGATES('{g('agg')}',$,$,$,#1,(#9));#9=IFCMEMBER('{g('member')}',$,$,$,$,$,$,$,$);",
            f"#10=IFCRELAGGREGATES('{g('agg2')}',$,$,$,#9,(#1));"]


def many_occurrences():
    n = 250_000
    lines = [f"#{10 + i}=IFCWALL('{i:022d}',$,$,$,$,$,$,$,$);" for i in range(n)]
    lines += [f"#1=IFCWALLTYPE('{g('type')}',$,$,$,$,(#2),$,$,$,.STANDARD.);",
              f"#2=IFCPROPERTYSET('{g('set')}',$,'S',$,(#3));",
              "#3=IFCPROPERTYSINGLEVALUE('P',$,IFCLABEL('v'),$);",
              f"#4=IFCRELDEFINESBYTYPE('{g('rel')}',$,$,$,(" + ",".join(f"#{10 + i}" for i in range(n)) + "),#1);"]
    return lines


@pytest.mark.parametrize("lines, check", [
    pytest.param(lambda: complex_chain(100_000), lambda t: t["properties"].num_rows >= 1, id="complex_nested_100k"),
    pytest.param(exploding_complex, lambda t: 1 <= t["properties"].num_rows <= 300_000
                 and 1 <= t["element_quantities"].num_rows <= 300_000, id="complex_exploding_and_self_containing"),
    # The names of one property's members total a bounded number of bytes (gigabytes without the bound).
    pytest.param(long_names_down_a_nest, lambda t: t["properties"].num_rows >= 1
                 and t["element_quantities"].num_rows >= 1
                 and path_bytes(t["properties"], "prop_name") <= 2 * 100_000 * 256
                 and path_bytes(t["element_quantities"], "quantity_name") <= 2 * 100_000 * 256,
                 id="complex_member_paths_of_long_names"),
    pytest.param(type_cycles, lambda t: t["properties"].num_rows == 3 and t["elements"].num_rows == 2, id="type_cycles"),
    pytest.param(many_occurrences, lambda t: t["properties"].num_rows == 250_001
                 and t["elements"].column("type_guid").null_count == 0, id="type_of_250k_occurrences"),
])
def test_hostile_models_return(lines, check, tmp_path):
    path = tmp_path / "hostile.ifc"
    path.write_bytes(data_file(lines()))
    assert check(quarnel.read_tables(str(path), TABLES))


PREDEFINED_IFC4 = f"""
#1=IFCDOOR('{g("door")}',$,$,$,$,$,$,$,$,$,$,$,$);
#2=IFCDOORTYPE('{g("doortype")}',$,'DT',$,$,(#3,#5),$,$,$,.DOOR.,.NOTDEFINED.,$,$);
#3=IFCDOORPANELPROPERTIES('{g("typepanel")}',$,'Panel',$,0.04,.FOLDING.,$,$,$);
#4=IFCRELDEFINESBYTYPE('{g("bytype")}',$,$,$,(#1),#2);
#5=IFCDOORLININGPROPERTIES('{g("lining")}',$,'Lining',$,50.,$,$,$,$,$,$,$,$,$,#9,$,$);
#6=IFCDOORPANELPROPERTIES('{g("panel")}',$,'Panel',$,$,.SWINGING.,$,.LEFT.,$);
#7=IFCRELDEFINESBYPROPERTIES('{g("rel")}',$,$,$,(#1),#6);
#8=IFCREINFORCEMENTDEFINITIONPROPERTIES('{g("rebar")}',$,'Rebar',$,'Main',(#9,#9));
#9=IFCSHAPEASPECT((),'Aspect',$,$,$);
#10=IFCRELDEFINESBYPROPERTIES('{g("rel2")}',$,$,$,(#1),#8);
"""
PREDEFINED_IFC2X3 = f"""
#1=IFCWALL('{g("wall")}',$,$,$,$,$,$,$);
#2=IFCSOUNDPROPERTIES('{g("sound")}',$,'Sound',$,.T.,.DBA.,(#3));
#3=IFCSOUNDVALUE('{g("value")}',$,'SV',$,$,125.,IFCSOUNDPOWERMEASURE(60.));
#4=IFCRELDEFINESBYPROPERTIES('{g("rel")}',$,$,$,(#1),#2);
#5=IFCRELDEFINESBYPROPERTIES('{g("rel2")}',$,$,$,(#1),#3);
"""
PANEL_TYPE = [("Panel", "PanelDepth", "0.04", "IfcPositiveLengthMeasure", 0.04, None),
              ("Lining", "LiningDepth", "50", "IfcPositiveLengthMeasure", 50.0, None),
              ("Lining", "ShapeAspectStyle", "#9", "IfcShapeAspect", None, None)]


# The occurrence's Panel overrides the type's PanelOperation only; lists give a row per item.
@pytest.mark.parametrize("schema, data, rows", [
    ("IFC4", PREDEFINED_IFC4, [("door", "occurrence", *r) for r in [
        ("Panel", "PanelOperation", "SWINGING", "IfcDoorPanelOperationEnum", None, None),
        ("Panel", "PanelPosition", "LEFT", "IfcDoorPanelPositionEnum", None, None),
        ("Rebar", "DefinitionType", "Main", "IfcLabel", None, None),
        ("Rebar", "ReinforcementSectionDefinitions", "#9", "IfcShapeAspect", None, 0),
        ("Rebar", "ReinforcementSectionDefinitions", "#9", "IfcShapeAspect", None, 1)]]
     + [("door", "type", *r) for r in PANEL_TYPE] + [("doortype", "type", *r) for r in PANEL_TYPE]
     + [("doortype", "type", "Panel", "PanelOperation", "FOLDING", "IfcDoorPanelOperationEnum", None, None)]),
    ("IFC2X3", PREDEFINED_IFC2X3, [("wall", "occurrence", *r) for r in [
        ("Sound", "IsAttenuating", "True", "IfcBoolean", None, None),
        ("Sound", "SoundScale", "DBA", "IfcSoundScaleEnum", None, None),
        ("Sound", "SoundValues", "#3", "IfcSoundValue", None, 0),
        ("SV", "Frequency", "125", "IfcFrequencyMeasure", 125.0, None),
        ("SV", "SoundLevelSingleValue", "60", "IfcSoundPowerMeasure", 60.0, None)]]),
])
def test_predefined_sets_are_properties_of_their_objects_and_types(write_ifc, schema, data, rows):
    path = write_ifc(ifc_text(data, HEADER.replace("IFC4", schema)), raw=True)
    got = [r for r in quarnel.read_table(path, "properties").to_pylist() if r["kind"] == "predefined"]
    assert Counter((short(r["guid"]), r["source"], r["pset_name"], r["prop_name"], r["value"], r["value_type"],
                    r["number"], r["value_index"]) for r in got) == Counter(rows)
