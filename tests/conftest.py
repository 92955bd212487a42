import functools
import os
import pathlib
import re

import pytest

from quarnel.registry import TABLES

ROOT = pathlib.Path(__file__).resolve().parent.parent
CORPUS = ROOT.parent / "shared" / "corpus"
CORPUS_MODELS = sorted(CORPUS.glob("*.ifc")) if CORPUS.is_dir() else []
SAMPLE = ROOT / "examples" / "sample_building.ifc"
# The seven functions of the native module.
FUNCTIONS = ("index_ifc", "extract_psets", "extract_quantities", "extract_materials", "extract_classifications",
             "extract_all", "analyse_drift")

HEADER = """ISO-10303-21;
HEADER;
FILE_DESCRIPTION(('ViewDefinition [CoordinationView]'),'2;1');
FILE_NAME('test.ifc','2026-01-01T00:00:00',(''),(''),'quarnel tests','quarnel','');
FILE_SCHEMA(('IFC4'));
ENDSEC;
DATA;
"""
FOOTER = "ENDSEC;\nEND-ISO-10303-21;\n"
# The sanitizer's allocator keeps freed memory in quarantine and needs an unlimited address space.
SANITIZED = "asan" in os.environ.get("LD_PRELOAD", "")


def rss_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def ifc_text(data: str, header: str = HEADER) -> str:
    """A whole STEP file around the given DATA statements."""
    return header + data.strip("\n") + "\n" + FOOTER


@pytest.fixture
def write_ifc(tmp_path):
    """write_ifc(data, name=..., raw=False) -> path (str) of a small model.

    With raw=True `data` (str or bytes) is written exactly as given."""
    counter = iter(range(1_000_000))

    def write(data, name=None, raw=False):
        path = tmp_path / (name or f"model{next(counter)}.ifc")
        content = data if raw else ifc_text(data)
        if isinstance(content, str):
            content = content.encode("latin-1")
        path.write_bytes(content)
        return str(path)

    return write


corpus = pytest.mark.skipif(not CORPUS_MODELS, reason="../shared/corpus is not present")


def corpus_params():
    return [pytest.param(str(p), id=p.name) for p in CORPUS_MODELS]


@functools.lru_cache(maxsize=None)
def _opened(path):
    import ifcopenshell

    return ifcopenshell.open(path)


def open_with_ifcopenshell(path):
    """The model read by IfcOpenShell, once per test run (the tests only read it); skips the test
    when IfcOpenShell or the model's schema is missing."""
    pytest.importorskip("ifcopenshell")
    try:
        return _opened(str(path))
    except Exception as e:  # schemas IfcOpenShell does not know
        pytest.skip(f"IfcOpenShell cannot open the model: {e}")


def failing_calls(tmp_path):
    """(id, args, kwargs, exception, message pattern) for each way a call of a native function fails."""
    missing = str(tmp_path / "missing.ifc")
    gone = f"^open {re.escape(missing)}: No such file or directory \\(os error 2\\)$"
    return [
        ("missing", (missing,), {}, OSError, gone),
        ("missing-by-keyword", (), {"path": missing}, OSError, gone),
        ("directory", (str(tmp_path),), {}, OSError, r"^mmap .*\(os error \d+\)$"),
        ("nul", ("a\x00b.ifc",), {}, OSError, "^open a\x00b.ifc: file name contained an unexpected NUL byte$"),
        ("lone-surrogate", ("bad\udc80.ifc",), {}, UnicodeEncodeError, None),
        ("bytes", (b"model.ifc",), {}, TypeError, "path.*bytes"),
        ("pathlike", (pathlib.Path("model.ifc"),), {}, TypeError, "path.*PosixPath"),
        ("int", (3,), {}, TypeError, "path.*int"),
        ("none", (None,), {}, TypeError, "path.*NoneType"),
        ("no-argument", (), {}, TypeError, None),
        ("two-arguments", (missing, missing), {}, TypeError, None),
        ("unknown-keyword", (), {"file": missing}, TypeError, None),
        ("path-twice", (missing,), {"path": missing}, TypeError, None),
        ("extra-keyword", (), {"path": missing, "other": 1}, TypeError, None),
    ]


def wall_guid(i):
    return f"W{i:021d}"


