"""One row per element, one column per property: the table spreadsheet users ask for."""

from __future__ import annotations

from typing import Optional


def wide(path, entity: Optional[str] = None):
    """A pyarrow Table with one row per element (product) and a column per `Pset.Prop`.

    The first columns are guid, entity and name. Inherited values (from the element's type) are
    included; a column whose every value is a number holds numbers, any other column text.
    Properties with several values (lists, enumerations, bounds, tables) show them joined by
    "; ". `entity` keeps the elements of that entity only, any letter case; its StandardCase and
    ElementedCase forms count as the entity (IfcWall keeps IfcWallStandardCase too).
    """
    # pyarrow on first use only: every command imports this module. The pivot is native
    # (quarnel._arrow.wide); the elements' own columns come as read_table gives them.
    import pyarrow as pa

    from quarnel import _arrow, _path
    from quarnel.arrow import _table

    wanted = None if entity is None else [entity.lower() + suffix for suffix in ("", "standardcase", "elementedcase")]
    elements, cells = (_table(s) for s in _arrow.wide(_path(path), wanted))
    if entity is not None:
        elements = elements.take(cells["row"])
    columns = {name: elements[name].combine_chunks() for name in ("guid", "entity", "name")}
    for name in cells.column_names[1:]:
        columns[name] = cells[name].combine_chunks()
    return pa.table(columns)
