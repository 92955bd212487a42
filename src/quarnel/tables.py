"""Results as tables: pick the columns out of a result and hand them to pandas or Arrow.

pandas is optional and imported only when a conversion asks for it.
"""

import importlib
from typing import Any, Dict, List, Mapping, Optional

from quarnel.registry import EXTRACT_ALL_TABLES, INDEX_TABLES, matching

Columns = Dict[str, List[Any]]


class MissingDependency(ImportError):
    """An optional dependency (pandas, matplotlib) is not installed."""


def require(module: str, extra: str, purpose: str):
    """Import an optional dependency or say in one sentence how to install it."""
    try:
        return importlib.import_module(module)
    except ImportError:
        package = module.split(".")[0]
        raise MissingDependency(
            f"{purpose} needs {package}: pip install {package} (or pip install 'quarnel[{extra}]')"
        ) from None


def is_index_result(result: Mapping[str, Any]) -> bool:
    return "products" in result and "type_counts" in result


def is_extract_all_result(result: Mapping[str, Any]) -> bool:
    return all(isinstance(result.get(name), dict) for name in EXTRACT_ALL_TABLES)


def table_columns(result: Mapping[str, Any], table: Optional[str] = None) -> Columns:
    """The columns of one table of a result, without timings, counters or size_bytes.

    `result` is what any quarnel function returned, or one table inside it. For index_ifc the
    table defaults to "products" ("storeys", "contained_in", "aggregates", "storey_building",
    "sites", "buildings", "projects", "spaces" and "type_counts" may be named); extract_all
    holds four tables, one of which must be named.
    """
    if is_index_result(result):
        name = table or "products"
        if name == "type_counts":
            counts = result["type_counts"]
            return {"entity": list(counts), "count": list(counts.values())}
        if name not in INDEX_TABLES:
            raise ValueError(f"index_ifc has no table {name!r}; choose one of {', '.join(INDEX_TABLES)}")
        return dict(result[name])
    if is_extract_all_result(result):
        if table not in EXTRACT_ALL_TABLES:
            raise ValueError(
                f"extract_all holds four tables; name one with table= ({', '.join(EXTRACT_ALL_TABLES)})"
            )
        return dict(result[table])
    if table is not None:
        inner = result.get(table)
        if not isinstance(inner, dict):
            raise ValueError(f"this result has no table {table!r}")
        return dict(inner)
    # A flat table: every list is a column; timings, counters and size_bytes are scalars.
    return {key: value for key, value in result.items() if isinstance(value, list)}


def _is_arrow(value) -> bool:
    return hasattr(value, "schema") and hasattr(value, "num_rows")


def _arrow(columns: Columns):
    import pyarrow as pa

    # Typed by the registry table with these columns; other column sets are typed by their values.
    known = matching(columns)
    types = {"int": pa.int64(), "float": pa.float64(), "str": pa.string(), "dict": pa.string()}
    return pa.table({
        name: pa.array(values, type=types[known.kind(name)] if known else None)
        for name, values in columns.items()
    })


def _frame(columns: Columns):
    pd = require("pandas", "pandas", "to_pandas")
    table = _arrow(columns)
    frame = table.to_pandas()
    # Arrow turns integers with gaps into float64; pandas' nullable Int64 keeps them integers.
    for name, values in columns.items():
        if table.schema.field(name).type == "int64" and table.column(name).null_count:
            frame[name] = pd.array(values, dtype="Int64")
    return frame


def _convert(result, table, build):
    if table is None and is_extract_all_result(result):
        return {name: build(dict(result[name])) for name in EXTRACT_ALL_TABLES}
    return build(table_columns(result, table))


def to_pandas(result, table: Optional[str] = None):
    """A pandas DataFrame of one table.

    `result` is a pyarrow Table (as `read_table` gives): its columns stay Arrow arrays
    (pd.ArrowDtype), nothing is copied. A dict of such tables (`read_tables`) gives a dict of
    DataFrames. Or `result` is a dict result (see `table_columns`): integer columns with gaps
    become nullable "Int64", absent floats NaN, and the whole extract_all result gives a dict of
    four DataFrames keyed by table name.
    """
    if _is_arrow(result):
        pd = require("pandas", "pandas", "to_pandas")
        return result.to_pandas(types_mapper=pd.ArrowDtype)
    if isinstance(result, Mapping) and result and all(_is_arrow(v) for v in result.values()):
        return {name: to_pandas(value) for name, value in result.items()}
    return _convert(result, table, _frame)


def to_arrow(result, table: Optional[str] = None):
    """A pyarrow Table of one table of a result (see `table_columns`).

    Columns are int64, float64 or string; absent values are nulls. The whole extract_all result
    gives a dict of four Tables keyed by table name. A pyarrow Table is returned as it is.
    """
    if _is_arrow(result):
        return result
    return _convert(result, table, _arrow)
