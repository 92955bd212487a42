"""The IFC schemas as tables: which entities there are and what attributes each has.

``entities(schema)``: entity, supertype (null for a root), abstract.
``attributes(schema)``: one row per attribute of every entity, inherited ones first, in position
order: entity, attribute, position (0-based, as the file writes it), optional, kind ("string",
"enum", "logical", "boolean", "integer", "real", "entity", "select", "list", "binary"), type (the
named type: IfcLabel, IfcOwnerHistory; null for a simple or aggregate type), derived (redeclared
as derived by the entity: the file writes ``*``).

`schema` is IFC2X3, IFC4 or IFC4X3 (a FILE_SCHEMA name such as IFC4X3_ADD2 is read as its
schema). The tables are made from IfcOpenShell's definitions when the package is built
(tools/gen_schema.py); reading them needs no file and no IfcOpenShell.
"""

from __future__ import annotations

import functools

from quarnel import _arrow

SCHEMAS = ("IFC2X3", "IFC4", "IFC4X3")


def schema_name(identifier: str) -> str:
    """IFC2X3, IFC4 or IFC4X3 for a FILE_SCHEMA identifier (IFC4X3_ADD2 -> IFC4X3)."""
    up = identifier.upper()
    for name in ("IFC4X3", "IFC2X3", "IFC4"):
        if up.startswith(name):
            return name
    raise ValueError(f"no schema {identifier!r}; choose one of {', '.join(SCHEMAS)}")


@functools.lru_cache(maxsize=None)
def _read(schema: str, table: str):
    import pyarrow as pa
    import pyarrow.compute as pc

    from quarnel.arrow import _table

    t = _table(_arrow.schema_table(schema_name(schema), table))
    for flag in ("abstract", "optional", "derived"):
        if flag in t.column_names:
            t = t.set_column(t.column_names.index(flag), flag, pc.cast(t.column(flag), pa.bool_()))
    return t


def entities(schema: str):
    """Every entity of the schema as a pyarrow Table: entity, supertype, abstract."""
    return _read(schema, "entities")


def attributes(schema: str):
    """Every attribute of every entity of the schema as a pyarrow Table (see the module)."""
    return _read(schema, "attributes")
