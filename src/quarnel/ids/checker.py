"""Checking models against an IDS: which objects each specification applies to, which of them
meet each requirement, and the Report of both."""

from __future__ import annotations

import os
import time
from typing import Dict, List, Optional, Sequence, Union

import numpy as np
import pyarrow as pa
import pyarrow.compute as pc

from .facets import Outcome, evaluate, prepare
from .model import STRING, Model, plain, scatter
from .needs import OBJECT_TABLES, TABLES_OF
from .parse import Facet, Ids, Specification, Value, read_ids
from .report import Report
from .validate import validate


SPEC_COLUMNS = {"model": STRING, "schema": STRING, "index": pa.int64(), "name": STRING, "identifier": STRING,
                "description": STRING, "instructions": STRING, "ifc_versions": STRING, "status": STRING,
                "applicable": pa.int64(), "passed": pa.int64(), "failed": pa.int64(),
                "min_occurs": pa.int64(), "max_occurs": pa.int64()}
FAILURE_COLUMNS = {"model": STRING, "specification": pa.int64(), "identifier": STRING, "guid": STRING,
                   "entity": STRING, "name": STRING, "requirement": pa.int64(), "facet": STRING,
                   "reason": STRING, "value": STRING}
SPEC_SCHEMA = pa.schema(list(SPEC_COLUMNS.items()))
FAILURE_SCHEMA = pa.schema(list(FAILURE_COLUMNS.items()))


def load(ids) -> Ids:
    """An IDS from a path, XML text or an Ids already read, checked in meaning."""
    if isinstance(ids, Ids):
        return ids
    parsed = read_ids(ids)
    validate(parsed)
    return parsed


def attributes_table(ids: Ids) -> str:
    """all_attributes (every instance, read from the whole file) when a specification applies to
    entities without a GlobalId (IfcMaterial, IfcTaskTime, ...), else attributes (rooted objects)."""
    from . import schema as schemas
    from .validate import admitted_entities

    for spec in ids.specifications:
        for version in spec.ifc_versions:
            s = schemas.schema(version)
            for facet in spec.applicability:
                if s is not None and facet.kind == "entity" and any(
                        not s.rooted(name) for name in admitted_entities(facet, s)):
                    return "all_attributes"
    return "attributes"


def tables_needed(ids: Ids) -> List[str]:
    """The tables a check of this IDS reads, and no more."""
    names = ["type_counts", *OBJECT_TABLES]  # type_counts: the schema and unit scale, no rows to speak of
    for spec in ids.specifications:
        for facet in spec.applicability + spec.requirements:
            names += TABLES_OF[facet.kind]
    return list(dict.fromkeys(names))


def check(ids, model: Union[str, os.PathLike, Sequence]) -> Report:
    """Check one model or several against an IDS (path, XML text or parsed Ids)."""
    parsed = load(ids)
    paths = [model] if isinstance(model, (str, os.PathLike)) else list(model)
    specs, failures = [], []
    started = time.perf_counter()
    for path in paths:
        s, f = check_model(parsed, Model(os.fspath(path)), facet_threads(1))
        specs.append(s)
        failures.append(f)
    return build_report(parsed, specs, failures, time.perf_counter() - started)


def build_report(ids: Ids, specs: List[pa.Table], failures: List[pa.Table], seconds: float) -> Report:
    return Report(ids=dict(ids.info),
                  specifications=pa.concat_tables(specs) if specs else SPEC_SCHEMA.empty_table(),
                  failures=pa.concat_tables(failures) if failures else FAILURE_SCHEMA.empty_table(),
                  extra={"seconds": seconds, "path": ids.path})


# Up to so many distinct facets are evaluated ahead on threads (a few facets over large tables
# gain from it); more are evaluated in turn and each let go after its last use (10,000 facets
# kept at once held a gigabyte).
MANY_FACETS = 200


