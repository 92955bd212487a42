"""What the seven functions share: one `path` argument, the same errors, and results laid out as
the stubs (_core.pyi) declare them: keys in order, columns of equal length and of the declared
kinds, timings in milliseconds, the file size."""
import ast
import os
import pathlib
import runpy
import stat
import threading

import pyarrow as pa
import pytest

import quarnel
from conftest import FUNCTIONS, SAMPLE, building, failing_calls, ifc_text
from quarnel import _arrow, _core
from quarnel.registry import TABLES

PACKAGE = pathlib.Path(quarnel.__file__).resolve().parent
ROOT = pathlib.Path(__file__).resolve().parent.parent
MODELS = {
    "empty": b"",
    "no-data": b"ISO-10303-21;\nHEADER;\nENDSEC;\nEND-ISO-10303-21;\n",
    "walls": ifc_text(building(3, geometry=True)).encode(),
}
KINDS = {"int": int, "float": float, "str": str}


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


def conforms(value, annotation, classes, keys):
    """Asserts that `value` is of the stub annotation, a TypedDict's lists of one length; the
    length of a list, else None."""
    if annotation in classes:
        declared = keys(annotation)
        assert list(value) == list(declared), annotation
        lengths = {conforms(value[k], a, classes, keys) for k, a in declared.items()} - {None}
        assert len(lengths) <= 1, f"columns of unequal length in {annotation}"
    elif annotation.startswith("List["):
        assert all(conforms(v, annotation[5:-1], classes, keys) is None for v in value)
        return len(value)
    elif annotation == "Dict[str, int]":
        assert all(type(k) is str and type(v) is int for k, v in value.items())
    elif annotation.startswith("Optional["):
        assert value is None or conforms(value, annotation[9:-1], classes, keys) is None
    else:
        assert type(value) is KINDS[annotation], (annotation, value)
    return None


@pytest.mark.parametrize("model", MODELS)
@pytest.mark.parametrize("name", FUNCTIONS)
def test_result_layout(write_ifc, name, model):
    path = write_ifc(MODELS[model], raw=True)
    result = getattr(_core, name)(path)
    classes, keys, returns = stubs()
    conforms(result, returns[name], classes, keys)
    assert result["size_bytes"] == os.path.getsize(path)
    assert all(v >= 0.0 for k, v in result.items() if k.endswith("_ms"))
    tables = [v for v in result.values() if isinstance(v, dict) and v and isinstance(next(iter(v.values())), list)]
    counts = [len(next(iter(t.values()))) for t in tables] or [len(result["guid"])]
    assert bool(counts[0]) == (model == "walls") and (model == "walls" or not any(counts))


def test_package_ships_stubs_of_every_function_and_marker():
    assert (PACKAGE / "py.typed").is_file()
    assert sorted(stubs()[2]) == sorted(FUNCTIONS)


def test_stubs_are_made_from_the_catalogue():
    # A key or column changed in the catalogue without `python tools/gen_stubs.py` fails here.
    render = runpy.run_path(str(ROOT / "tools" / "gen_stubs.py"))["render"]
    assert (PACKAGE / "_core.pyi").read_text() == render(_arrow.catalogue())


ARROW = {"int": pa.int64(), "float": pa.float64(), "str": pa.string(), "dict": pa.dictionary(pa.int32(), pa.string())}


# The dict columns a table names are its result's (test_tables), whose keys and kinds are the stubs' (above).
@pytest.mark.parametrize("table", list(TABLES))
def test_table_schemas_are_the_declared_ones(table):
    schema = quarnel.table_schema(table)
    assert schema == pa.schema([(c, ARROW[k]) for c, k in TABLES[table].columns])
    assert quarnel.read_table(str(SAMPLE), table).schema.remove_metadata() == schema


class Custom:
    def __init__(self, path):
        self.path = path

    def __fspath__(self):
        return self.path


@pytest.mark.parametrize("name", FUNCTIONS)
def test_path_as_keyword_str_subclass_or_pathlike(write_ifc, name):
    class Name(str):
        pass

    path = write_ifc(MODELS["walls"], raw=True)
    calls = [lambda: getattr(_core, name)(path=path), lambda: getattr(_core, name)(Name(path))]
    calls += [lambda p=p: getattr(quarnel, name)(p) for p in (pathlib.Path(path), Custom(path), Custom(os.fsencode(path)))]
    assert {call()["size_bytes"] for call in calls} == {len(MODELS["walls"])}
    with pytest.raises(TypeError, match="path must be str or os.PathLike, not NoneType"):
        getattr(quarnel, name)(None)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_failing_calls(tmp_path, name):
    function = getattr(_core, name)
    for what, args, kwargs, error, message in failing_calls(tmp_path):
        with pytest.raises(error, match=message) as info:
            function(*args, **kwargs)
        if error is OSError:
            assert info.value.errno is None and info.value.filename is None, what
            assert info.value.args == (str(info.value),), what
    if os.geteuid() != 0:  # root reads any file
        secret = tmp_path / "secret.ifc"
        secret.write_text("")
        secret.chmod(0)
        with pytest.raises(OSError, match=r"^open .*Permission denied \(os error 13\)$"):
            function(str(secret))
        secret.chmod(stat.S_IRUSR | stat.S_IWUSR)


def test_fifo_does_not_block(tmp_path):
    fifo = tmp_path / "pipe.ifc"
    os.mkfifo(fifo)
    outcome = {}

    def call():
        try:
            _core.extract_psets(str(fifo))
        except OSError as exc:
            outcome["error"] = str(exc)

    worker = threading.Thread(target=call, daemon=True)
    worker.start()
    worker.join(10)
    if worker.is_alive():  # unblock the thread before failing
        with open(fifo, "wb"):
            pass
        pytest.fail("opening a FIFO blocked")
    assert outcome["error"].startswith(f"mmap {fifo}: ")


def test_sub_interpreter_refused():
    interpreters = pytest.importorskip("_xxsubinterpreters")
    interp = interpreters.create()
    try:
        interpreters.run_string(interp, (
            "try:\n    import quarnel._core\nexcept ImportError as e:\n    assert 'sub-interpreter' in str(e)\n"
            "else:\n    raise AssertionError('imported')\n"))
    finally:
        interpreters.destroy(interp)
