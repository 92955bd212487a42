import ast
import os
import pathlib

import pyarrow as pa
import pytest

import quarnel
from clitools import FUNCTIONS
from conftest import SAMPLE
from quarnel.registry import TABLES

PACKAGE = pathlib.Path(quarnel.__file__).parent


class Custom:
    def __init__(self, path):
        self.path = path

    def __fspath__(self):
        return self.path


@pytest.mark.parametrize("name", FUNCTIONS)
@pytest.mark.parametrize("path", [str(SAMPLE), SAMPLE, Custom(str(SAMPLE)), Custom(os.fsencode(SAMPLE))],
                         ids=["str", "pathlib", "pathlike", "bytes pathlike"])
def test_functions_accept_str_and_pathlike(name, path):
    assert getattr(quarnel, name)(path)["size_bytes"] == SAMPLE.stat().st_size


@pytest.mark.parametrize("call, error, message", [
    (lambda: quarnel.extract_psets(pathlib.Path("no/such/model.ifc")), OSError, "open no/such/model.ifc: "),
    (lambda: quarnel.read_table(pathlib.Path("no/such/model.ifc")), OSError, "open no/such/model.ifc: "),
    (lambda: quarnel.extract_psets(None), TypeError, ""),
    (lambda: quarnel.extract_psets(b"model.ifc"), TypeError, ""),
    (lambda: quarnel._core.extract_psets(SAMPLE), TypeError, ""),  # the native module takes str only
    (lambda: quarnel.read_table(SAMPLE, "walls"), ValueError, "no table 'walls'"),
    (lambda: quarnel.read_table(SAMPLE, "psets", ["guid", "colour"]), KeyError, "no column 'colour'"),
])
def test_bad_arguments(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert message in str(raised.value)


def stubs():
    """The stubs' TypedDicts: class names, keys(class) -> {key: annotation} (bases' keys first),
    and the class each function returns."""
    tree = ast.parse((PACKAGE / "_core.pyi").read_text())
    classes = {node.name: node for node in tree.body if isinstance(node, ast.ClassDef)}

    def keys(name):
        node = classes[name]
        own = {n.target.id: ast.unparse(n.annotation) for n in node.body if isinstance(n, ast.AnnAssign)}
        return {k: v for b in node.bases if b.id != "TypedDict" for k, v in keys(b.id).items()} | own

    returns = {node.name: node.returns.id for node in tree.body if isinstance(node, ast.FunctionDef)}
    return classes, keys, returns


@pytest.mark.parametrize("name", FUNCTIONS)
def test_stub_keys_match_results(name):
    classes, keys, returns = stubs()
    result = getattr(quarnel, name)(str(SAMPLE))
    expected = keys(returns[name])
    assert list(result) == list(expected)
    for key, annotation in expected.items():
        if annotation in classes:
            assert list(result[key]) == list(keys(annotation)), key


KIND_OF_STUB = {"List[int]": "int", "List[Optional[int]]": "int", "List[float]": "float",
                "List[Optional[float]]": "float", "List[str]": "str", "List[Optional[str]]": "str"}
ARROW_OF_KIND = {"int": pa.int64(), "float": pa.float64(), "str": pa.string(),
                 "dict": pa.dictionary(pa.int32(), pa.string())}


@pytest.mark.parametrize("table", list(TABLES))
def test_registry_agrees_with_stubs_and_arrow_schema(table):
    _, keys, returns = stubs()
    t = TABLES[table]
    schema = quarnel.table_schema(table)
    assert schema == pa.schema([(c, ARROW_OF_KIND[k]) for c, k in t.columns])
    assert quarnel.read_table(str(SAMPLE), table).schema.remove_metadata() == schema
    if not t.call:
        return  # a table of the Arrow face alone: no dict result to agree with
    fields = keys(returns[t.call])
    if table == "type_counts":
        assert fields[table] == "Dict[str, int]"
        stub = {"entity": "List[str]", "count": "List[int]"}
    elif table in fields:
        stub = keys(fields[table])
    else:  # a flat result: its lists are the table
        stub = {k: v for k, v in fields.items() if v.startswith("List")}
    assert list(stub) == list(t.dict_column_names)
    assert [KIND_OF_STUB[a] for a in stub.values()] == [k.replace("dict", "str") for c, k in t.columns
                                                        if c in t.dict_column_names]


def test_package_ships_stubs_and_marker():
    assert (PACKAGE / "py.typed").is_file()
    assert sorted(stubs()[2]) == sorted(FUNCTIONS)