def building(walls, geometry=False):
    """DATA of a model whose walls each carry their own property set, quantity set, material
    layers, material list and classification, every text naming its wall, so that rows taken
    from the wrong wall (or the wrong part of the file) show. 20 records per wall (24 with a
    triangle body each)."""
    lines = ["#1=IFCCARTESIANPOINTLIST3D(((0.,0.,0.),(1.,0.,0.),(0.,1.,3.)));"] if geometry else []
    for i in range(walls):
        b = 100 + 24 * i
        body = f"#{b + 22}" if geometry else "$"
        lines.append(f"""#{b}=IFCWALL('{wall_guid(i)}',$,'Wall {i}',$,$,$,{body},$,$);
#{b + 1}=IFCPROPERTYSINGLEVALUE('Name {i}',$,IFCLABEL('value {i}'),$);
#{b + 2}=IFCPROPERTYSINGLEVALUE('Count',$,IFCINTEGER({i}),$);
#{b + 3}=IFCPROPERTYSET('P{i:021d}',$,'Pset {i}',$,(#{b + 1},#{b + 2}));
#{b + 4}=IFCRELDEFINESBYPROPERTIES('R{i:021d}',$,$,$,(#{b}),#{b + 3});
#{b + 5}=IFCQUANTITYLENGTH('Length {i}',$,$,{i}.5,$);
#{b + 6}=IFCQUANTITYAREA('Area',$,$,2.,$);
#{b + 7}=IFCELEMENTQUANTITY('Q{i:021d}',$,'Qto {i}',$,$,(#{b + 5},#{b + 6}));
#{b + 8}=IFCRELDEFINESBYPROPERTIES('S{i:021d}',$,$,$,(#{b}),#{b + 7});
#{b + 9}=IFCMATERIAL('Material {i}',$,'Category {i}');
#{b + 10}=IFCMATERIALLAYER(#{b + 9},{i}.25,$,'Layer {i}',$,$,$);
#{b + 11}=IFCMATERIALLAYER(#{b + 9},10.,$,$,$,$,$);
#{b + 12}=IFCMATERIALLAYERSET((#{b + 10},#{b + 11}),'Set {i}',$);
#{b + 13}=IFCMATERIALLAYERSETUSAGE(#{b + 12},.AXIS2.,.POSITIVE.,0.,$);
#{b + 14}=IFCRELASSOCIATESMATERIAL('M{i:021d}',$,$,$,(#{b}),#{b + 13});
#{b + 15}=IFCMATERIALLIST((#{b + 9}));
#{b + 16}=IFCRELASSOCIATESMATERIAL('L{i:021d}',$,$,$,(#{b}),#{b + 15});
#{b + 17}=IFCCLASSIFICATION('Source {i}','Edition {i}',$,'System {i}',$,$,$);
#{b + 18}=IFCCLASSIFICATIONREFERENCE('Location {i}','Id {i}','Ref {i}',#{b + 17},$,$);
#{b + 19}=IFCRELASSOCIATESCLASSIFICATION('C{i:021d}',$,$,$,(#{b}),#{b + 18});""")
        if geometry:
            lines.append(f"""#{b + 20}=IFCTRIANGULATEDFACESET(#1,$,$,((1,2,3)),$);
#{b + 21}=IFCSHAPEREPRESENTATION($,'Body','Tessellation',(#{b + 20}));
#{b + 22}=IFCPRODUCTDEFINITIONSHAPE($,$,(#{b + 21}));""")
    return "\n".join(lines)


WALL = "WALL000000000000000001"
# The relationship each extractor reads.
RELATIONSHIPS = {"psets": "IFCRELDEFINESBYPROPERTIES", "quantities": "IFCRELDEFINESBYPROPERTIES",
                 "materials": "IFCRELASSOCIATESMATERIAL", "classifications": "IFCRELASSOCIATESCLASSIFICATION"}


def related(table, definitions, relating="#50"):
    """DATA of a wall #1 (GlobalId WALL) and `definitions`, the wall related to `relating` by the
    relationship the extractor `table` reads."""
    return (f"#1=IFCWALL('{WALL}',$,'W',$,$,$,$,$);\n{definitions}\n"
            f"#90={RELATIONSHIPS[table]}('REL0000000000000000001',$,$,$,(#1),{relating});")


# The columns of each extractor's rows, in result order.
COLUMNS = {name: TABLES[name].dict_column_names for name in ("psets", "quantities", "materials", "classifications")}


def table_rows(result, table):
    """An extractor's rows as a multiset of tuples (their order follows hash maps)."""
    from collections import Counter

    return Counter(zip(*(result[c] for c in COLUMNS[table])))


def rows_after_guid(result, table):
    """An extractor's rows without the guid column, in result order."""
    return list(zip(*(result[c] for c in COLUMNS[table][1:])))


def assert_tables_whole(tables):
    """Every dictionary of every table holds each text once, and every table converts to pandas
    (categoricals and Arrow-backed), Polars and DuckDB with all its rows. The test extras have all
    three; the sanitizer pass's environment has none, and checks the dictionaries alone."""
    import importlib.util

    import quarnel

    convert = all(importlib.util.find_spec(m) for m in ("pandas", "polars", "duckdb"))
    for name, table in tables.items():
        for column in table.column_names:
            for chunk in table.column(column).chunks:
                if hasattr(chunk, "dictionary"):
                    texts = chunk.dictionary.to_pylist()
                    assert len(set(texts)) == len(texts), f"{name}.{column}: a text repeats in the dictionary"
        if not convert:
            continue
        import duckdb
        import polars

        assert len(table.to_pandas()) == len(quarnel.to_pandas(table)) == table.num_rows, name
        assert polars.from_arrow(table).height == table.num_rows, name
        assert duckdb.from_arrow(table).to_arrow_table().num_rows == table.num_rows, name
