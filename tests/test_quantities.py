from collections import Counter

import pytest

import quarnel

from conftest import COLUMNS, WALL, related, table_rows

COLUMNS = COLUMNS["quantities"]
WALL2 = "WALL000000000000000002"


def one_quantity(quantity):
    return related("quantities", f"#2={quantity};#3=IFCELEMENTQUANTITY('QSET000000000000000001',$,'Qto_Base',$,$,(#2));",
                   "#3")


@pytest.mark.parametrize("quantity, expected", [
    ("IFCQUANTITYLENGTH('Width',$,#7,200.,$)", ("Width", "200", "Length", 7)),
    ("IFCQUANTITYAREA('NetArea',$,$,12.345,$)", ("NetArea", "12.345", "Area", None)),
    ("IFCQUANTITYCOUNT('Count',$,$,4.,$)", ("Count", "4", "Count", None)),
    ("IFCQUANTITYVOLUME('V',$,#9)", ("V", None, "Volume", 9)),
    ("IFCQUANTITYVOLUME('V')", ("V", None, "Volume", None)),
    ("IFCQUANTITYWEIGHT('M',$,$,$,$)", ("M", None, "Weight", None)),
    ("IFCQUANTITYTIME('T',$,$,1.5E-7,$)", ("T", "0.00000015", "Time", None)),
    # A typed value is no number; a unit that is no reference is absent.
    ("IFCQUANTITYLENGTH('L',$,'#7',IFCLENGTHMEASURE(2.),$)", ("L", None, "Length", None)),
    ("IFCQUANTITYLENGTH($,$,$,1.,$)", ("", "1", "Length", None)),
    ("IFCQUANTITYLENGTH('',$,$,1.,$)", ("", "1", "Length", None)),
    ("IFCQUANTITYLENGTH()", ("", None, "Length", None)),
])
def test_quantity_rendering(write_ifc, quantity, expected):
    r = quarnel.extract_quantities(write_ifc(one_quantity(quantity)))
    assert list(zip(*(r[k] for k in COLUMNS))) == [(WALL, "Qto_Base") + expected]


@pytest.mark.parametrize("quantity", [
    "IFCPHYSICALCOMPLEXQUANTITY('C',$,(#9),'D',$,$)",
    "IFCQUANTITYNUMBER('N',$,$,3.,$)",
    "IFCPROPERTYSINGLEVALUE('P',$,IFCREAL(1.),$)",
    "IFCQUANTITYLENGTHS('L',$,$,1.,$)",
])
def test_other_members_of_a_set_give_no_row(write_ifc, quantity):
    r = quarnel.extract_quantities(write_ifc(one_quantity(quantity)))
    assert r["guid"] == []


# Members of a set: dangling, repeated, complex and non-reference entries; sets without a name,
# with a name that is no text, listing themselves, with a bare member or too few attributes.
# (Which objects and definitions a relationship gives: test_relationships.)
JOIN_MODEL = f"""
#1=IFCWALL('{WALL}',$,'W',$,$,$,$,$);
#2=IFCWALL('{WALL2}',$,'W2',$,$,$,$,$);
#10=IFCQUANTITYLENGTH('Length',$,$,3.,$);
#11=IFCQUANTITYAREA('Area',$,$,6.,$);
#12=IFCPHYSICALCOMPLEXQUANTITY('Complex',$,(#10),'D',$,$);
#20=ifcelementquantity('QSET000000000000000001',$,'Qto_A',$,$,(#10,#12,#99,#11,#10,'x',$));
#21=IFCELEMENTQUANTITY('QSET000000000000000002',$,$,$,$,(#11));
#22=IFCELEMENTQUANTITY('QSET000000000000000003',$,'Single',$,$,#11);
#23=IFCELEMENTQUANTITY('QSET000000000000000004',$,'Short',$,$);
#25=IFCELEMENTQUANTITY('QSET000000000000000005',$,#10,$,$,(#10,#25));
#24=IFCPROPERTYSET('PSET000000000000000001',$,'Pset',$,(#30));
#30=IFCPROPERTYSINGLEVALUE('P',$,IFCREAL(1.),$);
#40=IFCRELDEFINESBYPROPERTIES('REL0000000000000000001',$,$,$,(#1),#20);
#41=IFCRELDEFINESBYPROPERTIES('REL0000000000000000002',$,$,$,(#2),#21);
#42=IFCRELDEFINESBYPROPERTIES('REL0000000000000000003',$,$,$,(#1),#22);
#43=IFCRELDEFINESBYPROPERTIES('REL0000000000000000004',$,$,$,(#1),#23);
#44=IFCRELDEFINESBYPROPERTIES('REL0000000000000000005',$,$,$,(#1),#24);
#45=IFCRELDEFINESBYPROPERTIES('REL0000000000000000006',$,$,$,(#2),#25);
"""


def test_join(write_ifc):
    r = quarnel.extract_quantities(write_ifc(JOIN_MODEL))
    assert table_rows(r, "quantities") == Counter([(WALL, "Qto_A", "Length", "3", "Length", None), (WALL, "Qto_A", "Area", "6", "Area", None),
                               (WALL, "Qto_A", "Length", "3", "Length", None), (WALL2, "", "Area", "6", "Area", None),
                               (WALL2, "", "Length", "3", "Length", None)])
