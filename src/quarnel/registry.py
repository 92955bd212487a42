"""Every table quarnel can produce: its name, the native call that reads it, its columns and types.

The tables are defined once, in the native catalogue (`quarnel._arrow.catalogue()`); this module
gives them to the command line, batch runs, conversions and the Arrow face. Column kinds: "int"
(int64), "float" (float64), "str" (UTF-8 text) and "dict" (UTF-8 text that repeats,
dictionary-encoded with int32 indices). Every column may hold nulls.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Dict, Optional, Tuple

from quarnel import _arrow

_CATALOGUE = _arrow.catalogue()

SEVERITIES = ("ok", "warn", "error")  # drift verdicts, mildest first
SEVERITY_COLOURS = {"ok": "#9aa5b1", "warn": "#f28e2b", "error": "#d62728"}
# How the core judges drift: closer than DRIFT_FLOOR millimetres (DRIFT_FLOOR model units when
# the model gives no length unit) is always "ok"; otherwise the ratio of distance to the
# product's largest extent is "ok" up to WARN_RATIO, "warn" up to ERROR_RATIO, "error" beyond
# (and when it is not a number).
DRIFT_FLOOR = _CATALOGUE["drift"]["floor_mm"]
WARN_RATIO = _CATALOGUE["drift"]["warn_ratio"]
ERROR_RATIO = _CATALOGUE["drift"]["error_ratio"]


@dataclass(frozen=True)
class Table:
    name: str
    call: str  # the quarnel._core function whose dict result holds the table; "" for Arrow-only tables
    columns: Tuple[Tuple[str, str], ...]  # (name, kind)
    about: str  # what one row is
    dict_columns: Tuple[str, ...] = ()  # the columns the dict result of `call` holds
    # Columns of type names that the dict result keeps as the model writes them
    # (IfcWallstandardcase) and the Arrow face gives as the schema spells them (IfcWallStandardCase).
    respelled: Tuple[str, ...] = ()

    @property
    def column_names(self) -> Tuple[str, ...]:
        return tuple(name for name, _ in self.columns)

    @property
    def dict_column_names(self) -> Tuple[str, ...]:
        """The columns the dict result of `call` holds."""
        return self.dict_columns

    def kind(self, column: str) -> str:
        for name, kind in self.columns:
            if name == column:
                return kind
        raise KeyError(f"table {self.name!r} has no column {column!r}")


def _call(name: str) -> str:
    # The first function whose result holds the table (its own function before extract_all).
    for function, _stub, entries in _CATALOGUE["functions"]:
        if any(what in ("columns", "nested", "mapping") and entry == name for what, entry in entries):
            return function
    return ""


TABLES: Dict[str, Table] = {
    name: Table(name, _call(name), tuple((column, kind) for column, kind, *_ in columns), about,
                tuple(column for column, _, _, in_dict, _ in columns if in_dict),
                tuple(column for column, *_, spelling in columns if spelling == "schema"))
    for name, about, _stub, columns, _facts in _CATALOGUE["tables"]
}
# Columns only the Arrow tables carry; the dict results of quarnel._core keep their keys.
ARROW_ONLY = {t.name: tuple(c for c in t.column_names if c not in t.dict_columns)
              for t in TABLES.values() if t.call and len(t.dict_columns) < len(t.columns)}
EXTRACT_ALL_TABLES = tuple(entry for function, _, entries in _CATALOGUE["functions"] if function == "extract_all"
                           for what, entry in entries if what == "nested")
INDEX_TABLES = tuple(name for name, t in TABLES.items() if t.call == "index_ifc")


# What "all" names wherever tables are asked for (read_tables, batch, datasets, Dask): every table
# of a model but drift, which meshes geometry and costs more than the rest together, and
# all_attributes, a row per value of every instance, geometry included; name them to have them.
ALL_TABLES = tuple(name for name in TABLES if name not in ("drift", "all_attributes"))


def table_names(tables) -> Tuple[str, ...]:
    """None or "all": ALL_TABLES; else a name or a list of names, each checked."""
    if tables is None or tables == "all":
        return ALL_TABLES
    names = (tables,) if isinstance(tables, str) else tuple(tables)
    for name in names:
        table(name)
    return names


def at_least(severity: str) -> Tuple[str, ...]:
    """The severities as bad as `severity` or worse."""
    return SEVERITIES[SEVERITIES.index(severity):]


def matching(columns) -> Optional[Table]:
    """The table whose columns are exactly these names (in any order), if there is one."""
    names = set(columns)
    for t in TABLES.values():
        if set(t.column_names) == names or set(t.dict_column_names) == names:
            return t
    return None


def table(name: str) -> Table:
    try:
        return TABLES[name]
    except KeyError:
        raise ValueError(f"no table {name!r}; choose one of {', '.join(TABLES)}") from None
