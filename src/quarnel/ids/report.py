"""The outcome of checking models against an IDS, and its writers (JSON, HTML, BCF, Parquet)."""
from dataclasses import dataclass, field
from typing import Any, Dict


@dataclass
class Report:
    """What a check found.

    ids: the IDS file's <info> (title always; copyright, version, description, author, date, purpose,
        milestone where given).
    specifications: pyarrow Table, one row per model and specification: model, schema, index (position in
        the IDS, from 0), name, identifier, description, instructions, ifc_versions, status ("pass"/"fail"),
        applicable, passed, failed (objects), min_occurs, max_occurs (null: unbounded).
    failures: pyarrow Table, one row per failing object and requirement: model, specification (index),
        identifier, guid, entity, name, requirement (index among the specification's requirements; null when
        the specification itself fails, e.g. nothing applicable where something is required), facet
        ("entity", "attribute", "property", "classification", "material", "partOf", or "applicability"),
        reason, value (the value found, if any).
    """
    ids: Dict[str, Any]
    specifications: Any
    failures: Any
    extra: Dict[str, Any] = field(default_factory=dict)

    @property
    def passed(self) -> bool:
        return all(s == "pass" for s in self.specifications.column("status").to_pylist())

    def to_json(self, path=None, fails_only: bool = False):
        raise NotImplementedError

    def to_html(self, path, fails_only: bool = False):
        raise NotImplementedError

    def to_bcf(self, path):
        raise NotImplementedError

    def to_parquet(self, path):
        raise NotImplementedError
