"""The comparison of two revisions: each model read once into Arrow tables, every aspect turned
into long rows (guid, what, value, number) and the two sides joined by GlobalId in Arrow.

Instance ids and owner histories never take part: a renumbered or re-stamped export compares
equal. Numbers are compared in SI units within a tolerance; texts exactly.
"""

from __future__ import annotations

import math
from concurrent.futures import ThreadPoolExecutor
from typing import Dict, List, Optional, Sequence, Tuple

import pyarrow as pa
import pyarrow.compute as pc

import quarnel
from quarnel.diff.kinds import KINDS, kinds_of
from quarnel.diff.units import number_scale, quantity_scale
from quarnel.registry import TABLES

# The attributes compared, by the column of the elements table that holds them.
ATTRIBUTES = {"name": "Name", "description": "Description", "object_type": "ObjectType", "tag": "Tag",
              "predefined_type": "PredefinedType", "long_name": "LongName"}
RTOL = ATOL = 1e-6
# Meshes are made in single precision: their measures are compared more loosely.
MESH_RTOL = 1e-4

SCHEMA = pa.schema([
    ("guid", pa.string()), ("entity", pa.string()), ("name", pa.string()), ("change", pa.string()),
    ("what", pa.string()), ("old", pa.string()), ("new", pa.string()), ("old_number", pa.float64()),
    ("new_number", pa.float64()), ("distance", pa.float64()),
])
LONG = pa.schema([("guid", pa.string()), ("what", pa.string()), ("value", pa.string()), ("number", pa.float64())])


def _tables_for(kinds: Sequence[str]) -> List[str]:
    names = {"elements", "placements", "products"}
    wanted = set(kinds)
    if wanted & {"property"}:
        names.add("properties")
    if wanted & {"quantity"}:
        names.add("element_quantities")
    if "material" in wanted:
        names.add("materials")
    if "classification" in wanted:
        names.add("classifications")
    if wanted & {"container", "aggregate"}:
        names.update(("relations",) if "relations" in TABLES else
                     ("contained_in", "aggregates", "storeys", "sites", "buildings", "projects", "spaces"))
    if "attributes" in TABLES and wanted & {"attribute", "class", "added", "deleted", "duplicate"}:
        names.add("attributes")
    if "geometry" in wanted:
        names.add("drift")
    return [n for n in TABLES if n in names]


def _text(column) -> pa.ChunkedArray:
    column = column if isinstance(column, pa.ChunkedArray) else pa.chunked_array([column])
    return column.cast(pa.string()) if pa.types.is_dictionary(column.type) else column


def _long(guid, what, value, number=None) -> pa.Table:
    n = len(guid)
    what = _repeat(what, n) if isinstance(what, str) else what
    return pa.table([_text(guid), _text(what), _text(value),
                     pa.nulls(n, pa.float64()) if number is None else number], schema=LONG)


def _repeat(value, n: int, type=pa.string()) -> pa.Array:
    return pa.nulls(n, type).fill_null(pa.scalar(value, type))


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
        self.entity, self.listed = self._objects()

    def _objects(self) -> Tuple[pa.Table, pa.Array]:
        """guid, entity, name of every object with a GlobalId (the first row of a guid), and
        the guids of those some table lists whole (types that elements name are not)."""
        listed, named, referenced = [], [], []
        if "attributes" in self.tables:
            a = self.tables["attributes"]
            names = a.filter(pc.equal(_text(a.column("attribute")), "Name"))
            listed.append(pa.table({"guid": _text(a.column("guid")), "entity": _text(a.column("entity"))}))
            named.append(pa.table({"guid": _text(names.column("guid")), "name": _text(names.column("value"))}))
        for name in ("elements", "placements"):
            t = self.tables[name]
            listed.append(pa.table({"guid": _text(t.column("guid")), "entity": _text(t.column("entity"))}))
        e = self.tables["elements"]
        named.append(pa.table({"guid": _text(e.column("guid")), "name": _text(e.column("name"))}))
        if "attributes" not in self.tables:
            typed = e.filter(pc.is_valid(e.column("type_guid")))
            referenced.append(pa.table({"guid": _text(typed.column("type_guid")),
                                        "entity": _text(typed.column("type_entity"))}))
            named.append(pa.table({"guid": _text(typed.column("type_guid")), "name": _text(typed.column("type_name"))}))
        listed = pa.concat_tables(listed)
        entity = pa.concat_tables([listed, *referenced]).group_by("guid", use_threads=False).aggregate(
            [("entity", "first")]).rename_columns(["guid", "entity"])
        names = pa.concat_tables(named).group_by("guid", use_threads=False).aggregate(
            [("name", "first")]).rename_columns(["guid", "name"])
        return entity.join(names, "guid", join_type="left outer"), pc.unique(listed.column("guid").combine_chunks())


