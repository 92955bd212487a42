"""The attributes table: every direct attribute with a value of every object with a GlobalId
(relationships and property sets aside), named by the file's schema, as the file writes it;
and the same attributes as IfcOpenShell reads."""
from collections import Counter

import pytest

import quarnel
from conftest import HEADER, corpus, corpus_params, ifc_text, open_with_ifcopenshell

G = "GUID000000000000000001"
RESOURCES = "#90=IFCOWNERHISTORY($,$,$,.ADDED.,$,$,$,0);\n#91=IFCTASKTIME($,$,$,$,$,$,$,$,$,$,$,$,$,$,$,$,$,$,$,$);"
GID = ("GlobalId", G, "string", None, None)


@pytest.mark.parametrize("schema, record, rows", [
    ("IFC4", r"IFCWALL('{G}',#90,'Wall \X2\00E9\X0\','',$,$,$,'T1',.SOLIDWALL.)",
     [GID, ("OwnerHistory", "#90", "reference", "IfcOwnerHistory", None), ("Name", "Wall \u00e9", "string", None, None),
      ("Description", "", "string", None, None), ("Tag", "T1", "string", None, None),
      ("PredefinedType", "SOLIDWALL", "enum", None, None)]),
    ("IFC4", "IFCTASK('{G}',$,$,$,$,$,$,$,$,.T.,3,#91,.USERDEFINED.)",
     [GID, ("IsMilestone", "TRUE", "logical", None, None), ("Priority", "3", "integer", None, 3.0),
      ("TaskTime", "#91", "reference", "IfcTaskTime", None), ("PredefinedType", "USERDEFINED", "enum", None, None)]),
    ("IFC4", "IFCBUILDINGSTOREY('{G}',$,$,$,$,$,$,$,.ELEMENT.,3.5E0)",
     [GID, ("CompositionType", "ELEMENT", "enum", None, None), ("Elevation", "3.5E0", "real", None, 3.5)]),
    ("IFC4", "IFCSITE('{G}',$,$,$,$,$,$,$,$,(52,30,0),(),$,$,$)",
     [GID, ("RefLatitude", "(52,30,0)", "list", None, None), ("RefLongitude", "()", "list", None, None)]),
    # The same position under its name in each schema.
    ("IFC2X3", "IFCSPACE('{G}',$,$,$,$,$,$,$,$,.INTERNAL.,$)", [GID, ("InteriorOrExteriorSpace", "INTERNAL", "enum", None, None)]),
    ("IFC4", "IFCSPACE('{G}',$,$,$,$,$,$,$,$,.INTERNAL.,$)", [GID, ("PredefinedType", "INTERNAL", "enum", None, None)]),
    ("IFC4X3_ADD2", "IFCWALL('{G}',$,$,$,$,$,$,$,.SOLIDWALL.)", [GID, ("PredefinedType", "SOLIDWALL", "enum", None, None)]),
    # Type objects are property definitions in IFC2X3: they are read all the same.
    ("IFC2X3", "IFCWALLTYPE('{G}',$,'T',$,$,$,$,$,$,.STANDARD.)",
     [GID, ("Name", "T", "string", None, None), ("PredefinedType", "STANDARD", "enum", None, None)]),
    # Typed values by their inner value; derived ones as such; values past the schema's are not read.
    ("IFC4", "IFCWALL('{G}',$,IFCLABEL('x'),IFCLOGICAL(.U.),IFCREAL(2.),*,$,$,$,'extra')",
     [GID, ("Name", "x", "typed", "IfcLabel", None), ("Description", "UNKNOWN", "typed", "IfcLogical", None),
      ("ObjectType", "2.", "typed", "IfcReal", 2.0), ("ObjectPlacement", None, "derived", None, None)]),
    ("IFC4", "IFCRELAGGREGATES('{G}',$,'R',$,#90,(#91))", []),
    ("IFC4", "IFCPROPERTYSET('{G}',$,'P',$,(#91))", []),
    ("IFC4", "IFCRABBIT('{G}',$,'W')", []),
    ("IFC4", "IFCWALL('SHORT',$,'W',$,$,$,$,$,$)", []),
], ids=lambda v: v.split("(")[0] if isinstance(v, str) and "(" in v else None)
def test_attribute_rows(write_ifc, schema, record, rows):
    header = HEADER.replace("'IFC4'", f"'{schema}'")
    path = write_ifc(ifc_text(f"{RESOURCES}\n#1={record.format(G=G)};", header), raw=True)
    t = quarnel.read_table(path, "attributes").to_pylist()
    entity = record.split("(")[0]
    assert all(r["guid"] == G and r["entity"].upper() == entity for r in t)
    assert [(r["attribute"], r["value"], r["kind"], r["value_type"], r["number"]) for r in t] == rows


