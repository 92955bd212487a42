"""One model as the IDS checks see it: its Arrow tables, read on first use and kept, and what
is derived from them once (the objects with their resolved predefined types, the unit scale).

Objects are numbered once (their code: the row in `objects()`); every table's rows carry the
code of their object, so that facets group, join and mark objects by integers, never by
GlobalId text, and what a facet holds for is a boolean mask over the objects.
"""

from __future__ import annotations

import threading
from typing import Dict, Optional

import numpy as np
import pyarrow as pa
import pyarrow.compute as pc

from quarnel.arrow import _table, read_streams
from quarnel.registry import TABLES

from .needs import columns_of

STRING = pa.string()


def plain(column):
    """A column as one plain (not dictionary-encoded) array."""
    if isinstance(column, pa.ChunkedArray):
        column = column.combine_chunks()
    if isinstance(column.type, pa.DictionaryType):
        column = column.cast(STRING)
    return column


def numbers(array) -> np.ndarray:
    """An integer Arrow array without nulls as numpy."""
    return plain(array).to_numpy(zero_copy_only=False)


def scatter(n: int, codes: np.ndarray, values) -> pa.Array:
    """values (one per code) laid out over n objects; null where no code names an object (the
    last value wins where several do)."""
    index = np.full(n, -1, dtype=np.int64)
    index[codes] = np.arange(len(codes))
    return pc.take(plain(values), pa.array(index, mask=index < 0))


class Model:
    def __init__(self, path: str):
        self.path = path
        self._tables: Dict[str, pa.Table] = {}
        self._derived: Dict[str, object] = {}
        self._lock = threading.RLock()  # derived values build on others
        self._consumed: set = set()  # tables made into a derived value and let go
        self.attributes = "attributes"  # or all_attributes: instances without a GlobalId too

    def prefetch(self, names) -> None:
        """Read these tables in one pass over the file (one mapping, one entity table)."""
        wanted = [n for n in dict.fromkeys(names) if n in TABLES and n not in self._tables and n not in self._consumed]
        if wanted:
            self.receive(read_streams(self.path, wanted, columns_of(wanted)))

    def receive(self, streams) -> None:
        """Tables read elsewhere (quarnel.arrow.read_streams with needs.columns_of)."""
        self._tables.update({n: _keyed(_table(s).combine_chunks()) for n, s in streams.items()})

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
        return self.scale("unit_scale", 1.0)

    @property
    def scales(self) -> Dict[str, float]:
        """SI units per model unit of length, area, volume and plane angle: the area and volume
        units the model assigns, else the length unit's square and cube; angles in radians."""
        length = self.unit_scale
        return {"length": length, "area": self.scale("area_unit_scale", length ** 2),
                "volume": self.scale("volume_unit_scale", length ** 3), "angle": self.scale("angle_unit_scale", 1.0)}

    def scale(self, key: str, default: float) -> float:
        """A unit scale of the model's facts (unit_scale, area_unit_scale, volume_unit_scale)."""
        try:
            value = float(self.fact(key) or "nan")
        except ValueError:
            return default
        return value if value > 0 else default

    def derived(self, key, build):
        with self._lock:
            if key not in self._derived:
                self._derived[key] = build()
            return self._derived[key]

    # -- objects --------------------------------------------------------------------------------

    def objects(self) -> pa.Table:
        """One row per object (its code is the row): guid (GlobalId, or '#<step id>'), step_id,
        entity (schema spelling), predefined_type (resolved: the type's unless it gives none,
        USERDEFINED read from ObjectType / ElementType / ProcessType), raw_predefined (the
        enumeration value as written), type_code (the object's type), name."""
        return self.derived("objects", self._objects)

    @property
    def size(self) -> int:
        return self.objects().num_rows

    def coded(self, name: str, column: str = "guid", keep: bool = True) -> pa.Table:
        """A table with the code of each row's object in front ("code"); rows of no object left out.
        keep=False: for a caller that keeps what it makes of it, neither it nor the table read is
        kept (on a large model the properties are most of the memory)."""
        def build():
            t = self.table(name)
            if not keep:
                with self._lock:
                    self._tables.pop(name, None)
                    self._consumed.add(name)
            if name == self.attributes:
                codes = pc.index_in(t["step_id"], value_set=self.objects()["step_id"])
            else:
                codes = self.codes_of(t[column])
            t = t.add_column(0, "code", codes)
            return t if codes.null_count == 0 else t.filter(pc.is_valid(codes))
        return self.derived(("coded", name, column), build) if keep else build()

    def codes_of(self, guids) -> pa.Array:
        """Codes of GlobalIds (null for none); of a dictionary-encoded column, looked up once per
        distinct GlobalId."""
        if isinstance(guids, pa.ChunkedArray):
            guids = guids.combine_chunks()
        if isinstance(guids.type, pa.DictionaryType):
            return pc.take(pc.index_in(guids.dictionary, value_set=self.objects()["guid"]), guids.indices)
        return pc.index_in(guids, value_set=self.objects()["guid"])

    def _objects(self) -> pa.Table:
        a = self.table(self.attributes)
        names = plain(a["attribute"])
        step = pc.unique(a["step_id"])  # in file order
        first = pc.index_in(step, value_set=a["step_id"])  # each instance's first row
        n = len(step)
        row_codes = numbers(pc.index_in(a["step_id"], value_set=step))

        def pick(*attrs):
            rows = pc.is_in(names, value_set=pa.array(attrs, STRING))
            return scatter(n, row_codes[rows.to_numpy(zero_copy_only=False)], plain(a["value"]).filter(rows))

        guid = plain(pc.take(a["guid"], first))
        t = pa.table({"guid": guid, "step_id": step, "entity": plain(pc.take(a["entity"], first)),
                      "raw": pick("PredefinedType"), "user": pick("ObjectType", "ElementType", "ProcessType"),
                      "name": pick("Name")})
        r = self.table("relations")
        typing = r.filter(pc.equal(plain(r["relation"]), "IfcRelDefinesByType"))
        part = pc.index_in(plain(typing["related_guid"]), value_set=guid)
        whole = pc.index_in(plain(typing["relating_guid"]), value_set=guid)
        known = pc.and_(pc.is_valid(part), pc.is_valid(whole))
        type_code = scatter(n, numbers(part.filter(known)), whole.filter(known))
        return _resolve(t.append_column("type_code", type_code))


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
    of_type = pc.take(own, t["type_code"])
    usable = pc.and_(pc.is_valid(of_type), pc.not_equal(pc.fill_null(of_type, "NOTDEFINED"), "NOTDEFINED"))
    return pa.table({"guid": t["guid"], "step_id": t["step_id"], "entity": plain(t["entity"]).dictionary_encode(),
                     "predefined_type": pc.if_else(usable, of_type, own), "raw_predefined": raw,
                     "type_code": t["type_code"], "name": t["name"]})
