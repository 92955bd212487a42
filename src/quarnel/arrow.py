"""Tables as pyarrow Tables: read_table, read_tables, table_schema.

The schema of every table comes from the registry; the timings and scalar facts of the read
travel in the schema metadata (keys as in the dict results, values as text).
"""

from __future__ import annotations

from typing import Dict, Iterable, Optional, Sequence, Union

from quarnel import _complete, _core
from quarnel.registry import TABLES, table as lookup
from quarnel.tables import require


def _arrow_type(pa, kind: str):
    return {
        "int": pa.int64(),
        "float": pa.float64(),
        "str": pa.string(),
        "dict": pa.dictionary(pa.int32(), pa.string()),
    }[kind]


def table_schema(table: str):
    """The pyarrow schema of a table, without reading any file."""
    pa = require("pyarrow", "arrow", "table_schema")
    t = lookup(table)
    return pa.schema([pa.field(name, _arrow_type(pa, kind)) for name, kind in t.columns])


def _native(call: str):
    return getattr(_core, call, None) or getattr(_complete, call)


def _metadata(result) -> Dict[str, str]:
    return {key: str(value) for key, value in result.items()
            if not isinstance(value, (dict, list)) and value is not None}


def _columns(result, name: str):
    if name == "type_counts":
        counts = result["type_counts"]
        return {"entity": list(counts), "count": list(counts.values())}
    inner = result.get(name)
    return inner if isinstance(inner, dict) else result


def _build(pa, name: str, columns, metadata: Dict[str, str], wanted: Optional[Sequence[str]]):
    t = lookup(name)
    names = list(wanted) if wanted is not None else list(t.column_names)
    arrays, fields = [], []
    for column in names:
        kind = t.kind(column)
        values = pa.array(columns[column], type=pa.string() if kind == "dict" else _arrow_type(pa, kind))
        if kind == "dict":
            values = values.dictionary_encode()
            if values.type.index_type != pa.int32():
                values = values.cast(pa.dictionary(pa.int32(), pa.string()))
        arrays.append(values)
        fields.append(pa.field(column, _arrow_type(pa, kind)))
    return pa.Table.from_arrays(arrays, schema=pa.schema(fields, metadata=metadata))


def read_tables(path, tables: Union[None, str, Iterable[str]] = None):
    """Several tables of one model from one read: a dict of pyarrow Tables by name.

    `tables` is a list of table names, "all" or None (every table)."""
    from quarnel import _path

    pa = require("pyarrow", "arrow", "read_tables")
    if tables is None or tables == "all":
        names = list(TABLES)
    elif isinstance(tables, str):
        names = [tables]
    else:
        names = list(tables)
    for name in names:
        lookup(name)
    p = _path(path)
    calls = {TABLES[name].call for name in names}
    extract = [n for n in names if TABLES[n].call.startswith("extract_")]
    results = {}
    if len({TABLES[n].call for n in extract}) > 1:
        results["extract_all"] = _core.extract_all(p)
        calls -= {TABLES[n].call for n in extract}
    for call in sorted(calls):
        results[call] = _native(call)(p)
    out = {}
    for name in names:
        call = TABLES[name].call
        result = results.get(call) or results["extract_all"]
        out[name] = _build(pa, name, _columns(result, name), _metadata(result), None)
    return out


def read_table(path, table: str = "psets", columns: Optional[Sequence[str]] = None):
    """One table of a model as a pyarrow Table; `columns` picks and orders the columns read."""
    from quarnel import _path

    pa = require("pyarrow", "arrow", "read_table")
    t = lookup(table)
    if columns is not None:
        for column in columns:
            t.kind(column)
    result = _native(t.call)(_path(path))
    return _build(pa, table, _columns(result, table), _metadata(result), columns)