class _Memo:
    """Facet outcomes of one model, shared by specifications that repeat a facet; an outcome is
    let go once the last specification using it has."""

    def __init__(self, model: Model, ids: Ids, versions: List[str]):
        self.model = model
        self.outcomes: Dict[str, Outcome] = {}
        self.uses: Dict[str, list] = {}  # key -> [facet, version, uses left]
        self.keys: Dict[tuple, str] = {}  # (id of a facet of the IDS, version) -> its key, worked out once
        for spec, version in zip(ids.specifications, versions):
            for facet in spec.applicability + spec.requirements:
                key = self.keys[id(facet), version] = version + _key(facet)
                self.uses.setdefault(key, [facet, version, 0])[2] += 1

    def evaluate(self, key: str) -> None:
        facet, version, _ = self.uses[key]
        self.outcomes[key] = evaluate(facet, self.model, version)

    def __call__(self, facet: Facet, version: str) -> Outcome:
        key = self.keys[id(facet), version]
        if key not in self.outcomes:
            self.evaluate(key)
        use = self.uses[key]
        use[2] -= 1
        return self.outcomes[key] if use[2] > 0 else self.outcomes.pop(key)


def _key(facet: Facet) -> str:
    fields = {k: v for k, v in vars(facet).items() if k not in ("where", "cardinality", "instructions", "uri")}
    return repr(sorted((k, repr(v)) for k, v in fields.items()))


def check_model(ids: Ids, model: Model, threads: int = 1):
    """(specifications, failures) tables of one model; the facets evaluated on `threads` threads
    (their Arrow and numpy work lets go of the interpreter lock)."""
    model.attributes = attributes_table(ids)
    model.prefetch([model.attributes if n == "attributes" else n for n in tables_needed(ids)])
    n = model.size
    spec_rows: Dict[str, list] = {k: [] for k in SPEC_COLUMNS}
    failure_parts: List[pa.Table] = []
    schema = model.schema
    versions = [schema if schema in spec.ifc_versions else spec.ifc_versions[0] for spec in ids.specifications]
    memo = _Memo(model, ids, versions)
    if threads > 1 and len(memo.uses) <= MANY_FACETS:
        _evaluate_all(memo, threads)
    for spec, version in zip(ids.specifications, versions):
        applicable = np.ones(n, dtype=bool)
        for facet in spec.applicability:
            applicable &= memo(facet, version).ok
        failing = np.zeros(n, dtype=bool)
        for r, facet in enumerate(spec.requirements):
            outcome = memo(facet, version)
            bad = applicable & ~_passes(facet, outcome)
            if bad.any():
                failure_parts.append(_failures(model, spec, r, facet, outcome, bad))
                failing |= bad
        count = int(applicable.sum())
        occurs_ok = count >= spec.min_occurs and (spec.max_occurs is None or count <= spec.max_occurs)
        if not occurs_ok:
            failure_parts.append(_occurrence_failure(model, spec, count, applicable))
            if spec.max_occurs == 0:
                failing = applicable  # every object a prohibited specification applies to fails
        failed = int(failing.sum())
        row = {"model": model.path, "schema": schema, "index": spec.index, "name": spec.name,
               "identifier": spec.identifier, "description": spec.description, "instructions": spec.instructions,
               "ifc_versions": " ".join(spec.ifc_versions),
               "status": "pass" if occurs_ok and failed == 0 else "fail",
               "applicable": count, "passed": count - failed, "failed": failed,
               "min_occurs": spec.min_occurs, "max_occurs": spec.max_occurs}
        for k, v in row.items():
            spec_rows[k].append(v)
    specs = pa.table({k: pa.array(v, SPEC_COLUMNS[k]) for k, v in spec_rows.items()})
    failures = pa.concat_tables(failure_parts) if failure_parts else FAILURE_SCHEMA.empty_table()
    return specs, failures


