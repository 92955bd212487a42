import threading
from collections import Counter

import pytest

import quarnel
from conftest import corpus, corpus_params

INNER = {
    "psets": (quarnel.extract_psets, ["guid", "pset_name", "prop_name", "value", "value_type"]),
    "quantities": (
        quarnel.extract_quantities,
        ["guid", "qto_name", "quantity_name", "value", "quantity_type", "unit_step_id"],
    ),
    "materials": (
        quarnel.extract_materials,
        ["guid", "role", "layer_index", "material_name", "layer_thickness_mm", "category"],
    ),
    "classifications": (
        quarnel.extract_classifications,
        ["guid", "system_name", "edition", "identification", "name", "location", "source"],
    ),
}
TIMINGS = [
    "open_ms", "entity_table_ms", "guid_index_ms", "psets_extract_ms", "quantities_extract_ms",
    "materials_extract_ms", "classifications_extract_ms", "marshal_ms", "total_ms",
]
KEYS = list(INNER) + TIMINGS + ["size_bytes"]


def rows(table, columns):
    lengths = {len(table[c]) for c in columns}
    assert len(lengths) == 1, f"columns of unequal length: {lengths}"
    return Counter(zip(*(table[c] for c in columns)))


def check_against_single_functions(path):
    combined = quarnel.extract_all(path)
    assert list(combined) == KEYS
    for key, (single, columns) in INNER.items():
        inner = combined[key]
        assert list(inner) == columns
        alone = single(path)
        assert list(alone)[: len(columns)] == columns
        assert rows(inner, columns) == rows(alone, columns), key
    return combined


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


def test_escaped_global_id(write_ifc):
    # The decoded identifier lives outside the file: every result must hold its own copy.
    data = EVERYTHING.replace(f"#1=IFCWALL('{W1}'", "#1=IFCWALL('WALL00000000000000000\\X\\41'")
    r = check_against_single_functions(write_ifc(data))
    decoded = "WALL00000000000000000A"
    for key in INNER:
        assert decoded in r[key]["guid"] and W1 not in r[key]["guid"], key


def test_timings(write_ifc):
    path = write_ifc(EVERYTHING)
    r = quarnel.extract_all(path)
    assert all(type(r[k]) is float and r[k] >= 0.0 for k in TIMINGS)
    assert r["total_ms"] >= sum(r[k] for k in TIMINGS[:-1])
    assert r["size_bytes"] == len(open(path, "rb").read())


def test_file_without_relationships(write_ifc):
    r = quarnel.extract_all(write_ifc("#1=IFCWALL('WALL000000000000000001',$,$,$,$,$,$,$);"))
    assert list(r) == KEYS
    for key, (_, columns) in INNER.items():
        assert r[key] == {c: [] for c in columns}


def test_file_without_data_section(write_ifc):
    r = quarnel.extract_all(write_ifc(b"ISO-10303-21;\nHEADER;\nENDSEC;\nEND-ISO-10303-21;\n", raw=True))
    assert list(r) == KEYS
    assert all(not any(r[key].values()) for key in INNER)


def test_missing_file(tmp_path):
    path = str(tmp_path / "missing.ifc")
    with pytest.raises(OSError) as err:
        quarnel.extract_all(path)
    assert str(err.value).startswith(f"open {path}: ")


@pytest.mark.parametrize("function", [f for f, _ in INNER.values()] + [quarnel.extract_all], ids=lambda f: f.__name__)
def test_argument_binding(write_ifc, function):
    path = write_ifc(EVERYTHING)
    assert function(path=path).keys() == function(path).keys()
    with pytest.raises(TypeError):
        function()
    with pytest.raises(TypeError):
        function(path, path)


def test_threads_share_nothing(write_ifc):
    path = write_ifc(EVERYTHING)
    expected = quarnel.extract_all(path)["materials"]
    results = []

    def run():
        for _ in range(20):
            results.append(quarnel.extract_all(path)["materials"])

    threads = [threading.Thread(target=run) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert len(results) == 80
    assert all(r == expected for r in results)


@corpus
@pytest.mark.parametrize("path", corpus_params())
def test_corpus(path):
    r = check_against_single_functions(path)
    assert all(type(r[k]) is float for k in TIMINGS)
