"""Checks of meaning an IDS must pass beyond its XML schema: names the IFC schemas know, values
of the right form for the data they are compared with, and specifications that can be met.

Each error names the element (specification, section, facet) and why; the first one found is
raised as an IdsError.
"""

from __future__ import annotations

import functools
import re
from typing import FrozenSet, Iterable, Optional, Set

import pyarrow as pa

from . import schema as schemas
from .parse import Facet, IdsError, Ids, Specification, Value
from .values import compile_pattern, parse_number

_UPPER = re.compile(r"[A-Z0-9_]+\Z")
BOOLEAN_LITERALS = ("true", "false")
NUMERIC = ("integer", "real", "number")


def validate(ids: Ids) -> None:
    for spec in ids.specifications:
        _specification(spec)


def _fail(where: str, why: str):
    raise IdsError(f"{where}: {why}")


def _specification(spec: Specification) -> None:
    if spec.max_occurs is not None and spec.min_occurs > spec.max_occurs:
        _fail(f"{spec.where}, applicability", f"minOccurs {spec.min_occurs} exceeds maxOccurs {spec.max_occurs}")
    if spec.max_occurs == 0 and spec.requirements:
        _fail(f"{spec.where}, requirements",
              "a prohibited specification (maxOccurs 0) cannot have requirements: objects it applies to fail "
              "whatever they hold")
    for facet in spec.applicability + spec.requirements:
        _patterns(facet)
    versions = [s for s in (schemas.schema(v) for v in spec.ifc_versions) if s is not None]
    if not versions:
        return
    applicable = None  # upper-case entity names the applicability allows, over the versions
    for facet in spec.applicability:
        if facet.kind == "entity":
            applicable = _entity(facet, versions)
    for facet in spec.applicability + spec.requirements:
        if facet.kind == "partOf" and facet.entity is not None:
            _entity(facet.entity, versions)
        elif facet.kind == "attribute":
            _attribute(facet, versions, applicable)
        elif facet.kind == "property":
            _property(facet, versions)
    for facet in spec.requirements:
        if facet.kind == "entity":
            required = _entity(facet, versions)
            if applicable is not None and facet.cardinality == "required" and not (required & applicable):
                _fail(facet.where, f"no object can meet it: the applicability selects only "
                                   f"{_few(applicable)}, and the entity class never changes")


def _few(names: Set[str]) -> str:
    names = sorted(names)
    return ", ".join(names[:5]) + (f" and {len(names) - 5} more" if len(names) > 5 else "")


def _patterns(facet: Facet) -> None:
    for value in _values(facet):
        for p in value.patterns:
            compile_pattern(p, facet.where)


def _values(facet: Facet) -> Iterable[Value]:
    for v in (facet.name, facet.predefined_type, facet.value, facet.property_set, facet.base_name, facet.system):
        if v is not None:
            yield v
    if facet.entity is not None:
        yield from _values(facet.entity)


@functools.lru_cache(maxsize=4096)
def _matching(value: Value, candidates: FrozenSet[str]) -> FrozenSet[str]:
    """The candidates a name condition admits (specifications repeat the same few conditions)."""
    from .values import Column, matches

    ordered = sorted(candidates)
    mask = matches(value, Column(pa.array(ordered, pa.string()))).to_pylist()
    return frozenset(c for c, hit in zip(ordered, mask) if hit)


@functools.lru_cache(maxsize=None)
def _entity_names(s) -> FrozenSet[str]:
    return frozenset(s.entities)


@functools.lru_cache(maxsize=None)
def _attribute_names(s, entities: FrozenSet[str]) -> FrozenSet[str]:
    return frozenset(a.name for n in entities for a in s.entities[n].attributes)


def admitted_entities(facet: Facet, s) -> FrozenSet[str]:
    """Upper-case names of the entities of schema `s` an entity facet admits."""
    return _matching(facet.name, _entity_names(s))


def _entity(facet: Facet, versions) -> Set[str]:
    """Upper-case names of the entities the facet admits in any of the versions; errors for names
    no version knows."""
    admitted: Set[str] = set()
    for s in versions:
        for literal in facet.name.literals():
            if not _UPPER.match(literal):
                _fail(facet.where, f"entity {literal!r} must be written in upper case ({literal.upper()!r})")
            if s.entity(literal) is None:
                _fail(facet.where, f"{s.name} has no entity {literal!r}")
        hits = _matching(facet.name, _entity_names(s))
        if facet.name.patterns and not hits:
            _fail(facet.where, f"the entity pattern {facet.name.text()} names no entity of {s.name}")
        if facet.predefined_type is not None:
            for name in hits if facet.name.literals() else ():
                if s.entity(name).attribute("PredefinedType") is None:
                    _fail(facet.where, f"{s.entity(name).name} has no PredefinedType in {s.name}")
        admitted |= hits
    return admitted


def _attribute(facet: Facet, versions, applicable: Optional[Set[str]]) -> None:
    for s in versions:
        scope_names = frozenset(n for n in applicable if n in s.entities) if applicable else _entity_names(s)
        entities = [s.entities[n] for n in scope_names]
        matched = _matching(facet.name, _attribute_names(s, scope_names))
        if not matched:
            scope = f"on {_few({e.name for e in entities})}" if applicable else "on any entity"
            _fail(facet.where, f"no attribute {facet.name.text()} {scope} in {s.name} (derived and "
                               "inverse attributes cannot be checked)")
        if facet.value is None:
            continue
        kinds = {a.kind for e in entities for a in e.attributes if a.name in matched}
        if kinds <= {"entity", "select", "list"}:
            _fail(facet.where, f"attribute {facet.name.text()} holds {' or '.join(sorted(_plural(kinds)))}, "
                               "whose values cannot be compared")
        if len(kinds) == 1:
            _value_form(facet, facet.value, kinds.pop())


def _plural(kinds):
    return [{"entity": "objects", "select": "selects", "list": "lists"}[k] for k in kinds]


def _property(facet: Facet, versions) -> None:
    if not facet.data_type:
        return
    kinds = {s.defined_types.get(facet.data_type.upper()) for s in versions} - {None}
    if not kinds:
        _fail(facet.where, f"dataType {facet.data_type!r} is no defined type of "
                           f"{' or '.join(s.name for s in versions)}")
    if facet.value is not None and len(kinds) == 1:
        _value_form(facet, facet.value, kinds.pop())


def _value_form(facet: Facet, value: Value, kind: str) -> None:
    """Literals of a value condition must be of the form of the data they compare with."""
    if kind in NUMERIC or kind in ("boolean", "logical"):
        if value.patterns:
            _fail(facet.where, f"a pattern cannot be checked against {kind} values")
    literals = list(value.literals()) + [v for _, v in value.bounds]
    for literal in literals:
        if kind == "integer" and parse_number(literal, "integer") is None:
            _fail(facet.where, f"{literal!r} is not an integer, and the value is one")
        if kind in ("real", "number") and parse_number(literal, "real") is None:
            _fail(facet.where, f"{literal!r} is not a number (write e.g. 42.3 or 4.23e1)")
        if kind == "boolean" and literal not in BOOLEAN_LITERALS:
            _fail(facet.where, f"{literal!r} is no boolean: write 'true' or 'false'")
        if kind == "logical" and literal not in BOOLEAN_LITERALS + ("unknown",):
            _fail(facet.where, f"{literal!r} is no logical value: write 'true', 'false' or 'unknown'")
