"""The comparison of two revisions: each model read into Arrow tables, every aspect turned into
long rows (guid, what, value, number) and the two sides matched by GlobalId with Arrow's hash
lookups, never a Python object per element.

To hold little at once, the properties (most of a model's rows) are never held as tables of
both models: the old model's are keyed and held compact, the small tables of both models
compared and let go, and only then the new model's properties read.

Instance ids and owner histories never take part: a renumbered or re-stamped export compares
equal. Numbers are compared in SI units within a tolerance (the models' stated precision, else
1e-6 absolute, and 1e-6 relative); texts exactly.
"""

from __future__ import annotations

import contextlib
from typing import Dict, List, Optional, Sequence, Tuple

import numpy as np
import pyarrow as pa
import pyarrow.compute as pc

from quarnel.diff.kinds import KINDS, kinds_of
from quarnel.units import number_scale, quantity_scale
from quarnel.registry import TABLES

# Attributes the schema declares as lengths but files write as plain numbers.
LENGTH_ATTRIBUTES = ["Elevation", "ElevationOfRefHeight", "ElevationOfTerrain", "RefElevation",
                     "ElevationWithFlooring", "OverallHeight", "OverallWidth", "NominalDiameter", "BarLength",
                     "NominalLength", "NominalWidth", "NominalHeight", "Thickness", "LiningDepth",
                     "LiningThickness", "TransomThickness", "MullionThickness"]
RTOL = ATOL = 1e-6
SLICE = 1 << 16
# Keys of long rows: the object's position times WIDTH plus the what's.
WIDTH = 1 << 31
# Meshes are made in single precision: their measures are compared more loosely.
MESH_RTOL = 1e-4

SCHEMA = pa.schema([
    ("guid", pa.string()), ("entity", pa.string()), ("name", pa.string()), ("change", pa.string()),
    ("what", pa.string()), ("old", pa.string()), ("new", pa.string()), ("old_number", pa.float64()),
    ("new_number", pa.float64()), ("distance", pa.float64()),
])
LONG = pa.schema([("guid", pa.string()), ("what", pa.string()), ("value", pa.string()), ("number", pa.float64())])


def _tables_for(kinds: Sequence[str]) -> List[str]:
    wanted = set(kinds)
    names = {"attributes", "placements"}
    for kind, table in (("property", "properties"), ("quantity", "element_quantities"), ("material", "materials"),
                        ("classification", "classifications"), ("type", "relations"), ("container", "relations"),
                        ("aggregate", "relations"), ("geometry", "drift")):
        if kind in wanted:
            names.add(table)
    return [n for n in TABLES if n in names]


def _text(column) -> pa.ChunkedArray:
    column = column if isinstance(column, pa.ChunkedArray) else pa.chunked_array([column])
    return column.cast(pa.string()) if pa.types.is_dictionary(column.type) else column


def _long(guid, what, value, number=None) -> pa.Table:
    """Long rows: guid (text, or its dictionary), what, value (text) and number."""
    n = len(guid)
    return pa.table({"guid": guid, "what": _repeat(what, n) if isinstance(what, str) else what,
                     "value": _text(value), "number": pa.nulls(n, pa.float64()) if number is None else number})


def _repeat(value, n: int, type=pa.string()) -> pa.Array:
    return pa.nulls(n, type).fill_null(pa.scalar(value, type))


def first_rows(table: pa.Table, key: str, keys) -> pa.Table:
    """For each of `keys`, the first row of `table` whose `key` column holds it (nulls where
    none does): a hash lookup, no join."""
    keys = keys.combine_chunks() if isinstance(keys, pa.ChunkedArray) else keys
    column = table.column(key)
    return table.take(pc.index_in(keys, value_set=column.combine_chunks() if isinstance(column, pa.ChunkedArray)
                                  else column))


def _meta(table: pa.Table, key: str) -> Optional[float]:
    value = (table.schema.metadata or {}).get(key.encode())
    try:
        return float(value) if value is not None else None
    except ValueError:
        return None


class Model:
    """One revision's tables and the facts the comparison needs."""

    def __init__(self, path, tables: Dict[str, pa.Table]):
        self.path = path
        self.tables = tables
        placements = tables["placements"]
        self.length = _meta(placements, "length_scale") or 1.0
        self.scales = {"length": self.length,
                       "area": _meta(placements, "area_scale") or self.length ** 2,
                       "volume": _meta(placements, "volume_scale") or self.length ** 3,
                       "angle": _meta(placements, "angle_scale") or 1.0}
        self.precision = _meta(placements, "precision")
        self.entity = self._objects()

    def _objects(self) -> pa.Table:
        """guid, entity, name of every object with a GlobalId (the first of a repeated one)."""
        a = self.tables["attributes"]
        ids = a.filter(_named(a, "GlobalId"))
        guids = pc.unique(_text(ids.column("guid")).combine_chunks())
        entity = first_rows(pa.table({"guid": _text(ids.column("guid")), "entity": _text(ids.column("entity"))}),
                            "guid", guids).column("entity")
        names = a.filter(_named(a, "Name"))
        name = first_rows(pa.table({"guid": _text(names.column("guid")), "name": _text(names.column("value"))}),
                          "guid", guids).column("name")
        return pa.table({"guid": guids, "entity": entity, "name": name})