def read_model(path, kinds) -> Model:
    return Model(path, quarnel.read_tables(path, _tables_for(kinds)))


def _unique_counts(guids: pa.ChunkedArray) -> pa.Table:
    counts = pc.value_counts(guids.combine_chunks())
    return pa.table({"guid": counts.field("values"), "count": counts.field("counts")})


def _duplicates(model: Model) -> pa.Array:
    """GlobalIds that more than one object of the model carries."""
    t = model.tables["attributes"] if "attributes" in model.tables else model.tables["placements"]
    if "attributes" in model.tables:
        t = t.filter(pc.equal(_text(t.column("attribute")), "GlobalId"))
    guids = [_text(t.column("guid"))]
    if "attributes" not in model.tables:
        # Objects without a placement (types, groups) show in the elements table alone.
        e = model.tables["elements"]
        placed = pc.is_in(_text(e.column("guid")), value_set=_text(t.column("guid")).combine_chunks().unique())
        guids.append(_text(e.filter(pc.invert(placed)).column("guid")))
    counts = _unique_counts(pa.chunked_array([c for g in guids for c in g.chunks], pa.string()))
    return counts.filter(pc.greater(counts.column("count"), 1)).column("guid").combine_chunks()


def _close(a, b, rtol: float, atol: float):
    diff = pc.abs(pc.subtract(a, b))
    bound = pc.add(atol, pc.multiply(rtol, pc.max_element_wise(pc.abs(a), pc.abs(b))))
    return pc.less_equal(diff, bound)


def compare_long(old: pa.Table, new: pa.Table, change: str, rtol: float = RTOL, atol: float = ATOL) -> pa.Table:
    """Rows (guid, what) that appeared, went or changed between two long tables of the objects
    both revisions have. A key given several times on one side compares as the sorted set of its
    values."""
    old, new = _one_per_key(old), _one_per_key(new)
    old = old.append_column("_o", _repeat(True, old.num_rows, pa.bool_()))
    new = new.append_column("_n", _repeat(True, new.num_rows, pa.bool_()))
    j = old.join(new, ["guid", "what"], join_type="full outer", left_suffix="_old", right_suffix="_new",
                 coalesce_keys=True, use_threads=True)
    in_old = pc.fill_null(j.column("_o"), False)
    in_new = pc.fill_null(j.column("_n"), False)
    a, b = j.column("number_old"), j.column("number_new")
    both_numbers = pc.and_(pc.is_valid(a), pc.is_valid(b))
    numbers_differ = pc.invert(pc.fill_null(_close(a, b, rtol, atol), False))
    va, vb = j.column("value_old"), j.column("value_new")
    texts_differ = pc.fill_null(pc.not_equal(va, vb), True)
    texts_differ = pc.and_(texts_differ, pc.invert(pc.and_(pc.is_null(va), pc.is_null(vb))))
    differ = pc.if_else(both_numbers, numbers_differ, texts_differ)
    changed = pc.or_(pc.xor(in_old, in_new), pc.and_(pc.and_(in_old, in_new), differ))
    j = j.filter(changed)
    n = j.num_rows
    return pa.table({
        "guid": j.column("guid"), "change": _repeat(change, n),
        "what": j.column("what"), "old": j.column("value_old"), "new": j.column("value_new"),
        "old_number": j.column("number_old"), "new_number": j.column("number_new"),
    })


