"""One row per element, one column per property: the table spreadsheet users ask for."""

from __future__ import annotations

from typing import Optional

from quarnel.tables import require


def wide(path, entity: Optional[str] = None):
    """A pyarrow Table with one row per element (product) and a column per `Pset.Prop`.

    The first columns are guid, entity and name. Inherited values (from the element's type) are
    included; a column whose every value is a number holds numbers, any other column text.
    Properties with several values (lists, enumerations, bounds, tables) show them joined by
    "; ". `entity` keeps the elements of that entity only, any letter case; its StandardCase and
    ElementedCase forms count as the entity (IfcWall keeps IfcWallStandardCase too).
    """
    from quarnel.arrow import read_streams

    pa = require("pyarrow", "arrow", "wide")
    import numpy as np
    import pyarrow.compute as pc

    streams = read_streams(path, ["elements", "properties"], {
        "elements": ["guid", "entity", "name"],
        "properties": ["guid", "pset_name", "prop_name", "value", "number", "value_index", "role"],
    })
    elements, props = pa.table(streams["elements"]), pa.table(streams["properties"])
    if entity is not None:
        wanted = [entity.lower() + suffix for suffix in ("", "standardcase", "elementedcase")]
        elements = elements.filter(pc.is_in(pc.utf8_lower(elements["entity"].cast(pa.string())), pa.array(wanted)))
    guids = elements["guid"].combine_chunks()
    n = len(guids)

    # The element row of each property row, through the GlobalId dictionary: each distinct
    # GlobalId is looked up once.
    prop_guids = props["guid"].combine_chunks()
    row_of_guid = pc.index_in(prop_guids.dictionary, value_set=guids).fill_null(-1).to_numpy(zero_copy_only=False)
    rows = row_of_guid[prop_guids.indices.to_numpy(zero_copy_only=False)]
    keep = np.flatnonzero(rows >= 0)
    rows = rows[keep]

    # A key per distinct (set, property) pair, from the dictionary indices: no text is compared.
    sets = props["pset_name"].combine_chunks()
    names = props["prop_name"].combine_chunks()
    width = max(len(names.dictionary), 1)
    pair = (sets.indices.to_numpy(zero_copy_only=False)[keep].astype(np.int64) * width
            + names.indices.to_numpy(zero_copy_only=False)[keep])
    pairs, codes = _distinct(np, pair, len(sets.dictionary) * width)
    set_texts, name_texts = sets.dictionary.to_pylist(), names.dictionary.to_pylist()
    keys = [f"{set_texts[p // width]}.{name_texts[p % width]}" for p in pairs]

    values = props["value"].combine_chunks()
    numbers = props["number"].combine_chunks()
    numeric = (numbers.is_valid().to_numpy(zero_copy_only=False) | values.is_null().to_numpy(zero_copy_only=False))[keep]
    several = (props["value_index"].combine_chunks().is_valid().to_numpy(zero_copy_only=False)
               | props["role"].combine_chunks().is_valid().to_numpy(zero_copy_only=False))[keep]

    # The rows in key order, texts and numbers taken once: each column then takes from its
    # own slice, not from the whole table.
    order = np.argsort(codes, kind="stable")
    bounds = np.searchsorted(codes[order], np.arange(len(keys) + 1))
    sorted_rows = keep[order]
    values = values.take(pa.array(sorted_rows))
    numbers = numbers.take(pa.array(sorted_rows))
    numeric, several, rows = numeric[order], several[order], rows[order]
    columns = {"guid": guids, "entity": elements["entity"].combine_chunks(), "name": elements["name"].combine_chunks()}
    for k in sorted(range(len(keys)), key=keys.__getitem__):
        begin, end = int(bounds[k]), int(bounds[k + 1])
        texts = values.slice(begin, end - begin)
        if several[begin:end].any():
            cells = [None] * n
            for row, text in zip(rows[begin:end], texts.to_pylist()):
                cells[row] = text if cells[row] is None else f"{cells[row]}; {text}"
            columns[keys[k]] = pa.array(cells, pa.string())
            continue
        take = np.full(n, -1, dtype=np.int64)
        take[rows[begin:end]] = np.arange(end - begin)  # one value per element and key: the last one wins
        source = numbers.slice(begin, end - begin) if numeric[begin:end].all() else texts
        columns[keys[k]] = source.take(pa.array(take, mask=take < 0))
    return pa.table(columns)


def _distinct(np, values, limit):
    """The distinct values in order and each value's rank among them (np.unique with
    return_inverse), by marking a table when the values are small enough for one."""
    if limit > 64_000_000:
        return np.unique(values, return_inverse=True)
    seen = np.zeros(limit, dtype=bool)
    seen[values] = True
    distinct = np.flatnonzero(seen)
    rank = np.zeros(limit, dtype=np.int64)
    rank[distinct] = np.arange(len(distinct))
    return distinct, rank[values]


SPREADSHEET_FORMATS = {".csv": "csv", ".parquet": "parquet", ".pq": "parquet", ".jsonl": "jsonl", ".xlsx": "xlsx"}
EXCEL_ROWS, EXCEL_COLUMNS = 1_048_576, 16_384


def write_arrow_table(table, path: str) -> None:
    """Write a pyarrow Table to .csv, .parquet, .jsonl or .xlsx (the last needs openpyxl)."""
    import os

    from quarnel.writers import OutputError

    fmt = SPREADSHEET_FORMATS.get(os.path.splitext(path)[1].lower())
    if fmt is None:
        raise OutputError(f"cannot tell the output format of {path!r} from its extension; "
                          "use .csv, .parquet, .jsonl or .xlsx")
    pa = require("pyarrow", "arrow", "writing tables")
    # Plain text instead of dictionaries: every writer takes them.
    table = table.cast(pa.schema([pa.field(f.name, f.type.value_type if pa.types.is_dictionary(f.type) else f.type)
                                  for f in table.schema]))
    if fmt == "parquet":
        require("pyarrow.parquet", "arrow", "writing Parquet").write_table(table, path)
    elif fmt == "csv":
        require("pyarrow.csv", "arrow", "writing CSV").write_csv(table, path)
    elif fmt == "jsonl":
        import json

        with open(path, "w", encoding="utf-8") as out:
            for row in table.to_pylist():
                out.write(json.dumps(row, ensure_ascii=False) + "\n")
    else:
        if table.num_rows + 1 > EXCEL_ROWS or table.num_columns > EXCEL_COLUMNS:
            raise OutputError(f"{path}: {table.num_rows:,} rows × {table.num_columns:,} columns do not fit a "
                              "worksheet; write .csv or .parquet instead")
        openpyxl = require("openpyxl", "xlsx", "writing .xlsx")
        book = openpyxl.Workbook(write_only=True)
        sheet = book.create_sheet("quarnel")
        sheet.append(table.column_names)
        columns = [c.to_pylist() for c in table.columns]
        for row in zip(*columns):
            sheet.append(row)
        book.save(path)
