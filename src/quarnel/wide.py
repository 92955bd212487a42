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
    # numpy and Arrow's compute functions on first use only: every command imports this module.
    import numpy as np
    import pyarrow as pa
    import pyarrow.compute as pc

    from quarnel.arrow import _table, read_streams

    streams = read_streams(path, ["elements", "properties"], {
        "elements": ["guid", "entity", "name"],
        "properties": ["guid", "pset_name", "prop_name", "value", "number", "value_index", "role"],
    })
    elements, props = _table(streams["elements"]), _table(streams["properties"])
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

    # Per key: several values (joined), all numbers, or text.
    key_several = np.zeros(len(keys), dtype=bool)
    key_several[codes[several]] = True
    key_text = np.zeros(len(keys), dtype=bool)
    key_text[codes[~numeric]] = True
    built = {}

    # Numbers: one matrix of keys x elements, filled at once (the last value of a cell wins).
    number_keys = np.flatnonzero(~key_several & ~key_text)
    slot = np.full(len(keys), -1, dtype=np.int64)
    slot[number_keys] = np.arange(len(number_keys))
    picked = np.flatnonzero(slot[codes] >= 0)
    number_values = numbers.to_numpy(zero_copy_only=False)[keep]
    number_valid = numbers.is_valid().to_numpy(zero_copy_only=False)[keep]
    for block in _blocks(len(number_keys), n):
        cells = np.zeros((len(block), n))
        valid = np.zeros((len(block), n), dtype=bool)
        inside = picked[(slot[codes[picked]] >= block[0]) & (slot[codes[picked]] <= block[-1])]
        at = (slot[codes[inside]] - block[0], rows[inside])
        cells[at] = number_values[inside]
        valid[at] = number_valid[inside]
        for i, k in enumerate(number_keys[block]):
            built[k] = pa.array(cells[i], mask=~valid[i])

    # Texts: one take of the value column per block of keys, each key a slice of it.
    text_keys = np.flatnonzero(~key_several & key_text)
    slot[:] = -1
    slot[text_keys] = np.arange(len(text_keys))
    picked = np.flatnonzero(slot[codes] >= 0)
    for block in _blocks(len(text_keys), n):
        take = np.full(len(block) * n, -1, dtype=np.int64)
        inside = picked[(slot[codes[picked]] >= block[0]) & (slot[codes[picked]] <= block[-1])]
        take[(slot[codes[inside]] - block[0]) * n + rows[inside]] = keep[inside]
        taken = values.take(pa.array(take, mask=take < 0))
        for i, k in enumerate(text_keys[block]):
            built[k] = taken.slice(i * n, n)

    # Several values of one property: their texts joined, in order.
    for k in np.flatnonzero(key_several):
        cells = [None] * n
        mine = np.flatnonzero(codes == k)
        for row, text in zip(rows[mine], values.take(pa.array(keep[mine])).to_pylist()):
            cells[row] = text if cells[row] is None else f"{cells[row]}; {text}"
        built[k] = pa.array(cells, pa.string())

    columns = {"guid": guids, "entity": elements["entity"].combine_chunks(), "name": elements["name"].combine_chunks()}
    for k in sorted(range(len(keys)), key=keys.__getitem__):
        columns[keys[k]] = built[k]
    return pa.table(columns)


def _blocks(count, width, cells=4_000_000):
    """Ranges of at most `cells` / `width` keys covering range(count)."""
    step = max(1, cells // max(width, 1))
    return [range(b, min(b + step, count)) for b in range(0, count, step)]


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
