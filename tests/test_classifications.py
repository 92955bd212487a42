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
