"""The six IDS facets, each a filter over a model's Arrow tables.

A facet gives an Outcome: the GlobalIds of the objects it holds for (read as a required facet),
the GlobalIds that have what it asks about at all (a property of that name, any material, ...;
an optional facet passes where that is absent), and a value found per object for the report.
Name conditions run on the distinct names of a column, never per row.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Optional, Tuple

import numpy as np
import pyarrow as pa
import pyarrow.compute as pc

from quarnel.units import number_scale

from . import schema as schemas
from .model import STRING, Model, plain
from .needs import CLASSIFICATIONS, MATERIALS
from .parse import Facet, Value
from .values import Column, matches

ANYTHING = Value(base="string")


@dataclass
class Outcome:
    ok: np.ndarray  # one per object: the facet holds for it
    present: Optional[np.ndarray] = None  # one per object: it has the facet's subject; None: every object
    found: Optional[Tuple[np.ndarray, pa.Array]] = None  # (codes, values): what was seen, for failures


def any_of(n: int, codes: np.ndarray, mask=None) -> np.ndarray:
    """Per object: whether any of its rows (codes) is marked."""
    out = np.zeros(n, dtype=bool)
    out[codes if mask is None else codes[_np(mask)]] = True
    return out


def _np(mask) -> np.ndarray:
    return mask if isinstance(mask, np.ndarray) else plain(mask).to_numpy(zero_copy_only=False)


def name_mask(value: Optional[Value], column, where: str, upper: bool = False):
    """Rows of a text column meeting a name condition, decided once per distinct value: on the
    dictionary of a dictionary-encoded column, then spread by its indices."""
    if isinstance(column, pa.ChunkedArray):
        return pa.chunked_array([name_mask(value, c, where, upper) for c in column.chunks], pa.bool_())
    if value is None:
        return pc.is_valid(column)
    if isinstance(column.type, pa.DictionaryType):
        words = column.dictionary.cast(STRING)
        hits = np.append(_np(matches(value, Column(pc.utf8_upper(words) if upper else words), where)), False)
        indices = column.indices
        if indices.null_count:
            indices = pc.fill_null(indices, len(words))  # null names: the False after the entries
        return pa.array(hits[indices.to_numpy()])
    distinct = pc.unique(column)
    shown = pc.utf8_upper(distinct) if upper else distinct
    hits = distinct.filter(matches(value, Column(shown), where))
    return pc.fill_null(pc.is_in(column, value_set=hits), False)


def prepare(model: Model, kinds) -> None:
    """Builds what facets of these kinds share, so that facets evaluated side by side do not
    wait on each other's building of it."""
    model.objects()
    if "property" in kinds:
        _property_numbers(model)


def evaluate(facet: Facet, model: Model, version: str) -> Outcome:
    return _FACETS[facet.kind](facet, model, version)


# -- entity -------------------------------------------------------------------------------------

def entity_mask(facet: Facet, objects: pa.Table) -> pa.Array:
    ok = name_mask(facet.name, objects["entity"], facet.where, upper=True)
    if facet.predefined_type is not None:
        resolved = name_mask(facet.predefined_type, objects["predefined_type"], facet.where)
        raw = plain(objects["raw_predefined"])
        userdefined = pc.and_(pc.equal(pc.fill_null(raw, ""), "USERDEFINED"),
                              name_mask(facet.predefined_type, raw, facet.where))
        ok = pc.and_(ok, pc.or_(resolved, userdefined))
    return ok


def entity(facet: Facet, model: Model, version: str) -> Outcome:
    o = model.objects()
    shown = pc.binary_join_element_wise(plain(o["entity"]), pc.fill_null(o["predefined_type"], ""), " ")
    return Outcome(ok=_np(entity_mask(facet, o)), found=(np.arange(o.num_rows), shown))


# -- attribute ----------------------------------------------------------------------------------