def ifcopenshell_value(v):
    if isinstance(v, bool):
        return "TRUE" if v else "FALSE"
    if isinstance(v, (int, float)):
        return round(float(v), 6)
    if isinstance(v, str):
        return v
    if isinstance(v, tuple):
        return "list"
    return ("ref", v.is_a()) if v.id() else ("typed", v.is_a(), ifcopenshell_value(v.wrappedValue))


def our_value(r):
    kind = r["kind"]
    if kind in ("integer", "real"):
        return round(r["number"], 6)
    if kind == "typed":
        return ("typed", r["value_type"], round(r["number"], 6) if r["number"] is not None else r["value"])
    return {"list": "list", "reference": ("ref", r["value_type"])}.get(kind, r["value"])


@corpus
@pytest.mark.parametrize("path", corpus_params())
def test_attributes_match_ifcopenshell(path):
    model = open_with_ifcopenshell(path)
    left_out = [e for e in ("IfcRelationship", "IfcPropertySetDefinition", "IfcPropertyTemplateDefinition")
                if model.schema != "IFC2X3" or e != "IfcPropertyTemplateDefinition"]
    theirs = Counter()
    for o in model.by_type("IfcRoot"):
        if not any(o.is_a(e) for e in left_out):
            theirs.update((o.GlobalId, o.is_a(), o.attribute_name(i), ifcopenshell_value(v))
                          for i, v in enumerate(o) if v is not None)
    t = quarnel.read_table(path, "attributes").to_pylist()
    assert Counter((r["guid"], r["entity"], r["attribute"], our_value(r)) for r in t) == theirs


@pytest.mark.parametrize("record, rows", [
    ("IFCCOLOURRGB($,1.,0,1.)", [("Red", "1.", "real", None), ("Green", "0", "integer", None), ("Blue", "1.", "real", None)]),
    ("IFCSURFACESTYLERENDERING(#90,$,IFCNORMALISEDRATIOMEASURE(0.5),$,$,$,$,$,.FLAT.)",
     [("SurfaceColour", "#90", "reference", "IfcOwnerHistory"), ("DiffuseColour", "0.5", "typed", "IfcNormalisedRatioMeasure"),
      ("ReflectanceMethod", "FLAT", "enum", None)]),
    ("IFCPRESENTATIONLAYERWITHSTYLE('L',$,(#90),$,.U.,.F.,.T.,())",
     [("Name", "L", "string", None), ("AssignedItems", "(#90)", "list", None), ("LayerOn", "UNKNOWN", "logical", None),
      ("LayerFrozen", "FALSE", "logical", None), ("LayerBlocked", "TRUE", "logical", None), ("LayerStyles", "()", "list", None)]),
    ("IFCSIUNIT(*,.LENGTHUNIT.,$,.METRE.)", [("Dimensions", None, "derived", None), ("UnitType", "LENGTHUNIT", "enum", None),
                                             ("Name", "METRE", "enum", None)]),
    # An instance without values still has its row.
    ("IFCPOSTALADDRESS($,$,$,$,$,$,$,$,$,$)", [(None, None, None, None)]),
    ("IFCRELAGGREGATES('{G}',$,$,$,#90,(#91))",
     [("GlobalId", G, "string", None), ("RelatingObject", "#90", "reference", "IfcOwnerHistory"),
      ("RelatedObjects", "(#91)", "list", None)]),
    ("IFCWALL($,$,'W',$,$,$,$,$,$)", [("Name", "W", "string", None)]),
], ids=lambda v: v.split("(")[0] if isinstance(v, str) and "(" in v else None)
def test_all_attributes_rows(write_ifc, record, rows):
    t = quarnel.read_table(write_ifc(f"{RESOURCES}\n#1={record.format(G=G)};"), "all_attributes").to_pylist()
    mine = [r for r in t if r["step_id"] == 1]
    assert all(r["entity"].upper() == record.split("(")[0] for r in mine)
    assert {r["guid"] for r in mine} == {G if record.startswith("IFCREL") else None}
    assert [(r["attribute"], r["value"], r["kind"], r["value_type"]) for r in mine] == rows
    assert {r["step_id"] for r in t} == {1, 90, 91}


@corpus
@pytest.mark.parametrize("path", [p for p in corpus_params() if p.id in ("ifc4_samplehouse.ifc", "sample_entities.ifc")])
def test_all_attributes_match_ifcopenshell(path):
    theirs = Counter((o.id(), o.is_a(), o.attribute_name(i), ifcopenshell_value(v))
                     for o in open_with_ifcopenshell(path) for i, v in enumerate(o) if v is not None)
    t = quarnel.read_table(path, "all_attributes").to_pylist()
    assert Counter((r["step_id"], r["entity"], r["attribute"], our_value(r))
                   for r in t if r["kind"] not in (None, "derived")) == theirs
