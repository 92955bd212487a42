import pytest

import quarnel

from conftest import WALL, related, rows_after_guid

SYSTEM = "#5=IFCCLASSIFICATION('Publisher','2020',$,'System A',$,$,$);"
REFERENCE = "#6=IFCCLASSIFICATIONREFERENCE('Shelf 3','03 30 00','Cast concrete',#5,$,$);"


@pytest.mark.parametrize("definitions, relating, expected", [
    (SYSTEM + REFERENCE, "#6", [("System A", "2020", "03 30 00", "Cast concrete", "Shelf 3", "Publisher")]),
    (SYSTEM + REFERENCE, "#5", [("System A", "2020", None, None, None, "Publisher")]),
    (SYSTEM + "#6=IFCCLASSIFICATIONREFERENCE('Shelf 3','03 30 00','Cast concrete',$,$,$);", "#6",
     [(None, None, "03 30 00", "Cast concrete", "Shelf 3", None)]),
    (SYSTEM + REFERENCE + "#7=IFCCLASSIFICATIONREFERENCE('L','B10','Chain',#6);", "#7", [(None, None, "B10", "Chain", "L", None)]),
    (SYSTEM + "#6=IFCCLASSIFICATIONREFERENCE('L','B10','Dangling',#77);", "#6", [(None, None, "B10", "Dangling", "L", None)]),
    (SYSTEM + "#6=IFCCLASSIFICATIONREFERENCE('L','B10','Listed',(#5));", "#6", [(None, None, "B10", "Listed", "L", None)]),
    # A reference shorter than IFC2X3's.
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
])
def test_rows_of_one_association(write_ifc, definitions, relating, expected):
    r = quarnel.extract_classifications(write_ifc(related("classifications", definitions, relating)))
    assert rows_after_guid(r, "classifications") == expected
    assert set(r["guid"]) <= {WALL}


SYSTEM_A = ("System A", "2020", "Publisher")
CHAIN = "#7=IFCCLASSIFICATIONREFERENCE('L','B10','Chain',#6);"


@pytest.mark.parametrize("definitions, relating, expected", [
    (SYSTEM + REFERENCE, "#6", [(0, "03 30 00", "Cast concrete", "Shelf 3", *SYSTEM_A)]),
    (SYSTEM + REFERENCE, "#5", [(0, None, None, None, *SYSTEM_A)]),
    (SYSTEM + REFERENCE + CHAIN, "#7", [(0, "B10", "Chain", "L", *SYSTEM_A),
                                       (1, "03 30 00", "Cast concrete", "Shelf 3", *SYSTEM_A)]),
    (SYSTEM + "#6=IFCCLASSIFICATIONREFERENCE('Shelf 3','03 30 00','Cast concrete',$,$,$);" + CHAIN, "#7",
     [(0, "B10", "Chain", "L", None, None, None), (1, "03 30 00", "Cast concrete", "Shelf 3", None, None, None)]),
    (SYSTEM + "#6=IFCCLASSIFICATIONREFERENCE('L','B10','Dangling',#77);", "#6", [(0, "B10", "Dangling", "L", None, None, None)]),
    # A chain that loops is cut.
    (SYSTEM + "#6=IFCCLASSIFICATIONREFERENCE('L','B10','Self',#6);", "#6",
     [(d, "B10", "Self", "L", None, None, None) for d in range(32)]),
])
def test_reference_chains_up_to_their_classification(write_ifc, definitions, relating, expected):
    path = write_ifc(related("classifications", definitions, relating))
    rows = quarnel.read_table(path, "classification_references").to_pylist()
    assert {r["guid"] for r in rows} == {WALL}
    assert [(r["depth"], r["identification"], r["name"], r["location"], r["system_name"], r["edition"], r["source"])
            for r in rows] == expected


def test_resources_tied_to_a_reference_by_an_external_reference_relationship(write_ifc):
    data = related("classifications", SYSTEM + REFERENCE + CHAIN + "#8=IFCMATERIAL('M',$,$);#9=IFCDOCUMENTREFERENCE('L','D',$,$,$);"
                      "#30=IFCEXTERNALREFERENCERELATIONSHIP($,$,#7,(#8,#1));"
                      "#31=IFCEXTERNALREFERENCERELATIONSHIP($,$,#9,(#8));", "#6")
    rows = quarnel.read_table(write_ifc(data), "classification_references").to_pylist()
    assert [(r["guid"], r["step_id"], r["depth"], r["identification"], r["system_name"]) for r in rows] == [
        (WALL, 1, 0, "03 30 00", "System A"), (None, 8, 0, "B10", "System A"), (None, 8, 1, "03 30 00", "System A"),
        (None, 1, 0, "B10", "System A"), (None, 1, 1, "03 30 00", "System A")]