def _named(attributes: pa.Table, name: str):
    return per_entry(attributes.column("attribute"), lambda d: pc.equal(d, name))


# The columns each table is read with: only those compared.
COLUMNS = {
    "attributes": ["guid", "entity", "attribute", "value", "kind", "value_type", "number"],
    "properties": ["guid", "pset_name", "prop_name", "value", "value_type", "number", "source", "type_guid",
                   "value_index", "role", "kind"],
    "element_quantities": ["guid", "qto_name", "quantity_name", "value", "number", "unit", "source", "type_guid"],
    "materials": ["guid", "role", "layer_index", "material_name", "layer_thickness_mm"],
    "classifications": ["guid", "system_name", "identification", "name"],
    "relations": ["relation", "relating_guid", "related_guid"],
    "drift": ["guid", "volume_abs", "surface_area", "max_extent", "centroid_x", "centroid_y", "centroid_z"],
}


def read_model(path, kinds, properties: bool = True) -> Model:
    """The model's tables the kinds compare; without `properties`, the largest, when those are
    to be read on their own."""
    return Model(path, _read(path, [n for n in _tables_for(kinds) if properties or n != "properties"]))


def _read(path, names) -> Dict[str, pa.Table]:
    from quarnel.arrow import _table, read_streams

    streams = read_streams(path, names, {n: c for n, c in COLUMNS.items() if n in TABLES})
    return {name: _table(stream) for name, stream in streams.items()}


def _release(*models: "Model") -> None:
    """Lets go of the models' tables and gives their memory back."""
    for m in models:
        m.tables.clear()
    _give_back()


def _give_back() -> None:
    """Returns what the Arrow pool and the C heap hold free to the system."""
    pa.default_memory_pool().release_unused()
    if _LIBC is not None:
        _LIBC.malloc_trim(0)


def _libc():
    import ctypes
    import ctypes.util

    try:
        libc = ctypes.CDLL(ctypes.util.find_library("c") or None)
        libc.malloc_trim  # glibc's
        return libc
    except (OSError, AttributeError, TypeError):  # not glibc
        return None


_LIBC = _libc()


@contextlib.contextmanager
def _lean_memory():
    """The system allocator while comparing, so that freed buffers go back at once rather than
    stay in the Arrow pool; the pool in use before is restored after."""
    before = pa.default_memory_pool()
    pa.set_memory_pool(pa.system_memory_pool())
    try:
        yield
    finally:
        pa.set_memory_pool(before)


def _duplicates(model: Model) -> pa.Array:
    """GlobalIds that more than one object of the model carries."""
    a = model.tables["attributes"]
    counts = pc.value_counts(_text(a.filter(_named(a, "GlobalId")).column("guid")).combine_chunks())
    return counts.field("values").filter(pc.greater(counts.field("counts"), 1))


def _close(a, b, rtol: float, atol: float):
    diff = pc.abs(pc.subtract(a, b))
    bound = pc.add(atol, pc.multiply(rtol, pc.max_element_wise(pc.abs(a), pc.abs(b))))
    return pc.less_equal(diff, bound)


def distinct(*columns) -> pa.Array:
    """The distinct texts of the columns (of a dictionary column, its dictionary's)."""
    parts = [c.dictionary if pa.types.is_dictionary(c.type) else c
             for column in columns for c in (column.chunks if isinstance(column, pa.ChunkedArray) else [column])]
    return pc.unique(pa.chunked_array(parts, pa.string())) if parts else pa.array([], pa.string())


def codes(column, values: pa.Array) -> pa.ChunkedArray:
    """The position of each row's text among `values` (null where it is not there): a dictionary
    column is looked up once per dictionary entry."""
    chunks = column.chunks if isinstance(column, pa.ChunkedArray) else [column]
    out = [pc.take(pc.index_in(c.dictionary, value_set=values), c.indices) if pa.types.is_dictionary(c.type)
           else pc.index_in(c, value_set=values) for c in chunks]
    return pa.chunked_array(out, pa.int32())


