"""What an IDS check needs to know of the IFC schemas: entity names and their supertypes, each
entity's direct attributes and what kind of value they hold, and the primitive under each
defined type (IfcLengthMeasure: real).

Kinds of value: "string", "integer", "real", "number", "boolean", "logical", "binary", "enum",
"entity", "select", "list". The schemas come from quarnel.schema when it is there, else from
IfcOpenShell's schema definitions when that is installed; without either, the checks of meaning
that need the schema are skipped (see `available`).
"""

from __future__ import annotations

import functools
from dataclasses import dataclass
from typing import Dict, FrozenSet, Optional, Tuple

SCHEMA_NAMES = {"IFC2X3": "IFC2X3", "IFC4": "IFC4", "IFC4X3_ADD2": "IFC4X3_ADD2", "IFC4X3": "IFC4X3_ADD2"}


@dataclass(frozen=True)
class Attribute:
    name: str
    kind: str
    type_name: Optional[str]  # the named type, when there is one (IfcLabel, IfcWallTypeEnum)
    enum_items: Tuple[str, ...] = ()


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

    def subtypes(self, name: str) -> FrozenSet[str]:
        """Upper-case names of the entity and every entity below it."""
        return _subtypes(self, name.upper())


@functools.lru_cache(maxsize=None)
def _subtypes(schema: Schema, upper: str) -> FrozenSet[str]:
    return frozenset(k for k, e in schema.entities.items()
                     if k == upper or any(s.upper() == upper for s in e.supertypes))


def available() -> bool:
    return _source() is not None


@functools.lru_cache(maxsize=None)
def _source():
    try:
        from quarnel import schema as native  # noqa: F401

        if hasattr(native, "entities") and hasattr(native, "attributes"):
            return "quarnel"
    except ImportError:
        pass
    try:
        import ifcopenshell.ifcopenshell_wrapper  # noqa: F401

        return "ifcopenshell"
    except ImportError:
        return None


@functools.lru_cache(maxsize=None)
def schema(version: str) -> Optional[Schema]:
    """The schema an ifcVersion names (IFC2X3, IFC4, IFC4X3_ADD2); None when none can be read."""
    name = SCHEMA_NAMES.get(version.upper())
    source = _source()
    if name is None or source is None:
        return None
    if source == "quarnel":
        return _from_quarnel(name)
    return _from_ifcopenshell(name)


# Defined types no attribute uses, by the primitive under them.
_PRIMITIVES = {"IFCBOOLEAN": "boolean", "IFCLOGICAL": "logical", "IFCINTEGER": "integer", "IFCREAL": "real",
               "IFCNUMERICMEASURE": "number", "IFCCOUNTMEASURE": "number", "IFCLABEL": "string",
               "IFCTEXT": "string", "IFCIDENTIFIER": "string", "IFCBINARY": "binary"}


@functools.lru_cache(maxsize=None)
def _from_quarnel(name: str) -> Schema:
    from quarnel import schema as native

    version = native.schema_name(name)
    ents = native.entities(version).to_pylist()
    parent = {e["entity"]: e["supertype"] for e in ents}
    rows = native.attributes(version).to_pylist()
    by_entity: Dict[str, list] = {}
    defined: Dict[str, str] = dict(_PRIMITIVES)
    for r in rows:
        if not r["derived"]:
            by_entity.setdefault(r["entity"], []).append(Attribute(r["attribute"], r["kind"], r["type"]))
        if r["type"] and r["kind"] not in ("entity", "select", "list"):
            defined.setdefault(r["type"].upper(), r["kind"])
    entities: Dict[str, Entity] = {}
    for e in ents:
        supers, up = [], parent.get(e["entity"])
        while up:
            supers.append(up)
            up = parent.get(up)
        entities[e["entity"].upper()] = Entity(e["entity"], tuple(supers), tuple(by_entity.get(e["entity"], ())),
                                               bool(e["abstract"]))
    return Schema(name, entities, _MeasureKinds(defined))


class _MeasureKinds(dict):
    """Defined types by upper-case name; measures no attribute of the schema uses are real."""

    def get(self, key, default=None):
        found = super().get(key)
        if found is None and key.startswith("IFC") and key.endswith("MEASURE"):
            return "real"
        return default if found is None else found


def _kind(t) -> Tuple[str, Optional[str], Tuple[str, ...]]:
    """(kind, named type, enumeration items) of an ifcopenshell parameter type."""
    import ifcopenshell.ifcopenshell_wrapper as w

    named = None
    while True:
        if isinstance(t, w.named_type):
            t = t.declared_type()
            named = named or t.name()
            continue
        if isinstance(t, w.type_declaration):
            t = t.declared_type()
            continue
        if isinstance(t, w.entity):
            return "entity", named, ()
        if isinstance(t, w.select_type):
            return "select", named, ()
        if isinstance(t, w.enumeration_type):
            return "enum", named, tuple(t.enumeration_items())
        if isinstance(t, w.aggregation_type):
            return "list", named, ()
        if isinstance(t, w.simple_type):
            return t.declared_type(), named, ()
        return "select", named, ()


@functools.lru_cache(maxsize=None)
def _from_ifcopenshell(name: str) -> Schema:
    import ifcopenshell.ifcopenshell_wrapper as w

    s = w.schema_by_name(name)
    entities: Dict[str, Entity] = {}
    defined: Dict[str, str] = {}
    for d in s.declarations():
        if isinstance(d, w.entity):
            supers = []
            parent = d.supertype()
            while parent is not None:
                supers.append(parent.name())
                parent = parent.supertype()
            derived = d.derived()
            attributes = []
            for a, is_derived in zip(d.all_attributes(), derived):
                if is_derived:
                    continue
                kind, named, items = _kind(a.type_of_attribute())
                attributes.append(Attribute(a.name(), kind, named, items))
            entities[d.name().upper()] = Entity(d.name(), tuple(supers), tuple(attributes), d.is_abstract())
        elif isinstance(d, w.type_declaration):
            defined[d.name().upper()] = _kind(d)[0]
        elif isinstance(d, w.enumeration_type):
            defined[d.name().upper()] = "enum"
    return Schema(name, entities, defined)
