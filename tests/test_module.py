"""What the seven functions share: one `path` argument, the same errors, and results laid out
the same way (keys in order, columns of equal length, timings in milliseconds, the file size)."""
import os
import stat
import threading

import pytest

from conftest import COLUMNS, building, ifc_text
from quarnel import _core

EXTRACTOR_TAIL = "open_ms entity_table_ms guid_index_ms {}_extract_ms marshal_ms size_bytes"
KEYS = {
    "index_ifc": "schema project_name authoring_app unit_scale size_bytes open_ms index_ms type_counts products "
                 "storeys contained_in aggregates storey_building sites buildings projects spaces marshal_ms",
    "extract_psets": " ".join(COLUMNS["psets"]) + " " + EXTRACTOR_TAIL.format("pset"),
    "extract_quantities": " ".join(COLUMNS["quantities"]) + " " + EXTRACTOR_TAIL.format("qto"),
    "extract_materials": " ".join(COLUMNS["materials"]) + " " + EXTRACTOR_TAIL.format("materials"),
    "extract_classifications": " ".join(COLUMNS["classifications"]) + " " + EXTRACTOR_TAIL.format("classifications"),
    "extract_all": "psets quantities materials classifications open_ms entity_table_ms guid_index_ms "
                   "psets_extract_ms quantities_extract_ms materials_extract_ms classifications_extract_ms "
                   "marshal_ms total_ms size_bytes",
    "analyse_drift": "guid entity source triangle_count surface_area volume_abs placement_x placement_y placement_z "
                     "centroid_x centroid_y centroid_z drift_distance max_extent drift_ratio drift_severity "
                     "drift_ok drift_warn drift_error mesh_emission_ms entity_table_ms total_ms size_bytes",
}
INNER = {
    "products": "step_id guid entity name predefined_type object_type tag",
    "storeys": "step_id guid name elevation building_step_id",
    "contained_in": "child structure", "aggregates": "child parent", "storey_building": "storey building",
    "sites": "step_id guid", "buildings": "step_id guid", "projects": "step_id guid", "spaces": "step_id guid",
    **{table: " ".join(columns) for table, columns in COLUMNS.items()},
}
FUNCTIONS = list(KEYS)
MODELS = {
    "empty": b"",
    "no-data": b"ISO-10303-21;\nHEADER;\nENDSEC;\nEND-ISO-10303-21;\n",
    "walls": ifc_text(building(3, geometry=True)).encode(),
}


def check_columns(table, keys):
    assert keys is None or list(table) == keys.split()
    assert len({len(table[k]) for k in table}) <= 1, "columns of unequal length"
    return len(next(iter(table.values())))


@pytest.mark.parametrize("model", MODELS)
@pytest.mark.parametrize("name", FUNCTIONS)
def test_result_layout(write_ifc, name, model):
    path = write_ifc(MODELS[model], raw=True)
    result = getattr(_core, name)(path)
    assert list(result) == KEYS[name].split()
    assert result["size_bytes"] == os.path.getsize(path) and type(result["size_bytes"]) is int
    assert all(type(v) is float and v >= 0.0 for k, v in result.items() if k.endswith("_ms"))
    tables = {k: v for k, v in result.items() if isinstance(v, dict) and k != "type_counts"} or {
        None: {k: v for k, v in result.items() if isinstance(v, list)}}
    counts = [check_columns(table, INNER.get(key)) for key, table in tables.items()]
    if model == "walls":
        assert all(counts[:1]), "rows of the walls"
    else:
        assert not any(counts)


@pytest.mark.parametrize("name", FUNCTIONS)
@pytest.mark.parametrize("args, kwargs", [
    ((), {}), (("a.ifc", "b.ifc"), {}), ((), {"file": "a.ifc"}), (("a.ifc",), {"path": "a.ifc"}),
    ((), {"path": "a.ifc", "other": 1}),
], ids=["none", "two", "unknown-keyword", "twice", "extra-keyword"])
def test_binding_errors(name, args, kwargs):
    with pytest.raises(TypeError):
        getattr(_core, name)(*args, **kwargs)


@pytest.mark.parametrize("name", FUNCTIONS)
@pytest.mark.parametrize("value", [pytest.param(os.curdir, id="pathlike"), b"model.ifc", 3, None])
def test_path_must_be_str(name, value):
    import pathlib

    value = pathlib.Path(value) if value == os.curdir else value
    with pytest.raises(TypeError) as info:
        getattr(_core, name)(value)
    assert "path" in str(info.value) and type(value).__name__ in str(info.value)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_keyword_and_str_subclass(write_ifc, name):
    class Name(str):
        pass

    path = write_ifc(MODELS["walls"], raw=True)
    function = getattr(_core, name)
    assert function(path=path)["size_bytes"] == function(Name(path))["size_bytes"] == len(MODELS["walls"])
    with pytest.raises(UnicodeEncodeError):
        function("bad\udc80.ifc")


@pytest.mark.parametrize("name", FUNCTIONS)
def test_file_errors(tmp_path, name):
    function = getattr(_core, name)
    missing = str(tmp_path / "missing.ifc")
    with pytest.raises(OSError) as info:
        function(missing)
    assert str(info.value) == f"open {missing}: No such file or directory (os error 2)"
    assert info.value.errno is None and info.value.filename is None and info.value.args == (str(info.value),)
    with pytest.raises(OSError, match="^open a\x00b.ifc: file name contained an unexpected NUL byte$"):
        function("a\x00b.ifc")
    with pytest.raises(OSError, match=r"^mmap .*\(os error \d+\)$"):
        function(str(tmp_path))
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
