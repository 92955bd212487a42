"""Revision diffs: each kind of change found once and named, re-exports that change nothing give
nothing, on built models and on the corpus."""

import json
import random
import re

import pytest

import quarnel
from conftest import CORPUS_MODELS, corpus, ifc_text
from quarnel.diff.kinds import KINDS

WALL, TYPE, TYPE2 = "0Wall00000000000000001", "0WallType0000000000001", "0WallType0000000000002"
CHAIR, ASSEMBLY, ASSEMBLY2, MEMBER = ("0Chair0000000000000001", "0Assembly0000000000001", "0Assembly0000000000002",
                                      "0Member000000000000001")

# The revision every case edits: a wall with a type, property and quantity sets, a material and
# a classification, in a storey; an assembly with a member; a chair. Lengths in {s} units a metre.
BASE = """
#1=IFCPROJECT('0Project00000000000001',#9,'P',$,$,$,$,(#20),#10);
#9=IFCOWNERHISTORY(#8,#8,$,.ADDED.,$,$,$,1600000000);
#10=IFCUNITASSIGNMENT((#11,#12,#13));
#11=IFCSIUNIT(*,.LENGTHUNIT.,{prefix},.METRE.);
#12=IFCSIUNIT(*,.AREAUNIT.,$,.SQUARE_METRE.);
#13=IFCSIUNIT(*,.VOLUMEUNIT.,$,.CUBIC_METRE.);
#20=IFCGEOMETRICREPRESENTATIONCONTEXT($,'Model',3,1.E-05,#21,$);
#21=IFCAXIS2PLACEMENT3D(#22,$,$);
#22=IFCCARTESIANPOINT((0.,0.,0.));
#30=IFCSITE('0Site00000000000000001',#9,'Site',$,$,#31,$,$,.ELEMENT.,$,$,$,$,$);
#31=IFCLOCALPLACEMENT($,#21);
#40=IFCBUILDING('0Building0000000000001',#9,'B',$,$,#41,$,$,.ELEMENT.,$,$,$);
#41=IFCLOCALPLACEMENT(#31,#21);
#50=IFCBUILDINGSTOREY('0Storey000000000000001',#9,'Level 1',$,$,#51,$,$,.ELEMENT.,0.);
#51=IFCLOCALPLACEMENT(#41,#21);
#55=IFCBUILDINGSTOREY('0Storey000000000000002',#9,'Level 2',$,$,#56,$,$,.ELEMENT.,{h});
#56=IFCLOCALPLACEMENT(#41,#57);
#57=IFCAXIS2PLACEMENT3D(#58,$,$);
#58=IFCCARTESIANPOINT((0.,0.,{h}));
#60=IFCRELAGGREGATES('0Agg000000000000000001',#9,$,$,#1,(#30));
#61=IFCRELAGGREGATES('0Agg000000000000000002',#9,$,$,#30,(#40));
#62=IFCRELAGGREGATES('0Agg000000000000000003',#9,$,$,#40,(#50,#55));
#100={wall}('{wall_guid}',#9,'{wall_name}',$,$,#101,{body},'T-1',$);
#101=IFCLOCALPLACEMENT(#51,#102);
#102=IFCAXIS2PLACEMENT3D(#103,#104,#105);
#103=IFCCARTESIANPOINT(({x},0.,0.));
#104=IFCDIRECTION((0.,0.,1.));
#105=IFCDIRECTION(({dir}));
#110=IFCPROPERTYSINGLEVALUE('Width',$,IFCLENGTHMEASURE({width}),$);
#111=IFCPROPERTYSINGLEVALUE('Note',$,IFCLABEL('{note}'),$);
#112=IFCPROPERTYSET('0Pset00000000000000001',#9,'Pset_Test',$,(#110,#111));
#113=IFCRELDEFINESBYPROPERTIES('0Rdp000000000000000001',#9,$,$,(#100),#112);
#120=IFCWALLTYPE('{type_guid}',#9,'T1',$,$,(#122),$,$,$,.STANDARD.);
#121=IFCPROPERTYSINGLEVALUE('FireRating',$,IFCLABEL('{fire}'),$);
#122=IFCPROPERTYSET('0Pset00000000000000002',#9,'Pset_Type',$,(#121));
#123=IFCRELDEFINESBYTYPE('0Rdt000000000000000001',#9,$,$,(#100),{type});
#125=IFCWALLTYPE('{type2_guid}',#9,'T2',$,$,$,$,$,$,.STANDARD.);
#130=IFCQUANTITYLENGTH('Length',$,$,{length},$);
#131=IFCELEMENTQUANTITY('0Qto000000000000000001',#9,'Qto_Test',$,$,(#130));
#132=IFCRELDEFINESBYPROPERTIES('0Rdp000000000000000002',#9,$,$,(#100),#131);
#140=IFCMATERIAL('{material}',$,$);
#141=IFCRELASSOCIATESMATERIAL('0Ram000000000000000001',#9,$,$,(#100),#140);
#150=IFCCLASSIFICATION('S',$,$,'Uniclass',$,$,$);
#151=IFCCLASSIFICATIONREFERENCE($,'{code}','Walls',#150,$,$);
#152=IFCRELASSOCIATESCLASSIFICATION('0Rac000000000000000001',#9,$,$,(#100),#151);
#160=IFCRELCONTAINEDINSPATIALSTRUCTURE('0Rcs000000000000000001',#9,$,$,(#100,#200,#220{chair}),{storey});
#170=IFCRECTANGLEPROFILEDEF(.AREA.,$,#171,{length},{width});
#171=IFCAXIS2PLACEMENT2D(#172,$);
#172=IFCCARTESIANPOINT((0.,0.));
#173=IFCEXTRUDEDAREASOLID(#170,#21,#104,{height});
#174=IFCSHAPEREPRESENTATION(#20,'Body','SweptSolid',(#173));
#175=IFCPRODUCTDEFINITIONSHAPE($,$,(#174));
#200=IFCELEMENTASSEMBLY('{assembly_guid}',#9,'Assembly',$,$,#201,$,$,$,$);
#201=IFCLOCALPLACEMENT(#51,#21);
#210=IFCMEMBER('{member_guid}',#9,'Member',$,$,#211,$,$,$);
#211=IFCLOCALPLACEMENT(#201,#21);
#212=IFCRELAGGREGATES('0Agg000000000000000004',#9,$,$,{whole},(#210));
#220=IFCELEMENTASSEMBLY('{assembly2_guid}',#9,'Assembly 2',$,$,#221,$,$,$,$);
#221=IFCLOCALPLACEMENT(#51,#21);
{chair_line}
"""
CHAIR_LINE = "#230={chair_class}('{chair_guid}',#9,'Chair',$,$,{chair_placement},$,${chair_tail});\n#231=IFCLOCALPLACEMENT(#51,#21);"
DEFAULTS = dict(wall="IFCWALL", wall_guid=WALL, wall_name="Wall 1", x=0.0, dir="1.,0.,0.", width=0.2, note="plain",
                type_guid=TYPE, type2_guid=TYPE2, fire="EI60", type="#120", length=4.0, material="Concrete",
                code="Ss_20", storey="#50", height=3.0, body="#175", assembly_guid=ASSEMBLY, assembly2_guid=ASSEMBLY2,
                member_guid=MEMBER, whole="#200", chair=",#230", chair_class="IFCFURNISHINGELEMENT", chair_guid=CHAIR,
                chair_tail="", chair_placement="#231", h=3.0)
