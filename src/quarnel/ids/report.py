"""The outcome of checking models against an IDS, and its writers (JSON, HTML, BCF, Parquet).

A report can hold a million failures: the JSON text of the failures is made column by column with
Arrow's compute functions and written in pieces, never as one Python dict a failure. Every file is
written under a temporary name beside its target and moved into place once complete.
"""
import json
from dataclasses import dataclass, field
from typing import Any, Dict, Iterator, List, NamedTuple, Optional

# Keys of a failure in the JSON report, in order; "value" follows when the failure has one.
FAILURE_KEYS = ("guid", "entity", "name", "requirement", "facet", "reason")
# Columns whose texts repeat: reasons, entities and values come from a small set.
REPEATED = ("entity", "facet", "reason", "value")
# Rows of failures encoded at a time: the text of a piece stays far below Arrow's 2 GB offsets.
PIECE_ROWS = 1 << 16


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
        """The report as JSON: {"ids": {...}, "models": [{"path", "schema", "specifications": [{"name",
        "identifier", ["description",] "status", "applicable", "passed", "failed", "failures": [{"guid",
        "entity", "name", "requirement", "facet", "reason"[, "value"]}]}]}]}. Returns the text when
        `path` is None, else writes it there."""
        pieces = json_pieces(grouped(self, fails_only))
        if path is None:
            return b"".join(bytes(p) for p in pieces).decode("utf-8")
        from quarnel.writers import write_pieces

        write_pieces(path, pieces)

    def to_html(self, path, fails_only: bool = False):
        """One self-contained HTML page: specifications grouped, failing ones first, their failures
        searchable and shown a page at a time."""
        from .html import html_pieces

        from quarnel.writers import write_pieces

        write_pieces(path, html_pieces(grouped(self, fails_only)))

    def to_bcf(self, path):
        """A BCF 3.0 archive: one topic per failing specification and model, its failing objects the
        selected components of the topic's viewpoint."""
        from .bcf import write_bcf

        write_bcf(grouped(self, True), path)

    def to_parquet(self, path):
        """The failures, one row each, with the name of their specification beside its index."""
        from quarnel.writers import write_table

        groups = grouped(self, False)
        write_table(path, parquet_table(groups), "parquet")


class Spec(NamedTuple):
    """One row of the specifications table with where its failures lie in the grouped failures."""
    row: Dict[str, Any]
    start: int
    count: int


class Grouped(NamedTuple):
    """A report's specifications in report order, with the failures sorted so that each
    specification's are contiguous (in the order the checker found them)."""
    ids: Dict[str, Any]
    models: List[Dict[str, Any]]  # {"path", "schema", "specs": [Spec]}
    failures: Any  # pyarrow Table


def grouped(report: Report, fails_only: bool) -> Grouped:
    import numpy as np
    import pyarrow as pa
    import pyarrow.compute as pc

    rows = report.specifications.to_pylist()
    failures = report.failures
    if isinstance(failures, pa.RecordBatch):
        failures = pa.Table.from_batches([failures])
    models: Dict[str, int] = {}
    for r in rows:
        models.setdefault(r["model"], len(models))
    width = max([r["index"] for r in rows] + [0]) + 1
    keys = [models[r["model"]] * width + r["index"] for r in rows]
    if failures.num_rows:
        from quarnel.literals import strings

        model_ord = pc.index_in(failures.column("model").cast(pa.string()), value_set=strings(list(models)))
        model_ord = _numpy(pc.fill_null(model_ord.cast(pa.int64()), _int64(-1)))
        spec = _numpy(pc.fill_null(failures.column("specification").cast(pa.int64()), _int64(-1)))
        # Row of the specifications table each failure belongs to; -1 for one that has none.
        lut = np.full(len(models) * width + 1, -1, dtype=np.int64)
        lut[keys] = np.arange(len(rows))
        valid = (spec >= 0) & (spec < width) & (model_ord >= 0)
        key = np.where(valid, model_ord * width + spec, len(lut) - 1)
        row_of = lut[key]
        keep = row_of >= 0
        sort = np.argsort(np.where(keep, row_of, len(rows)), kind="stable")
        sort = sort[: int(keep.sum())]
        if len(sort) != failures.num_rows or np.any(sort[1:] < sort[:-1]):
            failures = failures.take(_int64_array(sort))
        counts = np.bincount(row_of[keep], minlength=len(rows))
    else:
        counts = np.zeros(len(rows), dtype=np.int64)
    starts = np.concatenate([[0], np.cumsum(counts)[:-1]]) if len(rows) else counts
    out: Dict[str, Dict[str, Any]] = {}
    for i, r in enumerate(rows):
        m = out.setdefault(r["model"], {"path": r["model"], "schema": r.get("schema"), "specs": []})
        if fails_only and r["status"] == "pass":
            continue
        m["specs"].append(Spec(r, int(starts[i]), int(counts[i])))
    return Grouped(dict(report.ids), list(out.values()), failures)


