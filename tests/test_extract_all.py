"""extract_all reads the four tables in one pass: the same rows as each extractor alone."""
from collections import Counter

import pytest

import quarnel
from conftest import corpus, corpus_params, table_rows

SINGLE = {"psets": quarnel.extract_psets, "quantities": quarnel.extract_quantities,
          "materials": quarnel.extract_materials, "classifications": quarnel.extract_classifications}


def check_against_single_functions(path):
    combined = quarnel.extract_all(path)
    for table, single in SINGLE.items():
        assert table_rows(combined[table], table) == table_rows(single(path), table), table
    return combined


def rows(table, columns):
    return Counter(zip(*(table[c] for c in columns)))


W1, W2 = "WALL000000000000000001", "WALL000000000000000002"
EVERYTHING = f"""
#1=IFCWALL('{W1}',$,'W',$,$,$,$,$);
#2=IFCWALL('{W2}',$,'W',$,$,$,$,$);
#3=IFCWALL('SHORT',$,$,$,$,$,$,$);
#10=IFCPROPERTYSINGLEVALUE('P',$,IFCLABEL('x'),$);
#11=IFCPROPERTYSET('PSET000000000000000001',$,'Pset',$,(#10,#12,#99));
#12=IFCQUANTITYLENGTH('L',$,#7,2.,$);
#13=IFCELEMENTQUANTITY('QSET000000000000000001',$,'Qto',$,$,(#12,#10,#98));
#20=IFCRELDEFINESBYPROPERTIES('REL0000000000000000001',$,$,$,(#1,#2,#3,#1),#11);
#21=IFCRELDEFINESBYPROPERTIES('REL0000000000000000002',$,$,$,(#1,#2,#99),#13);
#22=IFCRELDEFINESBYPROPERTIES('REL0000000000000000003',$,$,$,(#1));
#30=IFCMATERIAL('Concrete',$,'Structural');
#31=IFCMATERIALLAYER(#30,200.,$,$,$,$,$);
#32=IFCMATERIALLAYERSET((#31,#32,#99,#31),$,$);
#33=IFCMATERIALLAYERSETUSAGE(#32,.AXIS2.,.POSITIVE.,0.,$);
#34=IFCMATERIALLAYERSETUSAGE(#33,.AXIS2.,.POSITIVE.,0.,$);
#35=IFCMATERIALLIST((#30,#31));
#40=IFCRELASSOCIATESMATERIAL('REL0000000000000000004',$,$,$,(#1),#33);
#41=IFCRELASSOCIATESMATERIAL('REL0000000000000000005',$,$,$,(#2),#34);
#42=IFCRELASSOCIATESMATERIAL('REL0000000000000000006',$,$,$,(#1,#2),#35);
#43=IFCRELASSOCIATESMATERIAL('REL0000000000000000007',$,$,$,(#1),#30);
#44=IFCRELASSOCIATESMATERIAL('REL0000000000000000008',$,$,$,(#1),'#30');
#50=IFCCLASSIFICATION('P','E',$,'S');
#51=IFCCLASSIFICATIONREFERENCE('L','I','N',#50);
#52=IFCCLASSIFICATIONREFERENCE('L2','I2','N2',#51);
#60=IFCRELASSOCIATESCLASSIFICATION('REL0000000000000000009',$,$,$,(#1,#2),#51);
#61=IFCRELASSOCIATESCLASSIFICATION('REL0000000000000000010',$,$,$,(#2),#52);
#62=IFCRELASSOCIATESCLASSIFICATION('REL0000000000000000011',$,$,$,(#2),#50);
#63=IFCRELASSOCIATESCLASSIFICATION('REL0000000000000000012',$,$,$,(#2),$);
"""


def test_hand_written_model(write_ifc):
    r = check_against_single_functions(write_ifc(EVERYTHING))
    assert rows(r["psets"], ["guid"]) == {(W1,): 2, (W2,): 1}
    assert rows(r["quantities"], ["guid", "value", "unit_step_id"]) == {(W1, "2", 7): 1, (W2, "2", 7): 1}
    assert rows(r["materials"], ["guid", "role", "layer_index"]) == {
        (W1, "layer", 0): 1, (W1, "layer", 3): 1, (W2, "unknown", -1): 1,
        (W1, "list", 0): 1, (W2, "list", 0): 1, (W1, "direct", -1): 1,
    }
    assert rows(r["classifications"], ["guid", "system_name", "identification"]) == {
        (W1, "S", "I"): 1, (W2, "S", "I"): 1, (W2, None, "I2"): 1, (W2, "S", None): 1,
    }


@corpus
@pytest.mark.parametrize("path", corpus_params())
def test_corpus(path):
    r = check_against_single_functions(path)
    assert r["total_ms"] >= sum(v for k, v in r.items() if k.endswith("_ms") and k != "total_ms")