LENGTHS = ("x", "width", "length", "height", "h")


def revision(unit=1.0, **edits):
    v = {**DEFAULTS, **edits}
    for k in LENGTHS:
        v[k] = repr(float(v[k]) * unit)
    v["prefix"] = {1.0: "$", 1000.0: ".MILLI."}[unit]
    v["chair_line"] = CHAIR_LINE.format(**v) if v.pop("with_chair", True) else ""
    return BASE.format(**v)


def pair(write_ifc, old, new):
    return quarnel.diff(write_ifc(old), write_ifc(new))


def rows(result):
    return {(r["guid"], r["change"], r["what"]) for r in result.changes.to_pylist()}


CASES = [
    ("added", dict(wall_guid="0Wall00000000000000009"), {(WALL, "deleted", None), ("0Wall00000000000000009", "added", None)}),
    ("deleted", dict(chair="", with_chair=False), {(CHAIR, "deleted", None)}),
    ("class", dict(chair_class="IFCBUILDINGELEMENTPROXY", chair_tail=",$"), {(CHAIR, "class", "class")}),
    ("attribute", dict(wall_name="Wall 2"), {(WALL, "attribute", "Name")}),
    ("property", dict(note="edited"), {(WALL, "property", "Pset_Test.Note")}),
    ("property-si", dict(width=0.25), {(WALL, "property", "Pset_Test.Width")}),
    ("property-of-type", dict(fire="EI90"), {(WALL, "property", "Pset_Type.FireRating (type)"),
                                             (TYPE, "property", "Pset_Type.FireRating")}),
    ("quantity", dict(length=5.0), {(WALL, "quantity", "Qto_Test.Length")}),
    ("material", dict(material="Brick"), {(WALL, "material", "material")}),
    ("classification", dict(code="Ss_25"), {(WALL, "classification", "classification")}),
    ("type", dict(type="#125"), {(WALL, "type", "type"), (WALL, "property", "Pset_Type.FireRating (type)")}),
    ("container", dict(storey="#55"), {(WALL, "container", "container"), (ASSEMBLY, "container", "container"),
                                       (ASSEMBLY2, "container", "container"), (CHAIR, "container", "container")}),
    ("aggregate", dict(whole="#220"), {(MEMBER, "aggregate", "aggregate")}),
    ("placement", dict(x=0.5), {(WALL, "placement", "moved")}),
    ("placement-turned", dict(dir="0.,1.,0."), {(WALL, "placement", "turned")}),
    ("placement-gone", dict(chair_placement="$"), {(CHAIR, "placement", "unplaced")}),
    ("duplicate", dict(chair_guid=WALL), {(WALL, "duplicate", "GlobalId repeated in the new model"),
                                          (CHAIR, "deleted", None)}),
]