def _int64_array(values):
    """An int64 array of a numpy array's values (pa.array() would import pandas when installed)."""
    import numpy as np
    import pyarrow as pa

    values = np.ascontiguousarray(values, dtype=np.int64)
    return pa.Array.from_buffers(pa.int64(), len(values), [None, pa.py_buffer(values)])


def _numpy(values):
    """The numbers of an int64 array without nulls, read from its buffer (to_numpy would import
    pandas when installed)."""
    import numpy as np

    if hasattr(values, "combine_chunks"):
        values = values.combine_chunks()
    data = values.buffers()[1]
    if data is None:
        return np.zeros(0, dtype=np.int64)
    return np.frombuffer(data, dtype=np.int64, count=values.offset + len(values))[values.offset:]


def _int64(value: int):
    return _int64_array([value])[0]


def _failure_texts(table):
    """One JSON object a failure, each followed by ",\\n": a string array."""
    import pyarrow.compute as pc
    from quarnel.literals import string
    from quarnel.writers import _json_field

    table = table.combine_chunks()
    fields = [_json_field(("   {" if i == 0 else ",") + json.dumps(k) + ":", _shared(_column(table, k), k))
              for i, k in enumerate(FAILURE_KEYS)]
    if "value" in table.column_names:
        value = _shared(_column(table, "value"), "value")
        fields.append(pc.if_else(pc.is_valid(value), _json_field(',"value":', value), string("")))
    return pc.binary_join_element_wise(*fields, string("},\n"), string(""))


def _shared(values, name):
    """Texts that repeat row after row as a dictionary, so that each distinct one is escaped once."""
    import pyarrow as pa
    import pyarrow.compute as pc

    if name in REPEATED and (pa.types.is_string(values.type) or pa.types.is_large_string(values.type)):
        return pc.dictionary_encode(values)
    return values


def _column(table, name):
    import pyarrow as pa

    if name not in table.column_names:
        return pa.nulls(table.num_rows, pa.string())
    column = table.column(name)
    return column.chunk(0) if column.num_chunks == 1 else column.combine_chunks()


def json_pieces(groups: Grouped) -> Iterator[Any]:
    """The JSON text of a report in pieces (bytes-like), made as they are written: the text of a
    million failures is never whole in memory."""
    from quarnel.writers import _text

    yield b'{"ids": ' + _dumps(groups.ids) + b',\n"models": ['
    for m, model in enumerate(groups.models):
        yield ((b"," if m else b"") + b'\n {"path": ' + _dumps(model["path"]) + b', "schema": '
               + _dumps(model["schema"]) + b', "specifications": [')
        for s, spec in enumerate(model["specs"]):
            r = spec.row
            head = {"name": r.get("name"), "identifier": r.get("identifier")}
            if r.get("description") is not None:
                head["description"] = r["description"]
            for k in ("status", "applicable", "passed", "failed"):
                head[k] = r.get(k)
            yield (b"," if s else b"") + b"\n  " + _dumps(head)[:-1] + b', "failures": ['
            if spec.count:
                yield b"\n"
                last = None
                for at in range(spec.start, spec.start + spec.count, PIECE_ROWS):
                    if last is not None:
                        yield last
                    piece = groups.failures.slice(at, min(PIECE_ROWS, spec.start + spec.count - at))
                    last = _text(_failure_texts(piece))
                yield last[:-2]  # the last failure takes no ",\n"
            yield b"]}"
        yield b"]}"
    yield b"\n]}\n"


def _dumps(value) -> bytes:
    return json.dumps(value, ensure_ascii=False, default=str).encode("utf-8")


def parquet_table(groups: Grouped):
    """The grouped failures with the specification's name after its index."""
    import pyarrow as pa
    from quarnel.literals import strings

    table = groups.failures
    names: List[str] = []
    counts: List[int] = []
    for model in groups.models:
        for spec in model["specs"]:
            names.append(spec.row.get("name") or "")
            counts.append(spec.count)
    import numpy as np

    picks = _int64_array(np.repeat(np.arange(len(names)), counts)).cast(pa.int32())
    column = pa.DictionaryArray.from_arrays(picks, strings(names))
    at = table.column_names.index("specification") + 1 if "specification" in table.column_names else 0
    return table.add_column(at, "specification_name", column)


def reasons(groups: Grouped, spec: Spec, top: Optional[int] = None) -> List[tuple]:
    """(reason, count) of a specification's failures, the most frequent first."""
    import pyarrow.compute as pc

    if not spec.count:
        return []
    column = groups.failures.column("reason").slice(spec.start, spec.count)
    counts = pc.value_counts(column.combine_chunks() if column.num_chunks != 1 else column.chunk(0))
    pairs = sorted(((c["values"].as_py(), c["counts"].as_py()) for c in counts), key=lambda p: (-p[1], str(p[0])))
    return pairs[:top] if top else pairs