def attribute(facet: Facet, model: Model, version: str) -> Outcome:
    codes, column, values, present = _attribute_rows(facet, model, version)
    # Present: a matching attribute with a value (an empty string counts); met: one of them meets
    # the condition (never an empty one, nor a logical unknown).
    ok = matches(facet.value if facet.value is not None else ANYTHING, column, facet.where)
    return Outcome(ok=any_of(model.size, codes, ok), present=present, found=(codes, values))


def _attribute_rows(facet: Facet, model: Model, version: str):
    """The values of the attributes a name condition matches, shared by the facets that name them
    alike (thousands of specifications may each ask for a value of Name)."""
    def build():
        a = model.coded(model.attributes)
        rows = a.filter(name_mask(facet.name, a["attribute"], facet.where))
        rows = pa.table({n: plain(rows[n]) for n in ("code", "value", "kind", "value_type", "number")})
        rows = rows.filter(pc.and_(pc.is_valid(rows["value"]), pc.not_equal(pc.fill_null(rows["kind"], ""), "derived")))
        kind, text = _attribute_kinds(rows, version)
        codes = _np(rows["code"])
        return codes, Column(text, rows["number"], kind), rows["value"], any_of(model.size, codes)
    return model.derived(("attribute", version, repr(facet.name)), build)


# How the attributes table writes a value, as the kind its comparison takes.
_FILE_KINDS = {"integer": "integer", "real": "real", "logical": "boolean", "reference": "entity", "list": "list"}
_TRUTH = {"T": "true", ".T.": "true", "TRUE": "true", "true": "true", "F": "false", ".F.": "false",
          "FALSE": "false", "false": "false", "U": "UNKNOWN", ".U.": "UNKNOWN", "UNKNOWN": "UNKNOWN"}


def _attribute_kinds(rows: pa.Table, version: str):
    written = rows["kind"]
    kinds = pa.array([_FILE_KINDS.get(k, "string") for k in pc.unique(written).to_pylist()], STRING)
    kind = pc.take(kinds, pc.index_in(written, value_set=pc.unique(written)))
    typed = pc.equal(pc.fill_null(written, ""), "typed")
    if pc.any(typed).as_py():
        kind = pc.if_else(typed, value_kinds(rows["value_type"], version), kind)
    text = plain(rows["value"])
    truth = pc.equal(kind, "boolean")
    if pc.any(truth).as_py():
        words = pa.array(list(_TRUTH), STRING)
        mapped = pc.take(pa.array(list(_TRUTH.values()), STRING), pc.index_in(text, value_set=words))
        text = pc.if_else(truth, pc.coalesce(mapped, text), text)
        kind = pc.if_else(pc.and_(truth, pc.equal(pc.fill_null(text, ""), "UNKNOWN")), "logical", kind)
    # An empty list or set is as good as no value.
    empty = pc.and_(pc.equal(kind, "list"), pc.match_substring_regex(pc.fill_null(text, ""), r"^\(\s*\)$"))
    text = pc.if_else(empty, "", text)
    return kind, text


# -- property -----------------------------------------------------------------------------------

QUANTITY_MEASURES = {"Length": "IfcLengthMeasure", "Area": "IfcAreaMeasure", "Volume": "IfcVolumeMeasure",
                     "Count": "IfcCountMeasure", "Weight": "IfcMassMeasure", "Time": "IfcTimeMeasure",
                     "Number": "IfcNumericMeasure"}

def property_rows(model: Model) -> pa.Table:
    """code, pset, name, value, value_type, number of every property and quantity value (names
    left dictionary-encoded, one chunk per source table)."""
    return model.derived("property_rows", lambda: _property_rows(model))


def _property_rows(model: Model) -> pa.Table:
    p = model.coded("properties", keep=False)
    props = pa.table({"code": p["code"], "pset": p["pset_name"], "name": p["prop_name"], "value": p["value"],
                      "value_type": p["value_type"], "number": p["number"]})
    q = model.coded("element_quantities", keep=False)
    measure = pc.cast(plain(q["quantity_type"]), STRING)
    measure_map = pa.array(list(QUANTITY_MEASURES.values()), STRING)
    index = pc.index_in(measure, value_set=pa.array(list(QUANTITY_MEASURES), STRING))
    quants = pa.table({"code": q["code"], "pset": q["qto_name"], "name": q["quantity_name"], "value": q["value"],
                       "value_type": pc.take(measure_map, index).dictionary_encode(), "number": q["number"]})
    quants = quants.cast(props.schema)
    return pa.concat_tables([props, quants])  # no copy: rows are taken chunk by chunk (_take_rows)


