"""One model as the IDS checks see it: its Arrow tables, read on first use and kept, and what
is derived from them once (the objects with their resolved predefined types, the unit scale).

Objects are named by GlobalId throughout: every facet gives the set of GlobalIds it holds for.
"""

from __future__ import annotations

import threading
from typing import Dict, Optional

import pyarrow as pa
import pyarrow.compute as pc

from quarnel.arrow import read_tables
from quarnel.registry import TABLES

STRING = pa.string()


def plain(column):
    """A column as one plain (not dictionary-encoded) array."""
    if isinstance(column, pa.ChunkedArray):
        column = column.combine_chunks()
    if isinstance(column.type, pa.DictionaryType):
        column = column.cast(STRING)
    return column


def frame(**columns) -> pa.Table:
    return pa.table({k: plain(v) for k, v in columns.items()})


class Model:
    def __init__(self, path: str):
        self.path = path
        self._tables: Dict[str, pa.Table] = {}
        self._derived: Dict[str, object] = {}
        self._lock = threading.Lock()
        self.attributes = "attributes"  # or all_attributes: instances without a GlobalId too

    def prefetch(self, names) -> None:
        """Read these tables in one pass over the file (one mapping, one entity table)."""
        wanted = [n for n in dict.fromkeys(names) if n in TABLES and n not in self._tables]
        if wanted:
            self._tables.update({n: _keyed(t.combine_chunks()) for n, t in read_tables(self.path, wanted).items()})

    def table(self, name: str) -> pa.Table:
        if name not in self._tables:
            self.prefetch([name])
        return self._tables[name]

    def fact(self, key: str) -> Optional[str]:
        value = (self.table("type_counts").schema.metadata or {}).get(key.encode())
        return None if value is None else value.decode()

    @property
    def schema(self) -> str:
        return (self.fact("schema") or "").upper()

    @property
    def unit_scale(self) -> float:
        """Metres per model length unit."""
        try:
            return float(self.fact("unit_scale") or 1.0)
        except ValueError:
            return 1.0

    def derived(self, key, build):
        with self._lock:
            if key not in self._derived:
                self._derived[key] = build()
            return self._derived[key]

    # -- objects --------------------------------------------------------------------------------

    def objects(self) -> pa.Table:
        """guid, entity (schema spelling), predefined_type (resolved: the type's unless it has none,
        USERDEFINED read from ObjectType / ElementType / ProcessType), raw_predefined (the
        enumeration value as written), type_guid."""
        return self.derived("objects", self._objects)

    def _objects(self) -> pa.Table:
        a = self.table(self.attributes)
        names = plain(a["attribute"])
        # Every instance the table names (all with a GlobalId have one row for it at least).
        base = pa.table({"guid": a["guid"], "entity": a["entity"]}).group_by(
            ["guid", "entity"], use_threads=False).aggregate([])
        base = frame(guid=base["guid"], entity=base["entity"])

        def pick(*attrs):
            rows = a.filter(pc.is_in(names, value_set=pa.array(attrs, STRING)))
            t = frame(guid=rows["guid"], v=rows["value"])
            return t.group_by("guid", use_threads=False).aggregate([("v", "first")]).rename_columns(["guid", "v"])

        raw = pick("PredefinedType")
        user = pick("ObjectType", "ElementType", "ProcessType")
        t = base.join(raw, "guid", join_type="left outer").rename_columns(["guid", "entity", "raw"])
        t = t.join(user, "guid", join_type="left outer").rename_columns(["guid", "entity", "raw", "user"])
        typing = self.relation_pairs("IfcRelDefinesByType")  # part: occurrence, whole: type
        link = pa.table({"guid": typing["part"], "type_guid": typing["whole"]})
        link = link.group_by("guid", use_threads=False).aggregate([("type_guid", "first")]).rename_columns(
            ["guid", "type_guid"])
        t = t.join(link, "guid", join_type="left outer")
        return _resolve(t.select(["guid", "entity", "raw", "user", "type_guid"]))

    def names(self) -> pa.Table:
        """guid, name: the Name of each object."""
        return self.derived("names", lambda: _names(self))

    def relation_pairs(self, relation: str) -> pa.Table:
        """part, whole (GlobalIds) of one relation: the related object and the relating one."""
        r = self.table("relations")
        rows = r.filter(pc.equal(plain(r["relation"]), relation))
        return frame(part=rows["related_guid"], whole=rows["relating_guid"])


def _keyed(t: pa.Table) -> pa.Table:
    """Rows of instances without a GlobalId, where a table has them, named '#<step id>'."""
    if "guid" not in t.column_names or "step_id" not in t.column_names:
        return t
    guid = plain(t["guid"])
    if guid.null_count == 0:
        return t
    step = pc.binary_join_element_wise("#", pc.cast(t["step_id"], STRING), "")
    return t.set_column(t.column_names.index("guid"), "guid", pc.coalesce(guid, step))


def _resolve(t: pa.Table) -> pa.Table:
    """The predefined type an object has: its type's when the type gives one (not NOTDEFINED),
    else its own; USERDEFINED (or none) stands for the user's name of the type."""
    raw, user = plain(t["raw"]), plain(t["user"])
    own = pc.if_else(pc.or_(pc.is_null(raw), pc.equal(pc.fill_null(raw, ""), "USERDEFINED")), user, raw)
    t = t.append_column("own", own)
    types = t.select(["guid", "own"]).rename_columns(["type_guid", "type_predefined"])
    t = t.join(types, "type_guid", join_type="left outer")
    tp = plain(t["type_predefined"])
    usable = pc.and_(pc.is_valid(tp), pc.not_equal(pc.fill_null(tp, "NOTDEFINED"), "NOTDEFINED"))
    resolved = pc.if_else(usable, tp, plain(t["own"]))
    return pa.table({"guid": plain(t["guid"]), "entity": plain(t["entity"]).dictionary_encode(),
                     "predefined_type": resolved,
                     "raw_predefined": plain(t["raw"]), "type_guid": plain(t["type_guid"])})


def _names(model: "Model") -> pa.Table:
    a = model.table(model.attributes)
    rows = a.filter(pc.equal(plain(a["attribute"]), "Name"))
    t = frame(guid=rows["guid"], name=rows["value"])
    return t.group_by("guid", use_threads=False).aggregate([("name", "first")]).rename_columns(["guid", "name"])