@pytest.mark.parametrize("kind, edits, expected", CASES, ids=[c[0] for c in CASES])
def test_every_kind_of_change_found_once(write_ifc, kind, edits, expected):
    result = pair(write_ifc, revision(), revision(**edits))
    found = rows(result)
    assert found == expected
    assert sum(result.summary.values()) == len(result.changes)


def test_change_rows_carry_values_and_distance(write_ifc):
    result = pair(write_ifc, revision(), revision(x=0.5, width=0.25, wall_name="Wall 2"))
    by_kind = {r["change"]: r for r in result.changes.to_pylist()}
    assert by_kind["placement"]["distance"] == pytest.approx(0.5)
    assert (by_kind["property"]["old_number"], by_kind["property"]["new_number"]) == pytest.approx((0.2, 0.25))
    assert (by_kind["attribute"]["old"], by_kind["attribute"]["new"]) == ("Wall 1", "Wall 2")
    assert {r["entity"] for r in by_kind.values()} == {"IfcWall"}


def test_geometry_only_when_asked(write_ifc):
    old, new = write_ifc(revision()), write_ifc(revision(height=4.0))
    assert len(quarnel.diff(old, new)) == 0
    found = rows(quarnel.diff(old, new, kinds=["geometry"]))
    assert {(g, c) for g, c, _ in found} == {(WALL, "geometry")}
    # A moved wall's mesh moves with it: a placement change, no geometry change.
    moved = quarnel.diff(old, write_ifc(revision(x=2.0)), kinds="geometry,placement")
    assert {(g, c) for g, c, _ in rows(moved)} == {(WALL, "placement")}


def test_only_and_kinds_narrow_the_report(write_ifc):
    old, new = write_ifc(revision()), write_ifc(revision(note="edited", chair_class="IFCBUILDINGELEMENTPROXY",
                                                         chair_tail=",$"))
    assert rows(quarnel.diff(old, new, only="IfcWall")) == {(WALL, "property", "Pset_Test.Note")}
    assert rows(quarnel.diff(old, new, kinds="class")) == {(CHAIR, "class", "class")}
    assert set(quarnel.diff(old, new, kinds="class").summary) == {"class"}
    with pytest.raises(ValueError, match="no change kind 'colour'"):
        quarnel.diff(old, new, kinds="colour")


