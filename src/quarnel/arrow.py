"""Tables as pyarrow Tables: read_table, read_tables, table_schema, read_streams.

The native Arrow face (quarnel._arrow) builds every column in C++, with no Python object per
cell, and hands the tables over through the Arrow PyCapsule interface: pyarrow, Polars, DuckDB
and nanoarrow read the same objects. The schema of every table is the registry's; the timings
and scalar facts of the read travel in the schema metadata (keys as in the dict results,
values as text).
"""

from __future__ import annotations

from typing import Dict, Iterable, Optional, Sequence, Union

from quarnel import _arrow
from quarnel.registry import table as lookup, table_names


def _arrow_type(kind: str):
    import pyarrow as pa  # on first use: `import quarnel` stays light for the dict functions

    return {
        "int": pa.int64(),
        "float": pa.float64(),
        "str": pa.string(),
        "dict": pa.dictionary(pa.int32(), pa.string()),
    }[kind]


def table_schema(table: str):
    """The pyarrow schema of a table, without reading any file."""
    t = lookup(table)
    import pyarrow as pa

    return pa.schema([pa.field(name, _arrow_type(kind)) for name, kind in t.columns])


def read_streams(path, tables: Union[None, str, Iterable[str]] = None,
                 columns: Optional[Dict[str, Sequence[str]]] = None) -> Dict[str, object]:
    """Tables of one model from one read, as objects of the Arrow PyCapsule interface.

    Each value has ``__arrow_c_schema__`` and ``__arrow_c_stream__`` (the stream can be taken
    once): hand it to ``pyarrow.table``, ``polars.from_arrow``, ``duckdb`` or ``nanoarrow``.
    `tables` as for `read_tables`; `columns` maps a table name to the columns to build, in that
    order."""
    from quarnel import _path

    names = table_names(tables)
    requests = []
    for name in names:
        wanted = None if columns is None else columns.get(name)
        if wanted is not None:
            t = lookup(name)
            for column in wanted:
                t.kind(column)
            wanted = list(wanted)
        requests.append((name, wanted))
    return dict(zip(names, _arrow.read(_path(path), requests)))


def _table(stream):
    # pa.table() imports pandas to ask whether its argument is a DataFrame: most of a second of
    # a command's time. A stream reader does not.
    import pyarrow as pa

    from_stream = getattr(pa.RecordBatchReader, "from_stream", None)
    return from_stream(stream).read_all() if from_stream else pa.table(stream)


def read_tables(path, tables: Union[None, str, Iterable[str]] = None):
    """Several tables of one model from one read: a dict of pyarrow Tables by name.

    `tables` is a list of table names, or "all" or None: every table but drift, which meshes
    geometry, and all_attributes (registry.ALL_TABLES). One mapping of the file, one entity table for the
    extractors, one release of the interpreter lock."""
    return {name: _table(stream) for name, stream in read_streams(path, tables).items()}


def read_table(path, table: str = "psets", columns: Optional[Sequence[str]] = None):
    """One table of a model as a pyarrow Table; `columns` picks and orders the columns read."""
    wanted = None if columns is None else {table: columns}
    return _table(read_streams(path, [table], wanted)[table])
