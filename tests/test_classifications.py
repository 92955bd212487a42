from collections import Counter

import pytest

import quarnel

COLUMNS = ["guid", "system_name", "edition", "identification", "name", "location", "source"]
KEYS = COLUMNS + [
    "open_ms", "entity_table_ms", "guid_index_ms", "classifications_extract_ms", "marshal_ms", "size_bytes",
]

WALL = "WALL000000000000000001"
SYSTEM = "#5=IFCCLASSIFICATION('Publisher','2020',$,'System A',$,$,$);"
REFERENCE = "#6=IFCCLASSIFICATIONREFERENCE('Shelf 3','03 30 00','Cast concrete',#5,$,$);"


def table(result):
    """Rows without the guid column, in result order."""
    return list(zip(*(result[k] for k in COLUMNS[1:])))


def associated(definitions, relating="#50", objects="(#1)"):
    return f"""
#1=IFCWALL('{WALL}',$,'W',$,$,$,$,$);
{definitions}
#90=IFCRELASSOCIATESCLASSIFICATION('REL0000000000000000001',$,$,$,{objects},{relating});
"""


@pytest.mark.parametrize(
    "definitions, relating, expected",
    [
        (SYSTEM + REFERENCE, "#6", [("System A", "2020", "03 30 00", "Cast concrete", "Shelf 3", "Publisher")]),
        (SYSTEM + REFERENCE, "#5", [("System A", "2020", None, None, None, "Publisher")]),
        (
            SYSTEM + "#6=IFCCLASSIFICATIONREFERENCE('Shelf 3','03 30 00','Cast concrete',$,$,$);",
            "#6",
            [(None, None, "03 30 00", "Cast concrete", "Shelf 3", None)],
        ),
        (
            SYSTEM + REFERENCE + "#7=IFCCLASSIFICATIONREFERENCE('L','B10','Chain',#6);",
            "#7",
            [(None, None, "B10", "Chain", "L", None)],
        ),
        (SYSTEM + "#6=IFCCLASSIFICATIONREFERENCE('L','B10','Self',#6);", "#6", [(None, None, "B10", "Self", "L", None)]),
        (SYSTEM + "#6=IFCCLASSIFICATIONREFERENCE('L','B10','Dangling',#77);", "#6", [(None, None, "B10", "Dangling", "L", None)]),
        (SYSTEM + "#6=IFCCLASSIFICATIONREFERENCE('L','B10','Listed',(#5));", "#6", [(None, None, "B10", "Listed", "L", None)]),
        # IFC2X3 reference without a source position, and shorter ones.
        (SYSTEM + "#6=IFCCLASSIFICATIONREFERENCE('L','B10','N');", "#6", [(None, None, "B10", "N", "L", None)]),
        (SYSTEM + "#6=IFCCLASSIFICATIONREFERENCE('L');", "#6", [(None, None, None, None, "L", None)]),
        # '' and non-string values are absent.
        ("#5=IFCCLASSIFICATION('','',$,'',$,$,$);#6=IFCCLASSIFICATIONREFERENCE('',$,5.,#5);", "#6",
         [(None, None, None, None, None, None)]),
        ("#5=IFCCLASSIFICATION(#1,.E.,$,IFCLABEL('x'));#6=IFCCLASSIFICATIONREFERENCE(#1,(1),'N',#5);", "#6",
         [(None, None, None, "N", None, None)]),
        # A system with three attributes has no name; EditionDate is not read.
        ("#5=IFCCLASSIFICATION('P','1998','2020-01-01');", "#5", [(None, "1998", None, None, None, "P")]),
        ("#5=IFCCLASSIFICATION('P','1998',IFCCALENDARDATE(1,1,1998),'Uniformat');", "#5",
         [("Uniformat", "1998", None, None, None, "P")]),
        ("#5=ifcclassification('P','E',$,'lower');#6=IfcClassificationReference('L','I','N',#5);", "#6",
         [("lower", "E", "I", "N", "L", "P")]),
        ("#5=IFCCLASSIFICATION('\\X2\\00C4\\X0\\','it''s',$,'S');", "#5", [("S", "it's", None, None, None, "\u00c4")]),
        # Relating values that give no row.
        (SYSTEM + REFERENCE, "(#6)", []),
        (SYSTEM + REFERENCE, "$", []),
        (SYSTEM + REFERENCE, "'#6'", []),
        (SYSTEM + REFERENCE, ".R.", []),
        (SYSTEM + REFERENCE, "#77", []),
        (SYSTEM + "#6=IFCCLASSIFICATIONNOTATION((#7));", "#6", []),
        (SYSTEM + "#6=IFCMATERIAL('M');", "#6", []),
    ],
)
def test_rows_of_one_association(write_ifc, definitions, relating, expected):
    r = quarnel.extract_classifications(write_ifc(associated(definitions, relating=relating)))
    assert table(r) == expected
    assert set(r["guid"]) <= {WALL}


@pytest.mark.parametrize(
    "objects",
    ["(#2)", "(#3)", "(#99)", "$", "'#1'", "()"],
)
def test_objects_that_give_no_row(write_ifc, objects):
    extra = "#2=IFCWALL('SHORT',$,$,$,$,$,$,$);#3=ifcwall('LOWERCASEWALL000000001',$,$,$,$,$,$,$);"
    r = quarnel.extract_classifications(write_ifc(associated(SYSTEM + REFERENCE + extra, "#6", objects)))
    assert r["guid"] == []


def test_objects_in_order_with_duplicates(write_ifc):
    other = "WALL000000000000000002"
    r = quarnel.extract_classifications(
        write_ifc(associated(SYSTEM + REFERENCE + f"#2=IFCWALL('{other}',$,$,$,$,$,$,$);", "#6", "(#1,#2,#99,#1)"))
    )
    assert r["guid"] == [WALL, other, WALL]
    assert Counter(r["identification"]) == {"03 30 00": 3}


def test_relationship_with_too_few_attributes(write_ifc):
    path = write_ifc(
        f"#1=IFCWALL('{WALL}',$,$,$,$,$,$,$);{SYSTEM}"
        "#90=IFCRELASSOCIATESCLASSIFICATION('REL0000000000000000001',$,$,$,(#1));"
    )
    assert quarnel.extract_classifications(path)["guid"] == []


def test_result_keys(write_ifc):
    r = quarnel.extract_classifications(write_ifc(associated(SYSTEM + REFERENCE, "#6")))
    assert list(r) == KEYS
    assert all(isinstance(r[k], float) and r[k] >= 0.0 for k in KEYS if k.endswith("_ms"))
    assert isinstance(r["size_bytes"], int)


def test_file_without_classifications(write_ifc):
    r = quarnel.extract_classifications(write_ifc(SYSTEM + REFERENCE))
    assert list(r) == KEYS
    assert all(r[k] == [] for k in COLUMNS)