def renumbered(text, seed=1):
    """The same model as another exporter writes it: ids renumbered, statements in another
    order, owner histories stamped anew, CRLF line ends."""
    head, data = text.split("DATA;", 1)
    data, tail = data.rsplit("ENDSEC;", 1)
    token = re.compile(r"'(?:[^']|'')*'|#(\d+)")
    # Comments go, as a writer drops them (a statement commented out stays out).
    data = re.sub(r"'(?:[^']|'')*'|/\*.*?\*/", lambda m: m.group(0) if m.group(0)[0] == "'" else "", data,
                  flags=re.S)
    statements = re.findall(r"#\d+\s*=(?:'(?:[^']|'')*'|[^;'])*;", data)
    rng = random.Random(seed)
    ids = sorted({int(m) for s in statements for m in re.findall(r"^#(\d+)", s)})
    new_ids = rng.sample(range(1, 10 * len(ids) + 10), len(ids))
    mapping = dict(zip(ids, new_ids))
    out = [token.sub(lambda m: m.group(0) if m.group(1) is None else f"#{mapping.get(int(m.group(1)), 0)}", s)
           for s in statements]
    out = [re.sub(r",\d+\);$", ",1700000000);", s) if "IFCOWNERHISTORY(" in s.upper() else s for s in out]
    rng.shuffle(out)
    return (head + "DATA;\r\n" + "\r\n".join(out) + "\r\nENDSEC;" + tail).replace("\n", "\r\n").replace("\r\r", "\r")


def test_renumbered_export_changed_the_references_of_a_predefined_set(write_ifc):
    data = """
#1=IFCDOOR('0Door0000000000000000A',$,'D',$,$,$,$,$,$,$,$,$,$);
#5=IFCSHAPEASPECT((#6),'Lining',$,.T.,$);
#6=IFCSHAPEREPRESENTATION($,$,$,());
#7=IFCDOORLININGPROPERTIES('0Lin00000000000000000A',$,'Lining',$,0.1,$,$,$,$,$,$,$,$,#5,$,$,$);
#8=IFCRELDEFINESBYPROPERTIES('0Rel00000000000000000A',$,$,$,(#1),#7);
"""
    old = write_ifc(data)
    assert ["#5"] == [r["value"] for r in quarnel.read_table(old, "properties").to_pylist() if r["value"][0] == "#"]
    assert quarnel.diff(old, write_ifc(renumbered(ifc_text(data)), raw=True)).changes.num_rows == 0


@pytest.mark.parametrize("edit", ["same", "renumbered", "millimetres"])
def test_a_reexport_changes_nothing(write_ifc, edit):
    old = revision()
    new = {"same": old, "renumbered": renumbered(ifc_text(old)), "millimetres": revision(unit=1000.0)}[edit]
    result = quarnel.diff(write_ifc(old), write_ifc(new, raw=edit == "renumbered"), kinds=KINDS)
    assert result.changes.to_pylist() == []
    assert set(result.summary.values()) == {0}


@corpus
@pytest.mark.parametrize("path", [str(p) for p in CORPUS_MODELS], ids=[p.name for p in CORPUS_MODELS])
def test_corpus_reexport_changes_nothing(tmp_path, path):
    with open(path, encoding="latin-1") as f:
        text = f.read()
    new = tmp_path / "renumbered.ifc"
    new.write_text(renumbered(text), encoding="latin-1")
    result = quarnel.diff(path, str(new))
    assert result.changes.slice(0, 5).to_pylist() == []


def test_writers(write_ifc, tmp_path):
    result = pair(write_ifc, revision(), revision(note="a </script> note", x=0.5))
    result.to_json(tmp_path / "d.json")
    data = json.loads((tmp_path / "d.json").read_text())
    assert list(data) == ["old", "new", "summary", "changes"]
    assert [r["change"] for r in data["changes"]] == ["property", "placement"]
    page = result.to_html()
    assert "<\\/script> note" in page and "http" not in page.split("<body>")[1]
    assert result.to_parquet(tmp_path / "d.parquet") == result.to_csv(tmp_path / "d.csv") == 2


@pytest.mark.parametrize("output, status, shown", [
    (None, 0, "Pset_Test.Note"),
    ("changes.json", 0, "wrote 1 change to"),
    ("changes.html", 0, "wrote 1 change to"),
    ("changes.txt", 1, "cannot tell the format"),
])
def test_command(write_ifc, tmp_path, capsys, output, status, shown):
    from quarnel.cli import main

    old, new = write_ifc(revision()), write_ifc(revision(note="edited"))
    out = [] if output is None else ["-o", str(tmp_path / output)]
    assert main(["diff", old, new, "--kinds", "property", *out]) == status
    printed = capsys.readouterr()
    assert shown in printed.out + printed.err
    assert ("property" in printed.out) == (status == 0)
