"""Results as tables: pick the columns out of a result and hand them to pandas or Arrow.

pandas and pyarrow are optional; they are imported only when a conversion asks for them.
"""

import importlib
import math
from typing import Any, Dict, List, Mapping, Optional

Columns = Dict[str, List[Any]]

# Column types by name, shared by every result; a name not listed holds strings.
INT_COLUMNS = frozenset({
    "step_id", "building_step_id", "child", "structure", "parent", "storey", "building",
    "unit_step_id", "layer_index", "triangle_count", "count",
})
FLOAT_COLUMNS = frozenset({
    "elevation", "layer_thickness_mm", "surface_area", "volume_abs",
    "placement_x", "placement_y", "placement_z", "centroid_x", "centroid_y", "centroid_z",
    "drift_distance", "max_extent", "drift_ratio",
})

EXTRACT_ALL_TABLES = ("psets", "quantities", "materials", "classifications")
INDEX_TABLES = (
    "products", "storeys", "contained_in", "aggregates", "storey_building",
    "sites", "buildings", "projects", "spaces", "type_counts",
)


class MissingDependency(ImportError):
    """An optional dependency (pandas, pyarrow, matplotlib) is not installed."""


def require(module: str, extra: str, purpose: str):
    """Import an optional dependency or say in one sentence how to install it."""
    try:
        return importlib.import_module(module)
    except ImportError:
        package = module.split(".")[0]
        raise MissingDependency(
            f"{purpose} needs {package}: pip install {package} (or pip install 'quarnel[{extra}]')"
        ) from None


def column_kind(name: str) -> str:
    """"int", "float" or "str": the type of the values of a column (None aside)."""
    if name in INT_COLUMNS:
        return "int"
    if name in FLOAT_COLUMNS:
        return "float"
    return "str"


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


def _frame(columns: Columns):
    pd = require("pandas", "pandas", "to_pandas")
    data = {}
    for name, values in columns.items():
        kind = column_kind(name)
        if kind == "int":
            data[name] = pd.array(values, dtype="Int64") if None in values else pd.array(values, dtype="int64")
        elif kind == "float":
            data[name] = pd.array([math.nan if v is None else v for v in values], dtype="float64")
        else:
            data[name] = values
    return pd.DataFrame(data)


def arrow_type(name: str):
    pa = require("pyarrow", "arrow", "to_arrow")
    return {"int": pa.int64(), "float": pa.float64()}.get(column_kind(name), pa.string())


def _arrow(columns: Columns):
    pa = require("pyarrow", "arrow", "to_arrow")
    return pa.table({name: pa.array(values, type=arrow_type(name)) for name, values in columns.items()})


def _convert(result, table, build):
    if table is None and is_extract_all_result(result):
        return {name: build(dict(result[name])) for name in EXTRACT_ALL_TABLES}
    return build(table_columns(result, table))


def to_pandas(result: Mapping[str, Any], table: Optional[str] = None):
    """A pandas DataFrame of one table of a result (see `table_columns`).

    Integer columns with gaps become nullable "Int64"; absent floats become NaN. The whole
    extract_all result gives a dict of four DataFrames keyed by table name.
    """
    return _convert(result, table, _frame)


def to_arrow(result: Mapping[str, Any], table: Optional[str] = None):
    """A pyarrow Table of one table of a result (see `table_columns`).

    Columns are int64, float64 or string by name; absent values are nulls. The whole extract_all
    result gives a dict of four Tables keyed by table name.
    """
    return _convert(result, table, _arrow)
