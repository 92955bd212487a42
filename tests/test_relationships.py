"""The rules every extractor applies to its relationships, the same for all four: which objects
and which definitions give rows, in what order, and extract_all agreeing with each alone."""
import pytest

import quarnel
from conftest import corpus, corpus_params, rows_after_guid, table_rows

W1, W2 = "WALL000000000000000001", "WALL000000000000000002"
OBJECTS = f"""#1=IFCWALL('{W1}',$,'W',$,$,$,$,$);
#2=IFCWALL('{W2}',$,$,$,$,$,$,$);
#3=IFCWALL('SHORT',$,$,$,$,$,$,$);
#4=ifcwall('LOWERCASEWALL000000001',$,$,$,$,$,$,$);
#5=IFCSLAB('WALL00000000000000000\\X\\41',$,$,$,$,$,$,$);
#6=IFCPROPERTYSINGLEVALUE('ABCDEFGHIJKLMNOPQRSTUV',$,$,$);
"""
# Per extractor: its relationship type and a definition #11 that gives one row per object.
EXTRACTORS = {
    "psets": ("IFCRELDEFINESBYPROPERTIES", "#10=IFCPROPERTYSINGLEVALUE('P',$,IFCLABEL('v'),$);"
              "#11=IFCPROPERTYSET('PSET000000000000000001',$,'Pset',$,(#10));"),
    "quantities": ("IFCRELDEFINESBYPROPERTIES", "#10=IFCQUANTITYLENGTH('L',$,$,2.,$);"
                   "#11=IFCELEMENTQUANTITY('QSET000000000000000001',$,'Qto',$,$,(#10));"),
    "materials": ("IFCRELASSOCIATESMATERIAL", "#11=IFCMATERIAL('M',$,'C');"),
    "classifications": ("IFCRELASSOCIATESCLASSIFICATION",
                        "#10=IFCCLASSIFICATION('P','E',$,'S');#11=IFCCLASSIFICATIONREFERENCE('L','I','N',#10);"),
}
CALLS = {"psets": quarnel.extract_psets, "quantities": quarnel.extract_quantities,
         "materials": quarnel.extract_materials, "classifications": quarnel.extract_classifications}


def extract(write_ifc, table, attributes, definitions=None, relationship=None):
    rel_type, defs = EXTRACTORS[table]
    path = write_ifc(f"{OBJECTS}{definitions or defs}\n#90={relationship or rel_type}"
                     f"('REL0000000000000000001',$,$,$,{attributes});")
    alone = CALLS[table](path)
    assert table_rows(quarnel.extract_all(path)[table], table) == table_rows(alone, table)
    return alone


@pytest.mark.parametrize("table", EXTRACTORS)
@pytest.mark.parametrize("attributes, guids", [
    ("(#1,#2,#99,#1),#11", [W1, W2, W1]),
    ("#1,#11", [W1]),
    ("(#5,#6),#11", ["WALL00000000000000000A", "ABCDEFGHIJKLMNOPQRSTUV"]),
    ("(#3,#4),#11", []),
    ("$,#11", []),
    ("(),#11", []),
    ("(#1),$", []),
    ("(#1),(#11)", []),
    ("(#1)", []),
], ids=["order-duplicates-dangling", "single-object", "escaped-and-any-type", "short-id-and-lower-case",
        "objects-unset", "objects-empty", "relating-unset", "relating-a-list", "too-few-attributes"])
def test_objects_and_definitions(write_ifc, table, attributes, guids):
    assert extract(write_ifc, table, attributes)["guid"] == guids


@pytest.mark.parametrize("table", EXTRACTORS)
def test_types_in_any_case(write_ifc, table):
    rel_type, defs = EXTRACTORS[table]
    lower = extract(write_ifc, table, "(#1),#11", defs.replace("IFC", "Ifc"), rel_type.lower())
    assert table_rows(lower, table) == table_rows(extract(write_ifc, table, "(#1),#11"), table)
    assert lower["guid"] == [W1]


@pytest.mark.parametrize("table, rows", [
    ("psets", []), ("quantities", []), ("classifications", []),
    ("materials", [("unknown", -1, None, None, None)]),  # an association is reported even when unresolved
])
def test_dangling_definition(write_ifc, table, rows):
    result = extract(write_ifc, table, "(#1),#77")
    assert rows_after_guid(result, table) == rows


@pytest.mark.parametrize("table", EXTRACTORS)
def test_later_statement_with_the_same_id_replaces_the_definition(write_ifc, table):
    _, defs = EXTRACTORS[table]
    twice = extract(write_ifc, table, "(#1),#11", defs + defs.replace("'P'", "'Q'").replace("'L'", "'K'")
                    .replace("'M'", "'N'").replace("'Pset'", "'Other'"))
    once = extract(write_ifc, table, "(#1),#11")
    assert len(twice["guid"]) == len(once["guid"]) == 1
    assert table_rows(twice, table) != table_rows(once, table)


@corpus
@pytest.mark.parametrize("path", corpus_params())
def test_extract_all_equals_each_extractor_alone(path):
    combined = quarnel.extract_all(path)
    for table, call in CALLS.items():
        assert table_rows(combined[table], table) == table_rows(call(path), table), table
    assert combined["total_ms"] >= sum(v for k, v in combined.items() if k.endswith("_ms") and k != "total_ms")
