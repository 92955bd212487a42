"""What an IDS check needs to know of the IFC schemas: entity names and their supertypes, each
entity's direct attributes and what kind of value they hold, and the primitive under each
defined type (IfcLengthMeasure: real).

Kinds of value: "string", "integer", "real", "number", "boolean", "logical", "binary", "enum",
"entity", "select", "list". The schemas are quarnel.schema's tables.
"""

from __future__ import annotations

import functools
from dataclasses import dataclass
from typing import Dict, Optional, Tuple

SCHEMA_NAMES = {"IFC2X3": "IFC2X3", "IFC4": "IFC4", "IFC4X3_ADD2": "IFC4X3_ADD2", "IFC4X3": "IFC4X3_ADD2"}


@dataclass(frozen=True)
class Attribute:
    name: str
    kind: str
    type_name: Optional[str]  # the named type, when there is one (IfcLabel, IfcWallTypeEnum)


@dataclass(frozen=True)
class Entity:
    name: str  # as the schema spells it
    supertypes: Tuple[str, ...]  # nearest first
    attributes: Tuple[Attribute, ...]  # direct attributes, inherited first, derived ones left out
    abstract: bool = False

    def attribute(self, name: str) -> Optional[Attribute]:
        for a in self.attributes:
            if a.name == name:
                return a
        return None


@dataclass(frozen=True, eq=False)
class Schema:
    name: str
    entities: Dict[str, Entity]  # by upper-case name
    defined_types: Dict[str, str]  # upper-case name of a defined type -> kind

    def entity(self, name: str) -> Optional[Entity]:
        return self.entities.get(name.upper())

    def rooted(self, name: str) -> bool:
        """Whether instances of the entity have a GlobalId (IfcRoot or below it)."""
        e = self.entity(name)
        return e is not None and (e.name == "IfcRoot" or "IfcRoot" in e.supertypes)


@functools.lru_cache(maxsize=None)
def schema(version: str) -> Optional[Schema]:
    """The schema an ifcVersion names (IFC2X3, IFC4, IFC4X3_ADD2); None for another name."""
    name = SCHEMA_NAMES.get(version.upper())
    return None if name is None else _from_quarnel(name)


# Defined types no attribute uses, by the primitive under them.
_PRIMITIVES = {"IFCBOOLEAN": "boolean", "IFCLOGICAL": "logical", "IFCINTEGER": "integer", "IFCREAL": "real",
               "IFCNUMERICMEASURE": "number", "IFCCOUNTMEASURE": "number", "IFCLABEL": "string",
               "IFCTEXT": "string", "IFCIDENTIFIER": "string", "IFCBINARY": "binary"}


@functools.lru_cache(maxsize=None)
def _from_quarnel(name: str) -> Schema:
    from quarnel import schema as native

    version = native.schema_name(name)
    ents = native.entities(version)
    names = _values(ents["entity"])
    parent = dict(zip(names, _values(ents["supertype"])))
    rows = native.attributes(version)
    by_entity: Dict[str, list] = {}
    defined: Dict[str, str] = dict(_PRIMITIVES)
    for entity, attribute, kind, type_name, derived in zip(*(_values(rows[c]) for c in (
            "entity", "attribute", "kind", "type", "derived"))):
        if not derived:
            by_entity.setdefault(entity, []).append(Attribute(attribute, kind, type_name))
        if type_name and kind not in ("entity", "select", "list"):
            defined.setdefault(type_name.upper(), kind)
    entities: Dict[str, Entity] = {}
    for entity, abstract in zip(names, _values(ents["abstract"])):
        supers, up = [], parent.get(entity)
        while up:
            supers.append(up)
            up = parent.get(up)
        entities[entity.upper()] = Entity(entity, tuple(supers), tuple(by_entity.get(entity, ())), bool(abstract))
    return Schema(name, entities, _MeasureKinds(defined))


def _values(column) -> list:
    """A column as a list; of a dictionary-coded one, each distinct value made once (a tenth of
    the time of to_pylist, which makes a scalar per cell)."""
    import pyarrow as pa
    import pyarrow.compute as pc

    column = column.combine_chunks() if isinstance(column, pa.ChunkedArray) else column
    if not isinstance(column.type, pa.DictionaryType):
        return column.to_pylist()
    words = column.dictionary.to_pylist() + [None]
    return [words[i] for i in pc.fill_null(column.indices, len(words) - 1).to_numpy().tolist()]


class _MeasureKinds(dict):
    """Defined types by upper-case name; measures no attribute of the schema uses are real."""

    def get(self, key, default=None):
        found = super().get(key)
        if found is None and key.startswith("IFC") and key.endswith("MEASURE"):
            return "real"
        return default if found is None else found
