"""The six IDS facets, each a filter over a model's Arrow tables.

A facet gives an Outcome: the GlobalIds of the objects it holds for (read as a required facet),
the GlobalIds that have what it asks about at all (a property of that name, any material, ...;
an optional facet passes where that is absent), and a value found per object for the report.
Name conditions run on the distinct names of a column, never per row.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Optional

import pyarrow as pa
import pyarrow.compute as pc

from quarnel.registry import TABLES

from . import schema as schemas
from .model import STRING, Model, frame, plain
from .parse import Facet, Value
from .values import Column, matches

ANYTHING = Value(base="string")
# Each reference with those above it, every name a material association gives, where the native
# module has these tables.
CLASSIFICATIONS = "classification_references" if "classification_references" in TABLES else "classifications"
MATERIALS = "material_names" if "material_names" in TABLES else "materials"


@dataclass
class Outcome:
    ok: pa.Array  # GlobalIds the facet holds for
    present: Optional[pa.Array] = None  # GlobalIds having the facet's subject; None: every object
    found: Optional[pa.Table] = None  # guid, value: what was seen, for failures


def unique(array) -> pa.Array:
    return pc.unique(plain(array).filter(pc.is_valid(plain(array))))


def name_mask(value: Optional[Value], column, where: str, upper: bool = False):
    """Rows of a text column meeting a name condition, decided once per distinct value: on the
    dictionary of a dictionary-encoded column, then spread by its indices."""
    if isinstance(column, pa.ChunkedArray):
        return pa.chunked_array([name_mask(value, c, where, upper) for c in column.chunks], pa.bool_())
    if value is None:
        return pc.is_valid(column)
    if isinstance(column.type, pa.DictionaryType):
        words = column.dictionary.cast(STRING)
        hits = matches(value, Column(pc.utf8_upper(words) if upper else words), where)
        return pc.fill_null(pc.take(hits, column.indices), False)
    distinct = pc.unique(column)
    shown = pc.utf8_upper(distinct) if upper else distinct
    hits = distinct.filter(matches(value, Column(shown), where))
    return pc.fill_null(pc.is_in(column, value_set=hits), False)


def first_values(guids, values) -> pa.Table:
    t = pa.table({"guid": plain(guids), "value": pc.cast(plain(values), STRING)})
    return t.group_by("guid", use_threads=False).aggregate([("value", "first")]).rename_columns(["guid", "value"])


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
    ok = o.filter(entity_mask(facet, o))["guid"]
    found = frame(guid=o["guid"], value=pc.binary_join_element_wise(
        plain(o["entity"]), pc.fill_null(plain(o["predefined_type"]), ""), " ").cast(STRING))
    return Outcome(ok=plain(ok), found=found)


# -- attribute ----------------------------------------------------------------------------------

def attribute(facet: Facet, model: Model, version: str) -> Outcome:
    a = model.table(model.attributes)
    rows = a.filter(name_mask(facet.name, a["attribute"], facet.where))
    rows = pa.table({n: plain(rows[n]) for n in rows.column_names})
    rows = rows.filter(pc.and_(pc.is_valid(rows["value"]), pc.not_equal(pc.fill_null(rows["kind"], ""), "derived")))
    kind, text = _attribute_kinds(rows, version)
    return _attribute_outcome(facet, rows["guid"], Column(text, rows["number"], kind), rows["value"])


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


def _attribute_outcome(facet: Facet, guids, col: Column, shown) -> Outcome:
    """Objects having a matching attribute with a value (present; an empty string counts) and
    those where one of them meets the condition (never an empty one, nor a logical unknown)."""
    ok_rows = matches(facet.value if facet.value is not None else ANYTHING, col, facet.where)
    t = pa.table({"guid": plain(guids), "ok": ok_rows})
    per = t.group_by("guid", use_threads=False).aggregate([("ok", "any")])
    return Outcome(ok=plain(per.filter(pc.field("ok_any"))["guid"]), present=unique(guids),
                   found=first_values(guids, shown))


# -- property -----------------------------------------------------------------------------------

QUANTITY_MEASURES = {"Length": "IfcLengthMeasure", "Area": "IfcAreaMeasure", "Volume": "IfcVolumeMeasure",
                     "Count": "IfcCountMeasure", "Weight": "IfcMassMeasure", "Time": "IfcTimeMeasure",
                     "Number": "IfcNumericMeasure"}
# Measures whose model unit follows the length unit: the power of the length scale to SI.
LENGTH_POWER = {"IFCLENGTHMEASURE": 1, "IFCPOSITIVELENGTHMEASURE": 1, "IFCNONNEGATIVELENGTHMEASURE": 1,
                "IFCAREAMEASURE": 2, "IFCVOLUMEMEASURE": 3}


def property_rows(model: Model) -> pa.Table:
    """guid, pset, name, value, value_type, number of every property and quantity value (names
    left dictionary-encoded, one chunk per source table)."""
    return model.derived("property_rows", lambda: _property_rows(model))


def _property_rows(model: Model) -> pa.Table:
    p = model.table("properties")
    props = pa.table({"guid": p["guid"], "pset": p["pset_name"], "name": p["prop_name"], "value": p["value"],
                      "value_type": p["value_type"], "number": p["number"]})
    q = model.table("element_quantities")
    measure = pc.cast(plain(q["quantity_type"]), STRING)
    measure_map = pa.array(list(QUANTITY_MEASURES.values()), STRING)
    index = pc.index_in(measure, value_set=pa.array(list(QUANTITY_MEASURES), STRING))
    quants = pa.table({"guid": q["guid"], "pset": q["qto_name"], "name": q["quantity_name"], "value": q["value"],
                       "value_type": pc.take(measure_map, index).dictionary_encode(), "number": q["number"]})
    quants = quants.cast(props.schema)
    return pa.concat_tables([props, quants])


def _to_si(rows: pa.Table, model: Model) -> pa.Array:
    """The number column in SI units (lengths, areas and volumes scaled from the model's unit)."""
    scale = model.unit_scale
    number = plain(rows["number"])
    if scale == 1.0 or len(number) == 0:
        return number
    upper = pc.utf8_upper(pc.fill_null(plain(rows["value_type"]), ""))
    factor = pa.array([scale ** LENGTH_POWER.get(t, 0) for t in LENGTH_POWER] + [1.0], pa.float64())
    index = pc.fill_null(pc.index_in(upper, value_set=pa.array(list(LENGTH_POWER), STRING)), len(LENGTH_POWER))
    return pc.multiply(number, pc.take(factor, index))


def value_kinds(value_types, version: str):
    """The kind of each row's value ("string", "real", "boolean", ...) from its IFC type name."""
    value_types = plain(value_types)
    distinct = pc.unique(value_types).to_pylist()
    s = schemas.schema(version) or schemas.schema("IFC4")
    kinds = []
    for t in distinct:
        kind = s.defined_types.get((t or "").upper(), "string") if s is not None else _guess_kind(t)
        kinds.append(kind if kind != "enum" else "string")
    return pc.take(pa.array(kinds, STRING), pc.index_in(value_types, value_set=pa.array(distinct, STRING)))


def _guess_kind(t: Optional[str]) -> str:
    t = (t or "").upper()
    if t in ("IFCBOOLEAN",):
        return "boolean"
    if t == "IFCLOGICAL":
        return "logical"
    if t in ("IFCINTEGER", "IFCCOUNTMEASURE"):
        return "integer"
    return "real" if t.endswith("MEASURE") or t == "IFCREAL" else "string"


def text_of(rows: pa.Table, kinds) -> pa.Array:
    """Value text as IDS compares it: booleans as "true"/"false"."""
    text = plain(rows["value"])
    boolean = pc.is_in(kinds, value_set=pa.array(["boolean", "logical"], STRING))
    lowered = pc.if_else(pc.is_in(text, value_set=pa.array(["True", "False", "TRUE", "FALSE"], STRING)),
                         pc.utf8_lower(text), text)
    return pc.if_else(boolean, lowered, text)


def property_(facet: Facet, model: Model, version: str) -> Outcome:
    rows = property_rows(model)
    rows = rows.filter(name_mask(facet.property_set, rows["pset"], facet.where))
    rows = pa.table({n: plain(rows[n]) for n in rows.column_names})
    psets = rows.select(["guid", "pset"]).group_by(["guid", "pset"], use_threads=False).aggregate([])
    rows = rows.filter(name_mask(facet.base_name, rows["name"], facet.where))
    kinds = value_kinds(rows["value_type"], version)
    col = Column(text_of(rows, kinds), _to_si(rows, model), kinds)
    ok = matches(ANYTHING, col)
    if facet.data_type:
        types = pc.utf8_upper(pc.fill_null(plain(rows["value_type"]), ""))
        ok = pc.and_(ok, pc.equal(types, facet.data_type.upper()))
    if facet.value is not None:
        ok = pc.and_(ok, matches(facet.value, col, facet.where))
    # Any value of a property meets it (list, bounded, table values); every matching property of
    # every matching set must.
    t = frame(guid=rows["guid"], pset=rows["pset"], name=rows["name"], ok=ok)
    per_property = t.group_by(["guid", "pset", "name"], use_threads=False).aggregate([("ok", "any")])
    per_set = per_property.group_by(["guid", "pset"], use_threads=False).aggregate([("ok_any", "all")])
    per_set = psets.join(per_set, ["guid", "pset"], join_type="left outer")
    set_ok = pc.fill_null(per_set["ok_any_all"], False)
    per_object = frame(guid=per_set["guid"], ok=set_ok).group_by("guid", use_threads=False).aggregate(
        [("ok", "all")])
    return Outcome(ok=plain(per_object.filter(pc.field("ok_all"))["guid"]),
                   present=unique(rows["guid"]),
                   found=first_values(rows["guid"], rows["value"]))


# -- classification -----------------------------------------------------------------------------

def inherited(rows: pa.Table, model: Model, key: Optional[str] = None) -> pa.Table:
    """Rows (by guid) with those of each occurrence's type added, except where the occurrence
    has its own: any own row when `key` is None, else an own row with the same key value."""
    o = model.objects()
    link = frame(guid=o["guid"], type_guid=o["type_guid"])
    link = link.filter(pc.is_valid(link["type_guid"]))
    from_type = link.join(rows.rename_columns(["type_guid" if c == "guid" else c for c in rows.column_names]),
                          "type_guid", join_type="inner").drop_columns(["type_guid"])
    if from_type.num_rows == 0:
        return rows
    if key is None:
        keep = pc.invert(pc.is_in(from_type["guid"], value_set=plain(rows["guid"])))
    else:
        own = pc.binary_join_element_wise(plain(rows["guid"]), pc.fill_null(pc.cast(plain(rows[key]), STRING), ""),
                                          "\x1f")
        theirs = pc.binary_join_element_wise(plain(from_type["guid"]),
                                             pc.fill_null(pc.cast(plain(from_type[key]), STRING), ""), "\x1f")
        keep = pc.invert(pc.is_in(theirs, value_set=own))
    from_type = from_type.filter(keep).select(rows.column_names).cast(rows.schema)
    return pa.concat_tables([rows, from_type])


def classification(facet: Facet, model: Model, version: str) -> Outcome:
    """Any reference of the object, or one above it in its chain, meets the value, its chain's
    classification the system; an occurrence's references of a system replace its type's."""
    c = model.table(CLASSIFICATIONS)
    c = inherited(pa.table({n: plain(c[n]) for n in ("guid", "system_name", "identification")}), model,
                  "system_name")
    ok = name_mask(facet.system, c["system_name"], facet.where) if facet.system is not None else pc.is_valid(c["guid"])
    if facet.value is not None:
        ok = pc.and_(ok, name_mask(facet.value, c["identification"], facet.where))
    shown = pc.binary_join_element_wise(pc.fill_null(c["system_name"], ""), pc.fill_null(c["identification"], ""),
                                        " ")
    return Outcome(ok=unique(c.filter(ok)["guid"]), present=unique(c["guid"]), found=first_values(c["guid"], shown))


# -- material -----------------------------------------------------------------------------------

def material(facet: Facet, model: Model, version: str) -> Outcome:
    """Any name or category the object's materials give (material, set, layer, profile,
    constituent) meets the value; an occurrence with materials of its own does not take its
    type's."""
    m = model.table(MATERIALS)
    name, category = ("name", "category") if MATERIALS == "material_names" else ("material_name", "category")
    m = inherited(pa.table({"guid": plain(m["guid"]), "name": plain(m[name]), "category": plain(m[category])}), model)
    if facet.value is None:
        ok = pc.or_(pc.is_valid(m["name"]), pc.is_valid(m["category"]))
    else:
        ok = pc.or_(name_mask(facet.value, m["name"], facet.where), name_mask(facet.value, m["category"], facet.where))
    return Outcome(ok=unique(m.filter(ok)["guid"]), present=unique(m["guid"]), found=first_values(m["guid"], m["name"]))


# -- partOf -------------------------------------------------------------------------------------

RELATIONS = {"IFCRELAGGREGATES": "IfcRelAggregates", "IFCRELCONTAINEDINSPATIALSTRUCTURE":
             "IfcRelContainedInSpatialStructure", "IFCRELASSIGNSTOGROUP": "IfcRelAssignsToGroup",
             "IFCRELNESTS": "IfcRelNests", "IFCRELVOIDSELEMENT": "IfcRelVoidsElement",
             "IFCRELFILLSELEMENT": "IfcRelFillsElement"}


def part_pairs(model: Model, relation: Optional[str]) -> pa.Table:
    """part, whole, relation of the whole-part relations the partOf facet follows."""
    wanted = ([RELATIONS[r] for r in relation.split()] if relation else list(RELATIONS.values()))
    r = model.table("relations")
    rows = r.filter(pc.is_in(plain(r["relation"]), value_set=pa.array(wanted, STRING)))
    return frame(part=rows["related_guid"], whole=rows["relating_guid"], relation=rows["relation"])


def part_of(facet: Facet, model: Model, version: str) -> Outcome:
    pairs = part_pairs(model, facet.relation)
    objects = model.objects()
    wholes = objects.filter(entity_mask(facet.entity, objects))["guid"] if facet.entity else objects["guid"]
    # Follow chains upwards: an object is part of every whole above it (aggregates of aggregates,
    # an element in a space in a storey). Each round adds one level.
    link = pairs.select(["part", "whole"])
    reach = link
    seen = reach.num_rows
    for _ in range(64):
        step = reach.join(link.rename_columns(["whole", "above"]), "whole")
        step = pa.table({"part": plain(step["part"]), "whole": plain(step["above"])})
        reach = pa.concat_tables([reach, step]).group_by(["part", "whole"], use_threads=False).aggregate([])
        if reach.num_rows == seen:
            break
        seen = reach.num_rows
    hits = reach.filter(pc.is_in(reach["whole"], value_set=plain(wholes)))
    return Outcome(ok=unique(hits["part"]), present=unique(pairs["part"]),
                   found=first_values(pairs["part"], pairs["whole"]))


_FACETS = {"entity": entity, "attribute": attribute, "property": property_, "classification": classification,
           "material": material, "partOf": part_of}