def _take_rows(table: pa.Table, rows: np.ndarray) -> pa.Table:
    """Rows of a table by ascending position, taken from each chunk apart: a take over chunked
    columns joins their chunks first, a copy of the whole table."""
    parts, start = [], 0
    for batch in table.to_batches():
        end = start + batch.num_rows
        first, last = np.searchsorted(rows, [start, end])
        if last > first:
            parts.append(batch.take(pa.array(rows[first:last] - start)))
        start = end
    return pa.Table.from_batches(parts, schema=table.schema) if parts else table.schema.empty_table()


def _to_si(rows: pa.Table, model: Model) -> pa.Array:
    """The number column in SI units (lengths, areas, volumes and plane angles in the model's units)."""
    return plain(pc.multiply(rows["number"], number_scale(rows["value_type"], model.scales)))


def value_kinds(value_types, version: str):
    """The kind of each row's value ("string", "real", "boolean", ...) from its IFC type name."""
    value_types = plain(value_types)
    distinct = pc.unique(value_types).to_pylist()
    s = schemas.schema(version) or schemas.schema("IFC4")
    kinds = []
    for t in distinct:
        kind = s.defined_types.get((t or "").upper(), "string")
        kinds.append(kind if kind != "enum" else "string")
    return pc.take(pa.array(kinds, STRING), pc.index_in(value_types, value_set=pa.array(distinct, STRING)))


def text_of(rows: pa.Table, kinds) -> pa.Array:
    """Value text as IDS compares it: booleans as "true"/"false"."""
    text = plain(rows["value"])
    boolean = pc.is_in(kinds, value_set=pa.array(["boolean", "logical"], STRING))
    lowered = pc.if_else(pc.is_in(text, value_set=pa.array(["True", "False", "TRUE", "FALSE"], STRING)),
                         pc.utf8_lower(text), text)
    return pc.if_else(boolean, lowered, text)


def _words(texts):
    """Each text as a number (0: null; equal texts, equal numbers) and the texts of the numbers
    from 1: of a dictionary-encoded column, worked out once per dictionary entry."""
    texts = texts.combine_chunks() if isinstance(texts, pa.ChunkedArray) else texts
    if not isinstance(texts.type, pa.DictionaryType):
        texts = pc.dictionary_encode(texts)
    encoded = pc.dictionary_encode(texts.dictionary)  # entries spelled alike made one
    entries = pa.concat_arrays([pc.cast(pc.add(encoded.indices, 1), pa.int32()), pa.array([0], pa.int32())])
    indices = texts.indices
    if indices.null_count:
        indices = pc.fill_null(indices, len(texts.dictionary))
    return entries.to_numpy()[indices.to_numpy()], encoded.dictionary.cast(STRING)


def _word_hits(value: Value, words, where: str) -> np.ndarray:
    """Per number of _words: whether its text meets the name condition (null never does)."""
    return np.concatenate(([False], _np(matches(value, Column(words), where))))


def _property_numbers(model: Model):
    """Once per model: each property row's object code, its set and name as numbers of _words,
    and the rows in order of their set's number with where each number's rows begin."""
    def build():
        every = property_rows(model)
        sets, set_words = _words(every["pset"])
        names, name_words = _words(every["name"])
        # A stable sort of 16-bit keys is a radix sort: half the time of one of 32-bit keys.
        keys = sets.astype(np.uint16) if len(set_words) < 65535 else sets
        by_set = np.argsort(keys, kind="stable").astype(np.int32)
        starts = np.searchsorted(sets[by_set], np.arange(len(set_words) + 2))
        return _np(every["code"]).astype(np.int32), sets, set_words, names, name_words, by_set, starts
    return model.derived("property_numbers", build)