class Keyer:
    """Keys the long rows of either side against the same objects (`common`) and the same
    whats, so that one side can be keyed, and the table it came from let go, before the other
    side is read. A key is the object's position in `common` times WIDTH plus the what's
    position among the whats met so far."""

    def __init__(self, common: pa.Array):
        self.common = common
        self.whats = pa.array([], pa.string())

    def __call__(self, rows: pa.Table) -> Tuple[pa.Table, pa.Array]:
        met = distinct(rows.column("what"))
        self.whats = pa.concat_arrays([self.whats, met.filter(pc.invert(pc.is_in(met, value_set=self.whats)))])
        rows, k = _keyed(rows, self.common, self.whats, WIDTH)
        # Held while the other side is read: texts and numbers as dictionaries (a few thousand
        # values repeat over hundreds of thousands of rows), rows of objects not compared and
        # those folded left out.
        side = pa.table({"value": _encoded(rows.column("value")), "number": _encoded(rows.column("number")),
                         **({"source": rows.column("source")} if "source" in rows.column_names else {})})
        del rows
        if k.null_count:
            valid = pc.is_valid(k)
            side, k = side.filter(valid), k.filter(valid)
        return side.combine_chunks(), k.combine_chunks()


def _encoded(column: pa.ChunkedArray) -> pa.ChunkedArray:
    chunks = [c if pa.types.is_dictionary(c.type) else pc.dictionary_encode(c) for c in column.chunks]
    return pa.chunked_array(chunks, pa.dictionary(pa.int32(), column.type)).unify_dictionaries()


def _decoded(column):
    """A column as its values (of a dictionary, its entries taken)."""
    column = column if isinstance(column, pa.ChunkedArray) else pa.chunked_array([column])
    return column.cast(column.type.value_type) if pa.types.is_dictionary(column.type) else column


def compare_long(old: pa.Table, new: pa.Table, change: str, common: pa.Array, rtol: float = RTOL,
                 atol: float = ATOL) -> pa.Table:
    """Rows (guid, what) of the objects in `common` that appeared, went or changed between two
    long tables. A key given several times on one side compares as the sorted set of its values."""
    keyer = Keyer(common)
    return compare_keyed(keyer(old), keyer(new), keyer, change, rtol, atol)


def compare_keyed(old_side: Tuple[pa.Table, pa.Array], new_side: Tuple[pa.Table, pa.Array],
                  keyer: Keyer, change: str, rtol: float = RTOL, atol: float = ATOL) -> pa.Table:
    """compare_long over two sides keyed by `keyer`: matched by a hash lookup of their keys;
    only the rows that changed are copied."""
    (old, ko), (new, kn) = old_side, new_side
    common, whats, width = keyer.common, keyer.whats, WIDTH
    # Keys are unique on each side: one hash lookup pairs the rows, and the new rows no old
    # one found are those that appeared.
    pos = pc.index_in(ko, value_set=kn)  # each old row's new row
    found = np.zeros(len(kn), dtype=bool)
    found[pc.drop_null(pos).to_numpy()] = True
    went = []
    # In slices: the values of the other side are copied a slice at a time.
    for start in range(0, len(ko), SLICE):
        p = pos.slice(start, SLICE)
        a, b = _decoded(old.column("number").slice(start, SLICE)), _decoded(new.column("number").take(p))
        va, vb = _decoded(old.column("value").slice(start, SLICE)), _decoded(new.column("value").take(p))
        both_numbers = pc.and_(pc.is_valid(a), pc.is_valid(b))
        numbers_differ = pc.invert(pc.fill_null(_close(a, b, rtol, atol), False))
        texts_differ = pc.fill_null(pc.not_equal(va, vb), pc.xor(pc.is_null(va), pc.is_null(vb)))
        differ = pc.if_else(both_numbers, numbers_differ, texts_differ)
        changed = pc.or_(pc.is_null(p), pc.fill_null(differ, False))
        went.append(pa.table({"k": ko.slice(start, SLICE).filter(changed), "old": va.filter(changed),
                              "new": vb.filter(changed), "old_number": a.filter(changed),
                              "new_number": b.filter(changed),
                              "at_old": pc.add(pc.cast(pc.indices_nonzero(changed), pa.int64()), start),
                              "at_new": pc.cast(p.filter(changed), pa.int64())}))
    came = pa.array(~found)
    n = pc.sum(came).as_py() or 0
    appeared = pa.table({"k": kn.filter(came), "old": pa.nulls(n, pa.string()),
                         "new": _decoded(new.column("value").filter(came)), "old_number": pa.nulls(n, pa.float64()),
                         "new_number": _decoded(new.column("number").filter(came)), "at_old": pa.nulls(n, pa.int64()),
                         "at_new": pc.cast(pc.indices_nonzero(came), pa.int64())})
    rows = pa.concat_tables([w.cast(appeared.schema) for w in went] + [appeared])
    k = rows.column("k")
    g = pc.divide(k, width)
    what = whats.take(pc.subtract(k, pc.multiply(g, width)))
    if "source" in old.column_names:
        # Values inherited from the type: " (type)", so an edit of a type shows as such on each
        # of its occurrences.
        src = pc.coalesce(new.column("source").take(rows.column("at_new")),
                          old.column("source").take(rows.column("at_old")))
        what = pc.if_else(pc.fill_null(src, False),
                          pc.binary_join_element_wise(what, "(type)", " "), what)
    return pa.table({"guid": common.take(g), "change": _repeat(change, rows.num_rows), "what": what,
                     "old": rows.column("old"), "new": rows.column("new"),
                     "old_number": rows.column("old_number"), "new_number": rows.column("new_number")})


