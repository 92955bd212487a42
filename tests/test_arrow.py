"""The Arrow face: every table equals its dict result, holds each dictionary text once and
converts to pandas, Polars and DuckDB, the streams feed pyarrow, Polars and DuckDB, and nothing
leaks (test_concurrency: nothing races)."""

import gc
import os
import pathlib
from collections import Counter

import pytest

import quarnel
from quarnel import _core
from quarnel.arrow import read_streams
from quarnel.registry import TABLES
from clitools import rows
from conftest import SANITIZED, SAMPLE, assert_tables_whole, building, corpus_params, ifc_text, rss_bytes
from hostile_files import mini  # noqa: F401 (a fixture)

pa = pytest.importorskip("pyarrow")
CALLS = min(int(os.environ.get("QUARNEL_STRESS_CALLS", "1000")), 1000)


@pytest.fixture(scope="module")
def many_props(tmp_path_factory):
    """1,000 walls with two properties each: a leaked batch would be tens of kilobytes."""
    path = tmp_path_factory.mktemp("many") / "many.ifc"
    path.write_text(ifc_text(building(1000)), encoding="latin-1")
    return str(path)


def dict_columns(results, name):
    """The columns of table `name` from the dict results of its native call."""
    result = results[TABLES[name].call]
    if name == "type_counts":
        return {"entity": list(result["type_counts"]), "count": list(result["type_counts"].values())}
    return result[name] if isinstance(result.get(name), dict) else result


def scalar_facts(result):
    return {k: v for k, v in result.items() if not isinstance(v, (dict, list)) and v is not None}


@pytest.mark.parametrize("path", [pytest.param(str(SAMPLE), id="sample"), *corpus_params()])
def test_every_table_equals_its_dict_result(path):
    tables = quarnel.read_tables(path)
    results = {call: getattr(_core, call)(path) for call in {t.call for t in TABLES.values() if t.call}}
    for name, table in tables.items():
        if not TABLES[name].call:
            continue  # Arrow-only tables have no dict result
        assert table.column_names == list(TABLES[name].column_names)
        expected = dict_columns(results, name)
        # Columns only the Arrow face has (the drift placement class) are checked on their own.
        names = [n for n in TABLES[name].column_names if n in expected]
        # Type names the dict face keeps in the file's spelling: the same names, schema-spelled.
        respelled = {n: {v: v for v in table.column(n).to_pylist() if v} for n in TABLES[name].respelled}
        by_case = {n: {v.lower(): v for v in spelled} for n, spelled in respelled.items()}
        expected = {n: [by_case[n].get(v.lower(), v) if v and n in by_case else v for v in expected[n]] for n in names}
        assert rows(table.select(names)) == rows(expected), name
        assert all(len(expected[n]) == table.num_rows for n in names), name
        # ... as the tables that read the schema's spelling have them.
        spelled = {v.lower(): v for t, c in (("products", "entity"), ("properties", "entity"), ("properties", "value_type"))
                   for v in tables[t].column(c).to_pylist() if v}
        for n in TABLES[name].respelled:
            assert {v: spelled.get(v.lower(), v) for v in table.column(n).to_pylist() if v} == respelled[n], (name, n)
        facts = {k.decode(): v.decode() for k, v in table.schema.metadata.items()}
        dict_facts = scalar_facts(results[TABLES[name].call])
        # The area, volume and angle units are facts of the Arrow face only (the IDS checks read them).
        only_arrow = {"marshal_ms", "area_unit_scale", "volume_unit_scale", "angle_unit_scale"}
        assert set(facts) - only_arrow == set(dict_facts) - only_arrow, name
        for key, value in dict_facts.items():
            if not key.endswith("_ms"):
                assert facts[key] == str(value), (name, key)
    # Property rows come in the order of the dict result, not only as the same multiset.
    assert tables["psets"].column("guid").to_pylist() == results["extract_psets"]["guid"]
    assert_tables_whole(tables)


@pytest.mark.parametrize("table, columns", [
    ("psets", ["value", "guid"]),
    ("materials", ["layer_thickness_mm"]),
    ("products", ["entity", "step_id"]),
    ("drift", []),
])
def test_column_selection_builds_those_columns_in_that_order(mini, table, columns):
    whole = quarnel.read_table(mini, table)
    picked = quarnel.read_table(mini, table, columns)
    assert picked.column_names == columns
    for c in columns:
        assert picked.column(c).equals(whole.column(c))


def test_a_column_asked_for_twice_comes_whole_both_times(mini):
    # The export takes apart the sources of a read that is done with them, but not one that two
    # of its columns read.
    whole = quarnel.read_table(mini, "properties")
    columns = ["guid", "number", "guid", "number", "kind"]
    picked = quarnel.read_table(mini, "properties", columns)
    for i, c in enumerate(columns):
        assert picked.column(i).equals(whole.column(c)), (i, c)


def test_unknown_names_raise(mini):
    with pytest.raises(ValueError, match="no table 'walls'"):
        quarnel.read_table(mini, "walls")
    with pytest.raises(KeyError, match="no column 'colour'"):
        quarnel.read_table(mini, "psets", ["guid", "colour"])


def test_polars_and_duckdb_read_the_stream_and_agree(mini):
    pl = pytest.importorskip("polars")
    duckdb = pytest.importorskip("duckdb")
    kinds = Counter(quarnel.read_table(mini, "psets").column("value_type").to_pylist())
    assert Counter(pl.DataFrame(read_streams(mini, "psets")["psets"])["value_type"].to_list()) == kinds
    stream = read_streams(mini, "psets")["psets"]  # noqa: F841 (read by name in the query)
    assert dict(duckdb.sql("select value_type, count(*) from stream group by value_type").fetchall()) == kinds


@pytest.mark.skipif(SANITIZED, reason="the sanitizer's allocator keeps freed memory in quarantine")
def test_streams_consumed_twice_or_never_leak_nothing(mini, many_props):
    assert quarnel.read_table(many_props).num_rows == 2000

    def consume_twice():
        streams = read_streams(many_props, "psets")
        streams.update(read_streams(mini, ["products", "drift"]))
        for s in streams.values():
            assert pa.table(s).schema == pa.schema(s)  # the schema as often as asked, the rows once
            with pytest.raises(ValueError, match="consumed already"):
                pa.table(s)

    def never():
        streams = read_streams(many_props, "psets")
        streams.update(read_streams(mini, ["products", "drift"]))
        for s in streams.values():
            s.__arrow_c_schema__()  # a capsule dropped unread

    for call in (consume_twice, never):
        for _ in range(100):
            call()
        gc.collect()
        before = rss_bytes()
        for _ in range(CALLS):
            call()
        gc.collect()
        grown = rss_bytes() - before
        assert grown < 4 << 20, f"{call.__name__}: RSS grew by {grown} bytes over {CALLS} calls"


def test_unopenable_file_raises_the_same_oserror(tmp_path):
    missing = str(tmp_path / "missing.ifc")
    with pytest.raises(OSError) as native:
        _core.extract_psets(missing)
    for call in (lambda: quarnel.read_table(pathlib.Path(missing)), lambda: quarnel.read_tables(missing, "all")):
        with pytest.raises(OSError) as arrow:
            call()
        assert type(arrow.value) is type(native.value)
        assert str(arrow.value) == str(native.value)