def _one_per_key(t: pa.Table) -> pa.Table:
    keys = t.select(["guid", "what"])
    counts = t.group_by(["guid", "what"], use_threads=False).aggregate([("guid", "count")])
    many = counts.filter(pc.greater(counts.column("guid_count"), 1))
    if many.num_rows == 0:
        return t
    repeated = pc.is_in(pc.binary_join_element_wise(keys.column("guid"), keys.column("what"), "\x00"),
                        value_set=pc.binary_join_element_wise(many.column("guid"), many.column("what"), "\x00"))
    single, multi = t.filter(pc.invert(repeated)), t.filter(repeated)
    # Few keys repeat (a list value, a set named twice): their values are joined in Python.
    grouped: Dict[Tuple[str, str], List[Tuple]] = {}
    for g, w, v, x in zip(*(multi.column(c).to_pylist() for c in ("guid", "what", "value", "number"))):
        grouped.setdefault((g, w), []).append((v if x is None else repr(round(x, 9)), v))
    rows = {"guid": [], "what": [], "value": [], "number": []}
    for (g, w), values in grouped.items():
        rows["guid"].append(g)
        rows["what"].append(w)
        rows["value"].append(" | ".join(sorted("" if s is None else s for s, _ in values)))
        rows["number"].append(None)
    return pa.concat_tables([single, pa.table(rows, schema=LONG)])


# ---- the aspects, each as long rows of one model ----

def attribute_rows(m: Model) -> pa.Table:
    if "attributes" in m.tables:
        a = m.tables["attributes"]
        keep = pc.is_in(_text(a.column("attribute")), value_set=pa.array(list(ATTRIBUTES.values())))
        a = a.filter(keep)
        return _long(a.column("guid"), _text(a.column("attribute")), a.column("value"))
    e = m.tables["elements"]
    parts = [_long(e.column("guid"), name, e.column(c)) for c, name in ATTRIBUTES.items() if c in e.column_names]
    t = pa.concat_tables(parts)
    # The elements table gives "" and null alike for an unset text.
    return t.filter(pc.and_(pc.is_valid(t.column("value")), pc.not_equal(t.column("value"), "")))


def class_rows(m: Model) -> pa.Table:
    return _long(m.entity.column("guid"), "class", m.entity.column("entity"))


def property_rows(m: Model) -> pa.Table:
    p = m.tables["properties"]
    what = pc.binary_join_element_wise(_text(p.column("pset_name")), _text(p.column("prop_name")), ".")
    index = p.column("value_index")
    what = pc.if_else(pc.is_valid(index),
                      pc.binary_join_element_wise(what, pc.cast(index, pa.string()), "#"), what)
    role = _text(p.column("role"))
    what = pc.if_else(pc.is_valid(role), pc.binary_join_element_wise(what, role, " "), what)
    scale = number_scale(_text(p.column("value_type")), m.scales)
    number = pc.multiply(p.column("number"), scale)
    t = _long(p.column("guid"), what, p.column("value"), number)
    return t.append_column("source", _inherited(p))


def _inherited(t: pa.Table):
    """"type" where the row is the type's value shown on an occurrence (a type's own rows name
    it as their source too)."""
    guid, type_guid = _text(t.column("guid")), _text(t.column("type_guid"))
    own = pc.fill_null(pc.equal(guid, type_guid), False)
    inherited = pc.and_(pc.equal(_text(t.column("source")), "type"), pc.invert(own))
    return pc.if_else(pc.fill_null(inherited, False), "type", "occurrence")


def quantity_rows(m: Model) -> pa.Table:
    q = m.tables["element_quantities"]
    what = pc.binary_join_element_wise(_text(q.column("qto_name")), _text(q.column("quantity_name")), ".")
    number = pc.multiply(q.column("number"), quantity_scale(_text(q.column("unit"))))
    t = _long(q.column("guid"), what, q.column("value"), number)
    return t.append_column("source", _inherited(q))


def _per_guid(guid, text, what: str) -> pa.Table:
    """One row per guid whose value is the guid's texts joined in their order."""
    t = pa.table({"guid": _text(guid), "text": text})
    g = t.group_by("guid", use_threads=False).aggregate([("text", "list")])
    joined = pc.binary_join(g.column("text_list"), "; ")
    return _long(g.column("guid"), what, joined)


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
    e = m.tables["elements"]
    e = e.filter(pc.is_valid(e.column("type_guid")))
    return _long(e.column("guid"), "type", e.column("type_guid"))


