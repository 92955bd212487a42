"""Writing tables to CSV, Parquet or JSON Lines, in one go or batch by batch.

CSV and JSON Lines need nothing beyond the standard library; Parquet needs pyarrow.
"""

import csv
import json
import math
import os
import sys
from typing import Any, List, Optional, Tuple

from quarnel.tables import Columns, arrow_type, column_kind, require

FORMATS = {
    ".csv": "csv",
    ".parquet": "parquet",
    ".pq": "parquet",
    ".jsonl": "jsonl",
    ".ndjson": "jsonl",
}
FORMAT_NAMES = ("csv", "parquet", "jsonl")
EXTENSIONS = {"csv": ".csv", "parquet": ".parquet", "jsonl": ".jsonl"}


class OutputError(Exception):
    """A table cannot be written where or how it was asked for."""


def format_of(path: str, override: Optional[str] = None) -> str:
    if override:
        return override
    if path == "-":
        return "csv"
    ext = os.path.splitext(path)[1].lower()
    if ext not in FORMATS:
        raise OutputError(
            f"cannot tell the output format of {path!r} from its extension; "
            "use .csv, .parquet or .jsonl (or --format)"
        )
    return FORMATS[ext]


def _finite_or_none(values):
    return [v if v is None or math.isfinite(v) else None for v in values]


class TableWriter:
    """Writes batches of rows (dicts of equal-length columns, same names each time) to one file
    ("-" is standard output)."""

    def __init__(self, path: str, fmt: str):
        self.path = path
        self.fmt = fmt
        self.rows = 0
        self._names: Optional[List[str]] = None
        self._file: Any = None
        self._parquet: Any = None
        if fmt == "parquet":
            # Fail before any work is done when pyarrow is missing.
            require("pyarrow.parquet", "arrow", "writing Parquet")
        if fmt == "parquet" and path == "-":
            raise OutputError("Parquet cannot be written to standard output; name a file")
        try:
            if fmt in ("csv", "jsonl"):
                self._file = sys.stdout if path == "-" else open(path, "w", newline="", encoding="utf-8")
                if fmt == "csv":
                    self._csv = csv.writer(self._file, lineterminator="\n")
        except OSError as e:
            raise OutputError(f"write {path}: {e.strerror or e}") from None

    def write(self, columns) -> None:
        """Append rows: a dict of columns, or what `prepare` made of one for this format."""
        if self.fmt == "parquet":
            columns = prepare(self.fmt, columns)
            names = columns.column_names
            count = columns.num_rows
        else:
            names = list(columns)
            count = len(columns[names[0]]) if names else 0
        if self._names is None:
            self._names = names
            self._start(names)
        elif names != self._names:
            raise OutputError(f"write {self.path}: columns changed from {self._names} to {names}")
        try:
            if self.fmt == "csv":
                self._csv.writerows(zip(*columns.values()))
            elif self.fmt == "jsonl":
                self._write_jsonl(columns)
            else:
                self._parquet.write_table(columns)
        except BrokenPipeError:
            raise
        except OSError as e:
            raise OutputError(f"write {self.path}: {e.strerror or e}") from None
        self.rows += count

    def _start(self, names: List[str]) -> None:
        if self.fmt == "csv":
            self._csv.writerow(names)
        elif self.fmt == "parquet":
            pa = require("pyarrow", "arrow", "writing Parquet")
            pq = require("pyarrow.parquet", "arrow", "writing Parquet")
            schema = pa.schema([(name, arrow_type(name)) for name in names])
            try:
                self._parquet = pq.ParquetWriter(self.path, schema)
            except OSError as e:
                raise OutputError(f"write {self.path}: {e.strerror or e}") from None

    def _write_jsonl(self, columns: Columns) -> None:
        names = list(columns)
        values = [
            _finite_or_none(column) if column_kind(name) == "float" else column
            for name, column in columns.items()
        ]
        dumps = json.dumps
        self._file.writelines(
            dumps(dict(zip(names, row)), ensure_ascii=False) + "\n" for row in zip(*values)
        )

    def close(self) -> None:
        if self.fmt == "parquet":
            if self._parquet is None and self._names is None:
                # Nothing was ever written: still leave a readable, empty file behind.
                self._names = []
                pa = require("pyarrow", "arrow", "writing Parquet")
                pq = require("pyarrow.parquet", "arrow", "writing Parquet")
                pq.write_table(pa.table({}), self.path)
            elif self._parquet is not None:
                self._parquet.close()
        elif self._file is sys.stdout:
            self._file.flush()
        elif self._file is not None:
            self._file.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


def prepare(fmt: str, columns, source: Optional[Tuple[str, str]] = None):
    """The rows in the form the writer of `fmt` takes: an Arrow table for Parquet, else a dict of
    columns. `source` = (column name, value) puts a column holding one value in front.

    Converting is work under the interpreter lock; batch runs do it on their worker threads so
    that the writing thread only writes."""
    if not isinstance(columns, dict):
        return columns
    length = len(next(iter(columns.values()))) if columns else 0
    if fmt != "parquet":
        return {source[0]: [source[1]] * length, **columns} if source else columns
    pa = require("pyarrow", "arrow", "writing Parquet")
    arrays = {}
    if source:
        arrays[source[0]] = pa.repeat(pa.scalar(source[1], type=pa.string()), length)
    for name, values in columns.items():
        arrays[name] = pa.array(values, type=arrow_type(name))
    return pa.table(arrays)


def write_table(path: str, columns: Columns, fmt: Optional[str] = None) -> int:
    """Write one whole table; returns the number of rows written."""
    with TableWriter(path, format_of(path, fmt)) as writer:
        writer.write(columns)
    return writer.rows