def property_(facet: Facet, model: Model, version: str) -> Outcome:
    every = property_rows(model)
    all_codes, all_sets, set_words, all_names, name_words, by_set, starts = _property_numbers(model)
    # Of the rows of matching sets only their objects and sets; values only where the name matches too.
    sets = np.flatnonzero(_word_hits(facet.property_set, set_words, facet.where))
    rows = np.sort(np.concatenate([by_set[starts[k]:starts[k + 1]] for k in sets])) if len(sets) else \
        np.zeros(0, dtype=np.int64)
    matched = _word_hits(facet.base_name, name_words, facet.where)[all_names[rows]]
    n = model.size
    codes = all_codes[rows]
    # Each (object, set) numbered by hashing, so that sets are marked in arrays, not sorted to be looked up.
    set_key = codes.astype(np.int64) * (int(all_sets.max(initial=0)) + 1) + all_sets[rows]
    set_id = _np(pc.dictionary_encode(pa.array(set_key)).indices)
    del set_key
    count = int(set_id.max(initial=-1)) + 1
    found_rows = rows[matched]
    found = _take_rows(every.select(["value", "value_type", "number"]), found_rows)
    found = pa.table({n: plain(found[n]) for n in found.column_names})
    kinds = value_kinds(found["value_type"], version)
    col = Column(text_of(found, kinds), _to_si(found, model), kinds)
    ok = matches(ANYTHING, col)
    if facet.data_type:
        types = pc.utf8_upper(pc.fill_null(found["value_type"], ""))
        ok = pc.and_(ok, pc.equal(types, facet.data_type.upper()))
    if facet.value is not None:
        ok = pc.and_(ok, matches(facet.value, col, facet.where))
    ok = _np(ok)
    # Any value of a property meets it (list, bounded, table values); every matching property of
    # every matching set must, and every matching set must have one.
    found_sets = set_id[matched]
    width = int(all_names.max(initial=0)) + 1
    key = found_sets.astype(np.int64) * width + all_names[found_rows]
    bad_sets = np.setdiff1d(key[~ok], key[ok]) // width  # (set, property) with no value that meets it
    good_set = np.zeros(count, dtype=bool)
    good_set[found_sets] = True
    good_set[bad_sets] = False
    good = good_set[set_id]
    return Outcome(ok=any_of(n, codes) & ~any_of(n, codes, ~good), present=any_of(n, codes[matched]),
                   found=(codes[matched], found["value"]))


# -- classification -----------------------------------------------------------------------------

def inherited(rows: pa.Table, model: Model, key: Optional[str] = None) -> pa.Table:
    """Rows (by object code) with those of each occurrence's type added, except where the
    occurrence has its own: any own row when `key` is None, else an own row with the same key."""
    type_code = model.derived("type_codes", lambda: _np(pc.fill_null(model.objects()["type_code"], -1)))
    typed = np.flatnonzero(type_code >= 0)  # occurrences, by their type
    order = np.argsort(type_code[typed], kind="stable")
    occurrences, their_types = typed[order], type_code[typed][order]
    # Each row of a type repeated for every occurrence of that type.
    row_types = _np(rows["code"]).astype(np.int64)
    first = np.searchsorted(their_types, row_types, "left")
    many = np.searchsorted(their_types, row_types, "right") - first
    if many.sum() == 0:
        return rows
    source = np.repeat(np.arange(len(row_types)), many)
    at = np.repeat(first - np.concatenate(([0], np.cumsum(many)[:-1])), many) + np.arange(int(many.sum()))
    own_codes = row_types
    their_codes = occurrences[at]
    if key is None:
        keep = ~np.isin(their_codes, own_codes)
    else:
        numbers = _words(pc.fill_null(plain(rows[key]), ""))[0]
        width = int(numbers.max(initial=0)) + 1
        keep = ~np.isin(their_codes * width + numbers[source], own_codes * width + numbers)
    from_type = rows.take(pa.array(source[keep]))
    from_type = from_type.set_column(from_type.column_names.index("code"), "code",
                                     pa.array(their_codes[keep]).cast(rows.schema.field("code").type))
    return pa.concat_tables([rows, from_type])


