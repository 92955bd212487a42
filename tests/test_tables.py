import math
import sys

import pyarrow as pa
import pytest

import quarnel
from clitools import model, rows  # noqa: F401 (model: a fixture)
from conftest import SAMPLE
from quarnel.registry import EXTRACT_ALL_TABLES, INDEX_TABLES, TABLES

pd = pytest.importorskip("pandas")


def buffers(column):
    return [b.address for chunk in column.chunks for b in chunk.buffers() if b is not None]


@pytest.mark.parametrize("table", ["psets", "materials", "storeys", "drift"])
def test_arrow_tables_become_arrow_backed_frames_without_copying(table):
    arrow = quarnel.read_table(str(SAMPLE), table)
    frame = quarnel.to_pandas(arrow)
    assert list(frame.columns) == arrow.column_names and len(frame) == arrow.num_rows
    for name in arrow.column_names:
        assert isinstance(frame[name].dtype, pd.ArrowDtype)
        assert buffers(frame[name].array.__arrow_array__()) == buffers(arrow.column(name))
    assert quarnel.to_arrow(arrow) is arrow
    frames = quarnel.to_pandas(quarnel.read_tables(str(SAMPLE), [table, "products"]))
    assert list(frames) == [table, "products"] and frames[table].equals(frame)


def dict_tables(model):
    """(name, result, table=) of every table of every dict result of a model."""
    index, everything = quarnel.index_ifc(model), quarnel.extract_all(model)
    yield from ((name, index, name) for name in INDEX_TABLES)
    yield from ((name, everything, name) for name in EXTRACT_ALL_TABLES)
    for name in (*EXTRACT_ALL_TABLES, "drift"):
        yield name, getattr(quarnel, TABLES[name].call)(model), None


def same_value(a, b):
    if a is None or (isinstance(a, float) and math.isnan(a)):
        return b is None or pd.isna(b)
    return a == b


def test_dict_results_convert_to_typed_tables(model):
    for name, result, table in dict_tables(model):
        columns = quarnel.table_columns(result, table)
        arrow, frame = quarnel.to_arrow(result, table), quarnel.to_pandas(result, table)
        kinds = {"int": pa.int64(), "float": pa.float64(), "str": pa.string(), "dict": pa.string()}
        in_dict = TABLES[name].dict_column_names
        assert arrow.schema == pa.schema([(c, kinds[k]) for c, k in TABLES[name].columns if c in in_dict]), name
        assert rows(arrow) == rows(columns), name
        assert list(frame.columns) == list(columns), name
        for column, values in columns.items():
            got = frame[column].tolist()
            assert all(same_value(v, g) for v, g in zip(values, got)), (name, column)
            if TABLES[name].kind(column) == "int":
                assert str(frame[column].dtype) == ("Int64" if None in values else "int64"), (name, column)
    frames = quarnel.to_pandas(quarnel.extract_all(model))
    assert list(frames) == list(EXTRACT_ALL_TABLES)


@pytest.mark.parametrize("result, table, message", [
    ("extract_all", None, "name one with table="),
    ("index_ifc", "walls", "index_ifc has no table 'walls'"),
    ("extract_psets", "walls", "this result has no table 'walls'"),
])
def test_asking_for_a_table_a_result_lacks(result, table, message):
    with pytest.raises(ValueError, match=message):
        quarnel.table_columns(getattr(quarnel, result)(str(SAMPLE)), table)


def test_empty_result_gives_empty_typed_table(write_ifc):
    result = quarnel.extract_psets(write_ifc(""))
    assert quarnel.to_arrow(result).schema.names == list(TABLES["psets"].column_names)
    assert len(quarnel.to_pandas(result)) == 0 and quarnel.to_pandas(quarnel.read_table(write_ifc(""))).empty


def test_missing_pandas_says_how_to_install(monkeypatch):
    monkeypatch.setitem(sys.modules, "pandas", None)  # import pandas now fails
    for result in (quarnel.extract_psets(str(SAMPLE)), quarnel.read_table(str(SAMPLE))):
        with pytest.raises(quarnel.MissingDependency, match=r"pip install .*quarnel\[pandas\]"):
            quarnel.to_pandas(result)