def _relation_rows(m: Model, kind: str) -> pa.Table:
    if "relations" in m.tables:
        r = m.tables["relations"]
        names = {"container": "IfcRelContainedInSpatialStructure", "aggregate": "IfcRelAggregates"}
        r = r.filter(pc.equal(_text(r.column("relation")), names[kind]))
        return _long(r.column("related_guid"), kind, r.column("relating_guid"))
    ids = pa.concat_tables([
        pa.table({"id": m.tables[n].column("step_id"), "guid": _text(m.tables[n].column("guid"))})
        for n in ("products", "storeys", "sites", "buildings", "projects", "spaces")])
    ids = ids.group_by("id", use_threads=False).aggregate([("guid", "first")]).rename_columns(["id", "guid"])
    pairs = m.tables["contained_in" if kind == "container" else "aggregates"]
    child, parent = pairs.column_names
    j = pa.table({"id": pairs.column(child), "pid": pairs.column(parent)})
    j = j.join(ids, "id", join_type="inner").join(ids.rename_columns(["pid", "pguid"]), "pid", join_type="inner")
    return _long(j.column("guid"), kind, j.column("pguid"))


ASPECTS = {
    "attribute": attribute_rows, "property": property_rows, "quantity": quantity_rows,
    "material": material_rows, "classification": classification_rows, "type": type_rows,
    "container": lambda m: _relation_rows(m, "container"), "aggregate": lambda m: _relation_rows(m, "aggregate"),
}


def _restrict(t: pa.Table, guids: pa.Array) -> pa.Table:
    return t.filter(pc.is_in(t.column("guid"), value_set=guids))


def _with_source(changes: pa.Table, old: pa.Table, new: pa.Table) -> pa.Table:
    """`what` of values inherited from the type gets " (type)": an edit of a type shows on each
    of its occurrences so marked."""
    src = pa.concat_tables([new.select(["guid", "what", "source"]), old.select(["guid", "what", "source"])])
    src = src.filter(pc.equal(src.column("source"), "type"))
    if src.num_rows == 0 or changes.num_rows == 0:
        return changes
    src = src.group_by(["guid", "what"], use_threads=False).aggregate([])
    src = src.append_column("_t", _repeat(True, src.num_rows, pa.bool_()))
    j = changes.join(src, ["guid", "what"], join_type="left outer")
    marked = pc.fill_null(j.column("_t"), False)
    what = pc.if_else(marked, pc.binary_join_element_wise(j.column("what"), "(type)", " "), j.column("what"))
    return j.set_column(j.column_names.index("what"), "what", what).drop_columns(["_t"])


def placement_rows(old: Model, new: Model, common: pa.Array, tolerance: Optional[float]) -> pa.Table:
    cols = ["guid", "x", "y", "z", "x_axis_x", "x_axis_y", "x_axis_z", "z_axis_x", "z_axis_y", "z_axis_z"]
    a = _restrict(old.tables["placements"].select(cols), common)
    b = _restrict(new.tables["placements"].select(cols), common)
    a = a.group_by("guid", use_threads=False).aggregate([(c, "first") for c in cols[1:]]).rename_columns(cols)
    b = b.group_by("guid", use_threads=False).aggregate([(c, "first") for c in cols[1:]]).rename_columns(cols)
    j = a.join(b, "guid", join_type="inner", left_suffix="_o", right_suffix="_n")
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
    # Locations go through single-precision frames: a relative tolerance covers their rounding.
    limit = pc.add(tolerance if tolerance is not None else ATOL, pc.multiply(size, 1e-6))
    moved = pc.greater(distance, limit)
    turned = pc.greater(turn, 1e-5)
    j = j.append_column("distance", distance)
    j = j.append_column("_m", moved).append_column("_t", turned)
    j = j.filter(pc.or_(moved, turned))

    def where(s):
        return pc.binary_join_element_wise(*(pc.cast(pc.round(j.column(c + s), 6), pa.string()) for c in "xyz"), ", ")

    what = pc.if_else(j.column("_m"), pc.if_else(j.column("_t"), "moved and turned", "moved"), "turned")
    return pa.table({"guid": j.column("guid"), "change": _repeat("placement", j.num_rows),
                     "what": what, "old": where("_o"), "new": where("_n"), "distance": j.column("distance")})


