import math
import sys

import pytest

import quarnel
from clitools import models
from conftest import SAMPLE
from quarnel.tables import column_kind, table_columns

TIMING_KEYS = ("open_ms", "entity_table_ms", "guid_index_ms", "marshal_ms", "total_ms", "size_bytes")


def same(a, b):
    if isinstance(a, float) and isinstance(b, float) and math.isnan(a) and math.isnan(b):
        return True
    return a == b


def check_frame(frame, columns):
    import pandas as pd

    assert list(frame.columns) == list(columns)
    assert len(frame) == len(next(iter(columns.values())))
    for name, values in columns.items():
        got = frame[name].tolist()
        for g, v in zip(got, values):
            if v is None:
                assert pd.isna(g)  # None, NaN or <NA>
            else:
                assert same(g, v), (name, g, v)


def check_arrow(table, columns):
    assert table.column_names == list(columns)
    for name, values in columns.items():
        assert table.column(name).to_pylist() == values, name


FLAT = [
    pytest.param("extract_psets"),
    pytest.param("extract_quantities"),
    pytest.param("extract_materials"),
    pytest.param("extract_classifications"),
    pytest.param("analyse_drift"),
]


@pytest.mark.parametrize("function", FLAT)
@pytest.mark.parametrize("model", models())
def test_flat_results_become_frames_without_timings(function, model):
    pd = pytest.importorskip("pandas")
    pa = pytest.importorskip("pyarrow")
    result = getattr(quarnel, function)(model)
    columns = {k: v for k, v in result.items() if isinstance(v, list)}
    frame = quarnel.to_pandas(result)
    assert isinstance(frame, pd.DataFrame)
    assert not set(frame.columns) & set(TIMING_KEYS) and "drift_ok" not in frame.columns
    check_frame(frame, columns)
    table = quarnel.to_arrow(result)
    assert isinstance(table, pa.Table)
    check_arrow(table, columns)


@pytest.mark.parametrize("model", models())
def test_extract_all_tables(model):
    pd = pytest.importorskip("pandas")
    pytest.importorskip("pyarrow")
    result = quarnel.extract_all(model)
    frames = quarnel.to_pandas(result)
    assert list(frames) == ["psets", "quantities", "materials", "classifications"]
    for name, frame in frames.items():
        assert isinstance(frame, pd.DataFrame)
        check_frame(frame, result[name])
        check_frame(quarnel.to_pandas(result, table=name), result[name])
        check_frame(quarnel.to_pandas(result[name]), result[name])
        check_arrow(quarnel.to_arrow(result, table=name), result[name])
    with pytest.raises(ValueError, match="psets"):
        table_columns(result)


@pytest.mark.parametrize("model", models())
def test_index_tables(model):
    pytest.importorskip("pandas")
    pytest.importorskip("pyarrow")
    index = quarnel.index_ifc(model)
    check_frame(quarnel.to_pandas(index), index["products"])
    for name in ("storeys", "contained_in", "aggregates", "storey_building", "sites", "spaces"):
        check_frame(quarnel.to_pandas(index, table=name), index[name])
        check_arrow(quarnel.to_arrow(index[name]), index[name])
    counts = quarnel.to_pandas(index, table="type_counts")
    assert dict(zip(counts["entity"], counts["count"])) == index["type_counts"]
    with pytest.raises(ValueError, match="products"):
        table_columns(index, "walls")


def test_column_types_in_pandas_and_arrow():
    pd = pytest.importorskip("pandas")
    pa = pytest.importorskip("pyarrow")
    columns = {
        "guid": ["a", "b", None],
        "unit_step_id": [7, None, 9],
        "layer_index": [0, 1, -1],
        "elevation": [1.5, None, float("nan")],
    }
    frame = quarnel.to_pandas(columns)
    assert str(frame["unit_step_id"].dtype) == "Int64"
    assert frame["unit_step_id"].isna().tolist() == [False, True, False]
    assert frame["layer_index"].dtype == "int64"
    assert frame["elevation"].dtype == "float64"
    table = quarnel.to_arrow(columns)
    assert table.schema.field("unit_step_id").type == pa.int64()
    assert table.schema.field("elevation").type == pa.float64()
    assert table.schema.field("guid").type == pa.string()
    assert table.column("unit_step_id").null_count == 1
    assert pd.isna(frame["guid"][2])


def test_empty_result_gives_empty_typed_table(write_ifc):
    pytest.importorskip("pyarrow")
    result = quarnel.extract_psets(write_ifc(""))
    table = quarnel.to_arrow(result)
    assert table.num_rows == 0 and table.column_names == ["guid", "pset_name", "prop_name", "value", "value_type"]
    assert len(quarnel.to_pandas(result)) == 0


def test_column_kinds():
    assert [column_kind(n) for n in ("step_id", "drift_ratio", "value", "source")] == ["int", "float", "str", "str"]


def test_missing_extra_says_how_to_install(monkeypatch):
    monkeypatch.setitem(sys.modules, "pandas", None)  # import pandas now fails
    with pytest.raises(quarnel.MissingDependency, match=r"pip install .*quarnel\[pandas\]"):
        quarnel.to_pandas(quarnel.extract_psets(str(SAMPLE)))