def facet_threads(models_at_once: int) -> int:
    """Threads for the facets of each of that many models checked side by side: the cores left."""
    return max(1, min(4, (os.cpu_count() or 1) // max(1, models_at_once)))


def _evaluate_all(memo: "_Memo", threads: int) -> None:
    """Every distinct facet evaluated ahead, on threads; the values several facets derive from
    the same table are built first, once."""
    from concurrent.futures import ThreadPoolExecutor

    prepare(memo.model, {facet.kind for facet, _, _ in memo.uses.values()})
    # The costliest first: property facets read the largest table.
    todo = sorted(memo.uses, key=lambda key: memo.uses[key][0].kind != "property")
    with ThreadPoolExecutor(max_workers=threads) as pool:
        for _ in pool.map(memo.evaluate, todo):
            pass


def _passes(facet: Facet, outcome: Outcome) -> np.ndarray:
    if facet.cardinality == "prohibited":
        return ~outcome.ok
    if facet.cardinality == "optional" and outcome.present is not None:
        return outcome.ok | ~outcome.present
    return outcome.ok


def _rows(model: Model, spec: Specification, which: np.ndarray, requirement, facet: str, reason, value) -> pa.Table:
    """Failure rows of the objects `which` (indices)."""
    objects = model.objects()
    k = len(which)
    at = pa.array(which)
    return pa.table({"model": pa.array([model.path] * k, STRING),
                     "specification": pa.array([spec.index] * k, pa.int64()),
                     "identifier": pa.array([spec.identifier] * k, STRING),
                     "guid": pc.take(objects["guid"], at), "entity": plain(pc.take(objects["entity"], at)),
                     "name": pc.take(objects["name"], at), "requirement": pa.array([requirement] * k, pa.int64()),
                     "facet": pa.array([facet] * k, STRING), "reason": reason, "value": value})


def _failures(model: Model, spec: Specification, r: int, facet: Facet, outcome: Outcome, bad: np.ndarray) -> pa.Table:
    which = np.nonzero(bad)[0]
    if outcome.found is not None:
        codes, values = outcome.found
        value = pc.take(scatter(model.size, codes, pc.cast(plain(values), STRING)), pa.array(which))
    else:
        value = pa.nulls(len(which), STRING)
    what = describe(facet)
    if facet.cardinality == "prohibited":
        reason = pa.array([f"prohibited, but {what} holds"] * len(which), STRING)
    else:
        present = outcome.present[which] if outcome.present is not None else np.ones(len(which), dtype=bool)
        reason = pc.if_else(pa.array(present), f"{what} is not met", f"{what} is missing")
    return _rows(model, spec, which, r, facet.kind, reason, value)


def _occurrence_failure(model: Model, spec: Specification, count: int, applicable: np.ndarray) -> pa.Table:
    if spec.max_occurs == 0:
        # Prohibited: every applicable object is a failure.
        which = np.nonzero(applicable)[0]
        reason = f"prohibited: {count} object{'s' if count != 1 else ''} match the applicability"
        return _rows(model, spec, which, None, "applicability", pa.array([reason] * count, STRING),
                     pa.nulls(count, STRING))
    bound = (f"at least {spec.min_occurs}" if count < spec.min_occurs else f"at most {spec.max_occurs}")
    reason = f"{count} applicable object{'s' if count != 1 else ''}, {bound} required"
    return pa.table({"model": [model.path], "specification": pa.array([spec.index], pa.int64()),
                     "identifier": pa.array([spec.identifier], STRING), "guid": pa.nulls(1, STRING),
                     "entity": pa.nulls(1, STRING), "name": pa.nulls(1, STRING),
                     "requirement": pa.nulls(1, pa.int64()), "facet": ["applicability"], "reason": [reason],
                     "value": pa.nulls(1, STRING)})


def describe(facet: Facet) -> str:
    """The facet in a few words, for reasons."""
    def v(value: Optional[Value]) -> str:
        if value is None:
            return "any"
        return value.simple if value.simple is not None and facet.kind != "attribute" else value.text()

    if facet.kind == "entity":
        text = f"entity {v(facet.name)}"
        return text + (f" of predefined type {v(facet.predefined_type)}" if facet.predefined_type else "")
    if facet.kind == "attribute":
        name = facet.name.simple if facet.name.simple is not None else facet.name.text()
        return f"attribute {name}" + (f" = {v(facet.value)}" if facet.value else "")
    if facet.kind == "property":
        text = f"property {v(facet.property_set)}.{v(facet.base_name)}"
        text += f" ({facet.data_type})" if facet.data_type else ""
        return text + (f" = {facet.value.text()}" if facet.value else "")
    if facet.kind == "classification":
        text = f"classification {v(facet.system)}"
        return text + (f" {facet.value.text()}" if facet.value else "")
    if facet.kind == "material":
        return "material" + (f" {facet.value.text()}" if facet.value else "")
    relation = f" through {facet.relation}" if facet.relation else ""
    return f"part of {describe(facet.entity)}{relation}"