def geometry_rows(old: Model, new: Model, common: pa.Array, moved: pa.Array) -> pa.Table:
    """Meshes whose volume, area or size changed, or whose box moved while the placement did
    not."""
    cols = ["guid", "volume_abs", "surface_area", "max_extent", "centroid_x", "centroid_y", "centroid_z"]

    def prepared(m):
        t = _restrict(m.tables["drift"].select(cols), common)
        t = t.group_by("guid", use_threads=False).aggregate([(c, "first") for c in cols[1:]]).rename_columns(cols)
        s = m.length
        return pa.table([t.column("guid")] + [pc.multiply(pc.cast(t.column(c), pa.float64()),
                                                           s ** (3 if c == "volume_abs" else 2 if c == "surface_area" else 1))
                                              for c in cols[1:]], names=cols)

    j = prepared(old).join(prepared(new), "guid", join_type="inner", left_suffix="_o", right_suffix="_n")
    parts = []
    for c, label in (("volume_abs", "volume"), ("surface_area", "area"), ("max_extent", "extent")):
        a, b = j.column(c + "_o"), j.column(c + "_n")
        off = pc.invert(pc.fill_null(_close(a, b, MESH_RTOL, 1e-6), False))
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
    kinds = kinds_of(kinds)
    with ThreadPoolExecutor(2) as pool:
        a, b = pool.map(lambda p: read_model(p, kinds), (old, new))
    dup = pa.concat_arrays([_duplicates(a), _duplicates(b)]).unique()
    ga = pc.filter(a.entity.column("guid"), pc.invert(pc.is_in(a.entity.column("guid"), value_set=dup)))
    gb = pc.filter(b.entity.column("guid"), pc.invert(pc.is_in(b.entity.column("guid"), value_set=dup)))
    common = pc.filter(ga, pc.is_in(ga, value_set=gb)).combine_chunks()
    # Added and deleted among the objects a model lists whole: a type named by no element of
    # one revision is not gone from it.
    la = pc.filter(a.listed, pc.invert(pc.is_in(a.listed, value_set=dup)))
    lb = pc.filter(b.listed, pc.invert(pc.is_in(b.listed, value_set=dup)))
    parts: List[pa.Table] = []

    def simple(change, guids, old_text=None, new_text=None):
        n = len(guids)
        parts.append(pa.table({"guid": guids, "change": _repeat(change, n),
                               "old": old_text, "new": new_text} if old_text is not None else
                              {"guid": guids, "change": _repeat(change, n)}))

    if "duplicate" in kinds and len(dup):
        for side, model in (("old", a), ("new", b)):
            d = _duplicates(model)
            if len(d):
                n = len(d)
                parts.append(pa.table({"guid": d, "change": _repeat("duplicate", n),
                                       "what": _repeat(f"GlobalId repeated in the {side} model", n)}))
    if "added" in kinds:
        simple("added", pc.filter(lb, pc.invert(pc.is_in(lb, value_set=ga))))
    if "deleted" in kinds:
        simple("deleted", pc.filter(la, pc.invert(pc.is_in(la, value_set=gb))))
    if "class" in kinds:
        ca, cb = _restrict(class_rows(a), common), _restrict(class_rows(b), common)
        parts.append(compare_long(ca, cb, "class"))
    for kind, rows in ASPECTS.items():
        if kind not in kinds:
            continue
        ra, rb = _restrict(rows(a), common), _restrict(rows(b), common)
        found = compare_long(ra.select(LONG.names), rb.select(LONG.names), kind)
        if "source" in ra.column_names:
            found = _with_source(found, ra, rb)
        parts.append(found)
    moved = pa.array([], pa.string())
    if "placement" in kinds or "geometry" in kinds:
        placed = placement_rows(a, b, common, tolerance)
        moved = placed.column("guid").combine_chunks()
        if "placement" in kinds:
            parts.append(placed)
    if "geometry" in kinds:
        parts.append(geometry_rows(a, b, common, moved))

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
    known = pa.concat_tables([b.entity, a.entity]).group_by("guid", use_threads=False).aggregate(
        [("entity", "first"), ("name", "first")]).rename_columns(["guid", "entity", "name"])
    changes = changes.join(known, "guid", join_type="left outer")
    if only:
        changes = changes.filter(_only_filter(changes.column("entity"), only))
    order = pa.array(KINDS)
    rank = pc.index_in(changes.column("change"), value_set=order)
    changes = changes.append_column("_rank", rank).sort_by(
        [("_rank", "ascending"), ("guid", "ascending"), ("what", "ascending")])
    return changes.select(SCHEMA.names).cast(SCHEMA)