def _keyed(t: pa.Table, common: pa.Array, whats: pa.Array, width: int) -> Tuple[pa.Table, pa.ChunkedArray]:
    """The key of each row (the object's position in `common` times `width` plus the what's;
    null for objects not in `common`); the values of a repeated key are folded into one row
    added at the end, the repeated rows' keys made null."""
    k = pc.add(pc.multiply(pc.cast(codes(t.column("guid"), common), pa.int64()), width),
               pc.cast(codes(t.column("what"), whats), pa.int64()))
    known = pc.drop_null(k)
    ordered = known.take(pc.sort_indices(known))
    same = pc.equal(ordered.slice(1), ordered.slice(0, max(len(ordered) - 1, 0))) if len(ordered) > 1 else None
    if same is None or not pc.any(same).as_py():
        return t, k
    # Few keys repeat (a list value, a set named twice): their values are folded in Python.
    many = pc.unique(ordered.slice(1).filter(same))
    repeated = pc.fill_null(pc.is_in(k, value_set=many), False)
    multi = t.filter(repeated)
    groups: Dict[int, List[str]] = {}
    for key, v, x in zip(k.filter(repeated).to_pylist(), multi.column("value").to_pylist(),
                         multi.column("number").to_pylist()):
        groups.setdefault(key, []).append(v if x is None else repr(round(x, 9)))
    folded = pa.table({"guid": [common[key // width].as_py() for key in groups], "what": [None] * len(groups),
                       "value": [" | ".join(sorted("" if v is None else v for v in texts)) for texts in groups.values()],
                       "number": pa.nulls(len(groups), pa.float64())})
    if "source" in t.column_names:
        folded = folded.append_column("source", pa.nulls(folded.num_rows, pa.bool_()))
    # Appended chunks, not copies: the table keeps its columns' own types by casting the few.
    t = pa.concat_tables([t, folded.cast(t.schema)])
    k = pa.chunked_array(pc.if_else(repeated, pa.scalar(None, pa.int64()), k).chunks +
                         [pa.array(list(groups), pa.int64())])
    return t, k


# ---- the aspects, each as long rows of one model ----

def attribute_rows(m: Model) -> pa.Table:
    """Every direct attribute written as a value (no reference, nor a list of them), but the
    GlobalId; numbers of measures in SI."""
    a = m.tables["attributes"]
    kind = _text(a.column("kind"))
    name = _text(a.column("attribute"))
    value = _text(a.column("value"))
    keep = pc.and_(pc.invert(pc.is_in(kind, value_set=pa.array(["reference", "derived"]))),
                   pc.not_equal(name, "GlobalId"))
    keep = pc.and_(keep, pc.invert(pc.and_(pc.equal(kind, "list"), pc.match_substring(value, "#"))))
    a = a.filter(keep)
    # Typed values by their type; plain numbers of attributes the schema measures in lengths.
    scale = number_scale(a.column("value_type"), m.scales)
    lengths = pc.is_in(_text(a.column("attribute")), value_set=pa.array(LENGTH_ATTRIBUTES))
    scale = pc.if_else(pc.and_(lengths, pc.is_null(a.column("value_type"))), m.length, scale)
    return _long(a.column("guid"), a.column("attribute"), a.column("value"), pc.multiply(a.column("number"), scale))


def class_rows(m: Model) -> pa.Table:
    return _long(m.entity.column("guid"), "class", m.entity.column("entity"))


def per_entry(column, fn) -> pa.ChunkedArray:
    """fn applied to each text once: to a dictionary column's entries, taken back to its rows."""
    chunks = column.chunks if isinstance(column, pa.ChunkedArray) else [column]
    return pa.chunked_array([pc.take(fn(c.dictionary), c.indices) if pa.types.is_dictionary(c.type) else fn(c)
                             for c in chunks])


def paired_names(first, second, index=None, role=None) -> pa.DictionaryArray:
    """"First.Second" of two dictionary columns (with "#index" and " role" where given), as a
    dictionary: the text of each distinct pair is made once, not once a row."""
    f, s = first.combine_chunks(), second.combine_chunks()
    f = f if pa.types.is_dictionary(f.type) else pc.dictionary_encode(f)
    s = s if pa.types.is_dictionary(s.type) else pc.dictionary_encode(s)
    combo = pc.add(pc.multiply(pc.cast(f.indices, pa.int64()), len(s.dictionary)), pc.cast(s.indices, pa.int64()))
    parts = []  # (size, codes, texts of codes 1..size-1; 0 is none)
    if index is not None and pc.max(index).as_py() is not None:
        top = pc.max(index).as_py() + 2
        parts.append((top, pc.fill_null(pc.add(pc.cast(index, pa.int64()), 1), 0),
                      lambda c: pc.binary_join_element_wise("#", pc.cast(pc.subtract(c, 1), pa.string()), "")))
    if role is not None:
        r = role.combine_chunks()
        r = r if pa.types.is_dictionary(r.type) else pc.dictionary_encode(r)
        if r.null_count < len(r):
            names = r.dictionary
            parts.append((len(names) + 1, pc.fill_null(pc.add(pc.cast(r.indices, pa.int64()), 1), 0),
                          lambda c, names=names: pc.binary_join_element_wise(" ", names.take(pc.subtract(c, 1)), "")))
    for size, codes_, _ in parts:
        combo = pc.add(pc.multiply(combo, size), codes_)
    encoded = pc.dictionary_encode(combo)
    distinct_ = encoded.dictionary
    suffixes = []
    for size, _, text in reversed(parts):
        code = pc.subtract(distinct_, pc.multiply(pc.divide(distinct_, size), size))
        suffixes.insert(0, pc.if_else(pc.equal(code, 0), "", text(pc.max_element_wise(code, 1))))
        distinct_ = pc.divide(distinct_, size)
    fi = pc.divide(distinct_, len(s.dictionary))
    si = pc.subtract(distinct_, pc.multiply(fi, len(s.dictionary)))
    texts = pc.binary_join_element_wise(f.dictionary.take(fi), s.dictionary.take(si), ".")
    if suffixes:
        texts = pc.binary_join_element_wise(texts, *suffixes, "")
    return pa.DictionaryArray.from_arrays(encoded.indices, pc.cast(texts, pa.string()))


def property_rows(m: Model) -> pa.Table:
    p = _without_instance_ids(m.tables["properties"]).unify_dictionaries()
    what = paired_names(p.column("pset_name"), p.column("prop_name"), p.column("value_index"), p.column("role"))
    number = pc.multiply(p.column("number"), number_scale(p.column("value_type"), m.scales))
    t = _long(p.column("guid"), what, p.column("value"), number)
    return t.append_column("source", _inherited(p))


def _without_instance_ids(p: pa.Table) -> pa.Table:
    """Values that name another record by its instance id (a reference value without a name, an
    attribute of a predefined set pointing elsewhere) left out: the id changes with every export."""
    pointing = per_entry(p.column("kind"), lambda d: pc.is_in(d, pa.array(["reference", "predefined"])))
    numbered = per_entry(p.column("value"), lambda d: pc.match_substring_regex(d, r"^#[0-9]+$"))
    drop = pc.and_(pc.fill_null(pointing, False), pc.fill_null(numbered, False))
    return p.filter(pc.invert(drop)).drop_columns(["kind"])


def _inherited(t: pa.Table):
    """True where the row is the type's value shown on an occurrence (a type's own rows name
    the type as their source too)."""
    shared = distinct(t.column("guid"), t.column("type_guid"))
    own = pc.fill_null(pc.equal(codes(t.column("guid"), shared), codes(t.column("type_guid"), shared)), False)
    typed = per_entry(t.column("source"), lambda d: pc.equal(d, "type"))
    return pc.and_(pc.fill_null(typed, False), pc.invert(own))


def quantity_rows(m: Model) -> pa.Table:
    q = m.tables["element_quantities"].unify_dictionaries()
    what = paired_names(q.column("qto_name"), q.column("quantity_name"))
    number = pc.multiply(q.column("number"), per_entry(q.column("unit"), quantity_scale))
    t = _long(q.column("guid"), what, q.column("value"), number)
    return t.append_column("source", _inherited(q))


def _per_guid(guid, text, what: str) -> pa.Table:
    """One row per guid whose value is the guid's texts joined in their order."""
    guid, text = _text(guid).combine_chunks(), text.combine_chunks() if isinstance(text, pa.ChunkedArray) else text
    n = len(guid)
    if n == 0:
        return _long(guid, what, pa.array([], pa.string()))
    # Rows come sorted by guid: each run of a guid is one list.
    starts = pc.indices_nonzero(pa.concat_arrays([
        pa.array([True]), pc.fill_null(pc.not_equal(guid.slice(1), guid.slice(0, n - 1)), True)]))
    offsets = pa.concat_arrays([pc.cast(starts, pa.int32()), pa.array([n], pa.int32())])
    joined = pc.binary_join(pa.ListArray.from_arrays(offsets, text), "; ")
    return _long(guid.take(starts), what, joined)


def material_rows(m: Model) -> pa.Table:
    t = m.tables["materials"]
    thickness = pc.round(pc.multiply(t.column("layer_thickness_mm"), m.length), 6)
    text = pc.binary_join_element_wise(
        _text(t.column("role")), pc.cast(t.column("layer_index"), pa.string()),
        pc.fill_null(_text(t.column("material_name")), "?"), pc.fill_null(pc.cast(thickness, pa.string()), ""), " ")
    # Associations come in file order, which a re-export may change; layers keep their index.
    t = pa.table({"guid": _text(t.column("guid")), "text": text}).sort_by([("guid", "ascending"),
                                                                            ("text", "ascending")])
    return _per_guid(t.column("guid"), t.column("text"), "material")


def classification_rows(m: Model) -> pa.Table:
    t = m.tables["classifications"]
    cols = [pc.fill_null(_text(t.column(c)), "") for c in ("system_name", "identification", "name")]
    text = pc.binary_join_element_wise(*cols, " ")
    t = pa.table({"guid": _text(t.column("guid")), "text": text})
    t = t.sort_by([("guid", "ascending"), ("text", "ascending")])
    return _per_guid(t.column("guid"), t.column("text"), "classification")


def type_rows(m: Model) -> pa.Table:
    return _relation_rows(m, "type")


RELATIONS = {"container": {"IfcRelContainedInSpatialStructure": "container"},
             "aggregate": {"IfcRelAggregates": "aggregate", "IfcRelNests": "nest"},
             "type": {"IfcRelDefinesByType": "type"}}


def _relation_rows(m: Model, kind: str) -> pa.Table:
    """Each related object and the GlobalId of what relates it, `what` naming the relation."""
    r = m.tables["relations"]
    relation = _text(r.column("relation"))
    parts = []
    for name, what in RELATIONS[kind].items():
        rows = r.filter(pc.equal(relation, name))
        parts.append(_long(_text(rows.column("related_guid")), what, rows.column("relating_guid")))
    return pa.concat_tables(parts)


ASPECTS = {
    "attribute": attribute_rows, "property": property_rows, "quantity": quantity_rows,
    "material": material_rows, "classification": classification_rows, "type": type_rows,
    "container": lambda m: _relation_rows(m, "container"), "aggregate": lambda m: _relation_rows(m, "aggregate"),
}


def _side_by_side(a: pa.Table, b: pa.Table, common: pa.Array) -> pa.Table:
    """The first row of each object of `common` in both tables: guid, then a's columns with
    "_o" and b's with "_n"; objects missing from either are left out."""
    a, b = first_rows(a, "guid", common), first_rows(b, "guid", common)
    both = pc.and_(pc.is_valid(a.column("guid")), pc.is_valid(b.column("guid")))
    columns = {"guid": pc.filter(common, both)}
    columns.update({c + "_o": a.column(c).filter(both) for c in a.column_names[1:]})
    columns.update({c + "_n": b.column(c).filter(both) for c in b.column_names[1:]})
    return pa.table(columns)


def placement_rows(old: Model, new: Model, common: pa.Array, tolerance: float) -> pa.Table:
    cols = ["guid", "x", "y", "z", "x_axis_x", "x_axis_y", "x_axis_z", "z_axis_x", "z_axis_y", "z_axis_z"]
    j = _side_by_side(old.tables["placements"].select(cols), new.tables["placements"].select(cols), common)
    d2 = None
    for c in "xyz":
        d = pc.subtract(j.column(c + "_n"), j.column(c + "_o"))
        d2 = pc.multiply(d, d) if d2 is None else pc.add(d2, pc.multiply(d, d))
    distance = pc.sqrt(d2)
    turn = None
    for c in cols[4:]:
        d = pc.abs(pc.subtract(j.column(c + "_n"), j.column(c + "_o")))
        turn = d if turn is None else pc.max_element_wise(turn, d)
    size = pc.max_element_wise(pc.abs(j.column("x_o")), pc.max_element_wise(pc.abs(j.column("y_o")),
                                                                              pc.abs(j.column("z_o"))))
    # Frames are resolved in double precision (grids and linear placements in single): a
    # relative tolerance covers their rounding far from the origin.
    limit = pc.add(tolerance, pc.multiply(size, 1e-9))
    moved = pc.greater(distance, limit)
    turned = pc.greater(turn, 1e-6)
    j = j.append_column("distance", distance)
    j = j.append_column("_m", moved).append_column("_t", turned)
    j = j.filter(pc.or_(moved, turned))

    def where(s):
        return pc.binary_join_element_wise(*(pc.cast(pc.round(j.column(c + s), 6), pa.string()) for c in "xyz"), ", ")

    what = pc.if_else(j.column("_m"), pc.if_else(j.column("_t"), "moved and turned", "moved"), "turned")
    changed = pa.table({"guid": j.column("guid"), "change": _repeat("placement", j.num_rows),
                        "what": what, "old": where("_o"), "new": where("_n"), "distance": j.column("distance")})
    # Objects that gained or lost their placement.
    placed = [pc.is_in(common, value_set=m.tables["placements"].column("guid").combine_chunks()) for m in (old, new)]
    parts = [changed]
    for label, gained in (("placed", pc.and_(pc.invert(placed[0]), placed[1])),
                          ("unplaced", pc.and_(placed[0], pc.invert(placed[1])))):
        guids = common.filter(gained)
        parts.append(pa.table({"guid": guids, "change": _repeat("placement", len(guids)),
                               "what": _repeat(label, len(guids))}))
    return pa.concat_tables(parts, promote_options="default")


def geometry_rows(old: Model, new: Model, common: pa.Array, moved: pa.Array) -> pa.Table:
    """Meshes whose volume, area or size changed, or whose box moved while the placement did
    not."""
    cols = ["guid", "volume_abs", "surface_area", "max_extent", "centroid_x", "centroid_y", "centroid_z"]

    def prepared(m):
        t = m.tables["drift"].select(cols)
        s = m.length
        return pa.table([t.column("guid")] + [pc.multiply(pc.cast(t.column(c), pa.float64()),
                                                           s ** (3 if c == "volume_abs" else 2 if c == "surface_area" else 1))
                                              for c in cols[1:]], names=cols)

    j = _side_by_side(prepared(old), prepared(new), common)
    parts = []
    for c, label in (("volume_abs", "volume"), ("surface_area", "area"), ("max_extent", "extent")):
        a, b = j.column(c + "_o"), j.column(c + "_n")
        off = pc.invert(pc.fill_null(_close(a, b, MESH_RTOL, 1e-6), False))
        if c == "volume_abs":
            # A volume is summed about the world origin in single precision: one moved far off
            # rounds differently. Moved objects are judged by their area and extent.
            off = pc.and_(off, pc.invert(pc.is_in(j.column("guid"), value_set=moved)))
        k = j.filter(off)
        n = k.num_rows
        parts.append(pa.table({"guid": k.column("guid"), "change": _repeat("geometry", n),
                               "what": _repeat(label, n),
                               "old_number": k.column(c + "_o"), "new_number": k.column(c + "_n")}))
    d2 = None
    for c in ("centroid_x", "centroid_y", "centroid_z"):
        d = pc.subtract(j.column(c + "_n"), j.column(c + "_o"))
        d2 = pc.multiply(d, d) if d2 is None else pc.add(d2, pc.multiply(d, d))
    distance = pc.sqrt(d2)
    size = pc.max_element_wise(j.column("max_extent_o"), j.column("max_extent_n"))
    shifted = pc.and_(pc.greater(distance, pc.add(1e-5, pc.multiply(size, MESH_RTOL))),
                      pc.invert(pc.is_in(j.column("guid"), value_set=moved)))
    k = j.filter(shifted)
    parts.append(pa.table({"guid": k.column("guid"), "change": _repeat("geometry", k.num_rows),
                           "what": _repeat("position", k.num_rows),
                           "distance": pc.filter(distance, shifted)}))
    return pa.concat_tables(parts, promote_options="default")


def _only_filter(entity: pa.ChunkedArray, only: Sequence[str]):
    # A class names its standard and elemented cases too (IfcWall: IfcWallStandardCase).
    names = [n for o in only for n in (o, o + "StandardCase", o + "ElementedCase")]
    return pc.is_in(pc.utf8_lower(entity), value_set=pa.array([n.lower() for n in names]))


def compute(old, new, only=None, kinds=None, tolerance: Optional[float] = None):
    """The changes (a table of SCHEMA), the summary counts per kind and the two models."""
    with _lean_memory():
        return _compute(old, new, only, kinds, tolerance)


def _compute(old, new, only, kinds, tolerance):
    kinds = kinds_of(kinds)
    # The old model's properties come with its other tables and are keyed at once, against its
    # own objects (the common ones are not known yet); the new model's are read last, alone,
    # once the small tables are compared and let go.
    a = read_model(old, kinds)
    # Its repeated GlobalIds are never compared: their rows are left out at once.
    guids = a.entity.column("guid").combine_chunks()
    keyer, sides = Keyer(pc.filter(guids, pc.invert(pc.is_in(guids, value_set=_duplicates(a))))), []
    if "properties" in a.tables:
        rows = property_rows(a)
        del a.tables["properties"]
        sides.append(keyer(rows))
        del rows
        _give_back()
    b = read_model(new, kinds, properties=False)
    dup = pa.concat_arrays([_duplicates(a), _duplicates(b)]).unique()
    ga = pc.filter(a.entity.column("guid"), pc.invert(pc.is_in(a.entity.column("guid"), value_set=dup)))
    gb = pc.filter(b.entity.column("guid"), pc.invert(pc.is_in(b.entity.column("guid"), value_set=dup)))
    common = pc.filter(ga, pc.is_in(ga, value_set=gb)).combine_chunks()
    # The coarser of the precisions the two models state, in metres.
    atol = max([ATOL] + [m.precision for m in (a, b) if m.precision])
    parts: List[pa.Table] = []

    def simple(change, guids):
        parts.append(pa.table({"guid": guids, "change": _repeat(change, len(guids))}))

    if "duplicate" in kinds and len(dup):
        for side, model in (("old", a), ("new", b)):
            d = _duplicates(model)
            if len(d):
                n = len(d)
                parts.append(pa.table({"guid": d, "change": _repeat("duplicate", n),
                                       "what": _repeat(f"GlobalId repeated in the {side} model", n)}))
    if "added" in kinds:
        simple("added", pc.filter(gb, pc.invert(pc.is_in(gb, value_set=ga))))
    if "deleted" in kinds:
        simple("deleted", pc.filter(ga, pc.invert(pc.is_in(ga, value_set=gb))))
    del ga, gb
    if "class" in kinds:
        parts.append(compare_long(class_rows(a), class_rows(b), "class", common))
    for kind, rows in ASPECTS.items():
        if kind in kinds and kind != "property":
            parts.append(compare_long(rows(a), rows(b), kind, common, atol=atol))
    moved = pa.array([], pa.string())
    if "placement" in kinds or "geometry" in kinds:
        placed = placement_rows(a, b, common, atol if tolerance is None else tolerance)
        moved = placed.column("guid").combine_chunks()
        if "placement" in kinds:
            parts.append(placed)
    if "geometry" in kinds:
        parts.append(geometry_rows(a, b, common, moved))
    _release(a, b)
    if sides:
        b.tables.update(_read(b.path, ["properties"]))
        rows = property_rows(b)
        _release(b)
        sides.append(keyer(rows))
        del rows
        _give_back()
        changed = compare_keyed(*sides, keyer, "property", atol=atol)
        del sides
        # Keyed against all the old model's objects: those deleted or repeated drop out here.
        parts.append(changed.filter(pc.is_in(changed.column("guid"), value_set=common)))
        _give_back()

    changes = pa.concat_tables(parts, promote_options="default") if parts else SCHEMA.empty_table()
    changes = _finish(changes, a, b, only)
    summary = {k: 0 for k in kinds}
    for item in pc.value_counts(changes.column("change").combine_chunks()).to_pylist():
        summary[item["values"]] = item["counts"]
    return changes, summary, a, b


def _finish(changes: pa.Table, a: Model, b: Model, only) -> pa.Table:
    """Every column of SCHEMA, entity and name from the new revision (the old for deleted
    objects), in the order of KINDS, then GlobalId, then what."""
    for field in SCHEMA:
        if field.name not in changes.column_names and field.name not in ("entity", "name"):
            changes = changes.append_column(field.name, pa.nulls(changes.num_rows, field.type))
    known = first_rows(pa.concat_tables([b.entity, a.entity]), "guid", changes.column("guid"))
    changes = changes.append_column("entity", known.column("entity")).append_column("name", known.column("name"))
    if only:
        changes = changes.filter(_only_filter(changes.column("entity"), only))
    order = pa.array(KINDS)
    rank = pc.index_in(changes.column("change"), value_set=order)
    changes = changes.append_column("_rank", rank).sort_by(
        [("_rank", "ascending"), ("guid", "ascending"), ("what", "ascending")])
    return changes.select(SCHEMA.names).cast(SCHEMA)