def classification(facet: Facet, model: Model, version: str) -> Outcome:
    """Any reference of the object, or one above it in its chain, meets the value, its chain's
    classification the system; an occurrence's references of a system replace its type's."""
    c = model.coded(CLASSIFICATIONS)
    c = inherited(pa.table({n: plain(c[n]) for n in ("code", "system_name", "identification")}), model,
                  "system_name")
    ok = name_mask(facet.system, c["system_name"], facet.where) if facet.system is not None else None
    if facet.value is not None:
        hit = name_mask(facet.value, c["identification"], facet.where)
        ok = hit if ok is None else pc.and_(ok, hit)
    shown = pc.binary_join_element_wise(pc.fill_null(c["system_name"], ""), pc.fill_null(c["identification"], ""),
                                        " ")
    codes, n = _np(c["code"]), model.size
    return Outcome(ok=any_of(n, codes, ok), present=any_of(n, codes), found=(codes, shown))


# -- material -----------------------------------------------------------------------------------

def material(facet: Facet, model: Model, version: str) -> Outcome:
    """Any name or category the object's materials give (material, set, layer, profile,
    constituent) meets the value; an occurrence with materials of its own does not take its
    type's."""
    m = model.coded(MATERIALS)
    m = inherited(pa.table({"code": m["code"], "name": plain(m["name"]), "category": plain(m["category"])}), model)
    if facet.value is None:
        ok = pc.or_(pc.is_valid(m["name"]), pc.is_valid(m["category"]))
    else:
        ok = pc.or_(name_mask(facet.value, m["name"], facet.where), name_mask(facet.value, m["category"], facet.where))
    codes, n = _np(m["code"]), model.size
    return Outcome(ok=any_of(n, codes, ok), present=any_of(n, codes), found=(codes, m["name"]))


# -- partOf -------------------------------------------------------------------------------------

RELATIONS = {"IFCRELAGGREGATES": "IfcRelAggregates", "IFCRELCONTAINEDINSPATIALSTRUCTURE":
             "IfcRelContainedInSpatialStructure", "IFCRELASSIGNSTOGROUP": "IfcRelAssignsToGroup",
             "IFCRELNESTS": "IfcRelNests", "IFCRELVOIDSELEMENT": "IfcRelVoidsElement",
             "IFCRELFILLSELEMENT": "IfcRelFillsElement"}


def part_of(facet: Facet, model: Model, version: str) -> Outcome:
    """Part of a whole the entity facet admits, directly or through wholes of the same
    relations (an aggregate of an aggregate, a nest in a nest)."""
    wanted = [RELATIONS[r] for r in facet.relation.split()] if facet.relation else list(RELATIONS.values())
    r = model.table("relations")
    rows = r.filter(pc.is_in(plain(r["relation"]), value_set=pa.array(wanted, STRING)))
    part, whole = model.codes_of(rows["related_guid"]), model.codes_of(rows["relating_guid"])
    known = pc.and_(pc.is_valid(part), pc.is_valid(whole))
    part, whole = _np(part.filter(known)), _np(whole.filter(known))
    objects, n = model.objects(), model.size
    wholes = _np(entity_mask(facet.entity, objects)) if facet.entity else np.ones(n, dtype=bool)
    # Each round reaches one level further down from the wholes.
    ok = np.zeros(n, dtype=bool)
    for _ in range(256):
        reached = any_of(n, part[(wholes | ok)[whole]])
        if (reached == ok).all():
            break
        ok = reached
    return Outcome(ok=ok, present=any_of(n, part), found=(part, pc.take(objects["guid"], pa.array(whole))))


_FACETS = {"entity": entity, "attribute": attribute, "property": property_, "classification": classification,
           "material": material, "partOf": part_of}
