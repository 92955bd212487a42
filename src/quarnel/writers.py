"""Writing Arrow tables to CSV, Parquet or JSON Lines, in one go or batch by batch.

Parquet goes through pyarrow.parquet and CSV through pyarrow.csv; JSON Lines are assembled
column by column with Arrow's compute functions. No cell becomes a Python object on the way,
except texts that need JSON escapes beyond quotes and backslashes.
"""

import csv
import io
import json
import os
import re
import struct
import sys
from typing import Any, List, NamedTuple, Optional, Sequence, Tuple

import pyarrow as pa

from quarnel.literals import string

FORMATS = {
    ".csv": "csv",
    ".parquet": "parquet",
    ".pq": "parquet",
    ".jsonl": "jsonl",
    ".ndjson": "jsonl",
}
FORMAT_NAMES = ("csv", "parquet", "jsonl")
EXTENSIONS = {"csv": ".csv", "parquet": ".parquet", "jsonl": ".jsonl"}

# Rows per piece of JSON text: the text of one piece must stay under 2 GB (32-bit offsets).
JSONL_ROWS = 1 << 16


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


class Encoded(NamedTuple):
    """Rows already turned into the bytes of a text format."""

    names: Tuple[str, ...]
    rows: int
    chunks: Sequence[Any]  # bytes-like pieces, written one after another


def csv_header(names: Sequence[str]) -> bytes:
    out = io.StringIO()
    csv.writer(out, lineterminator="\n").writerow(names)
    return out.getvalue().encode("utf-8")


def csv_bytes(table) -> Any:
    import pyarrow.csv as pcsv

    sink = pa.BufferOutputStream()
    pcsv.write_csv(table, sink, write_options=pcsv.WriteOptions(include_header=False))
    return sink.getvalue()


# JSON needs quotes, backslashes and control characters escaped inside strings.
_NEEDS_ESCAPE = r'[\x00-\x1f"\\]'
_NEEDS_ESCAPE_BYTES = re.compile(_NEEDS_ESCAPE.encode())


def _text(values) -> memoryview:
    """The bytes of a string array's values, back to back, without a copy."""
    _, offsets, data = values.buffers()
    start, = struct.unpack_from("<i", offsets, 4 * values.offset)
    end, = struct.unpack_from("<i", offsets, 4 * (values.offset + len(values)))
    return memoryview(data or b"")[start:end]


def _matches(values, pattern: str):
    """Whether each value matches `pattern`; false for nulls."""
    import pyarrow.compute as pc

    return pc.and_kleene(pc.is_valid(values), pc.match_substring_regex(values, pattern))


def _escaped(values):
    """A string array with every value escaped for use inside a JSON string."""
    import pyarrow.compute as pc

    # Almost no text needs escapes: one scan of the array's text rules them out.
    if not _NEEDS_ESCAPE_BYTES.search(_text(values)):
        return values
    marked = _matches(values, _NEEDS_ESCAPE)
    escaped = [json.dumps(v, ensure_ascii=False)[1:-1] for v in pc.filter(values, marked).to_pylist()]
    return pc.replace_with_mask(values, marked, pa.array(escaped, type=values.type))


def _json_field(key: str, values):
    """`key` followed by the JSON text of each value of an array; absent and non-finite values
    are null."""
    import pyarrow.compute as pc

    if pa.types.is_large_string(values.type):  # a piece of JSONL_ROWS rows fits 32-bit offsets
        values = values.cast(pa.string())
    kind = values.type
    key_text, quote, empty = string(key), string('"'), string("")
    if pa.types.is_dictionary(kind):
        # Only the distinct texts are encoded; the rows pick theirs.
        words = values.dictionary.cast(pa.string())
        text = pc.take(pc.binary_join_element_wise(string(key + '"'), _escaped(words), quote, empty), values.indices)
    elif pa.types.is_string(kind):
        text = pc.binary_join_element_wise(string(key + '"'), _escaped(values), quote, empty)
    elif pa.types.is_floating(kind):
        finite = pc.if_else(pc.is_finite(values), values, pa.nulls(1, kind)[0])
        text = pc.cast(finite, pa.string())
        # Arrow writes whole numbers without a point ("3200"): keep them floats when read back.
        whole = _matches(text, r"^-?[0-9]+$")
        text = pc.binary_join_element_wise(key_text, text, pc.if_else(whole, string(".0"), empty), empty)
    elif pa.types.is_integer(kind) or pa.types.is_boolean(kind):
        text = pc.binary_join_element_wise(key_text, pc.cast(values, pa.string()), empty)
    else:
        text = pa.array([key + json.dumps(v, ensure_ascii=False, default=str) for v in values.to_pylist()])
    return pc.fill_null(text, string(key + "null"))


def jsonl_chunks(table) -> List[Any]:
    """One JSON object per row, keys in column order, each line ending in a newline: the text
    in pieces to be written one after another."""
    import pyarrow.compute as pc

    names = table.column_names
    keys = [("{" if i == 0 else ",") + json.dumps(n, ensure_ascii=False) + ":" for i, n in enumerate(names)]
    out = []
    for batch in table.to_batches(max_chunksize=JSONL_ROWS):
        if not batch.num_rows:
            continue
        fields = [_json_field(key, column) for key, column in zip(keys, batch.columns)]
        out.append(_text(pc.binary_join_element_wise(*fields, string("}\n"), string(""))))
    return out


def _plain(table):
    if isinstance(table, pa.RecordBatch):
        table = pa.Table.from_batches([table])
    return table.replace_schema_metadata(None)


def encode(fmt: str, table):
    """The rows in the form the writer of `fmt` takes: an Arrow table for Parquet, the bytes of
    the text for CSV and JSON Lines. Batch runs encode on their worker threads."""
    if isinstance(table, Encoded) or fmt == "parquet":
        return table if isinstance(table, Encoded) else _plain(table)
    chunks = [csv_bytes(table)] if fmt == "csv" else jsonl_chunks(table)
    return Encoded(tuple(table.column_names), table.num_rows, chunks)


def _parquet_options(schema):
    # Min/max of texts cost a third of the writing and rarely prune anything: numbers only.
    # Dictionary pages for every text: GlobalIds and values repeat row after row (psets: a
    # quarter less time, 12 MB -> 5 MB); a column of distinct texts falls back to plain pages
    # after the first megabyte, for 7 % more time.
    numbers = [f.name for f in schema if pa.types.is_integer(f.type) or pa.types.is_floating(f.type)]
    dictionaries = [f.name for f in schema if pa.types.is_dictionary(f.type) or pa.types.is_string(f.type)]
    return {"write_statistics": numbers or False, "use_dictionary": dictionaries or False}


class TableWriter:
    """Writes Arrow tables (same columns each time) one after another to one file ("-" is
    standard output)."""

    def __init__(self, path: str, fmt: str):
        self.path = path
        self.fmt = fmt
        self.rows = 0
        self._names: Optional[Tuple[str, ...]] = None
        self._file: Any = None
        self._parquet: Any = None
        if fmt == "parquet" and path == "-":
            raise OutputError("Parquet cannot be written to standard output; name a file")
        if fmt != "parquet":
            if path == "-":
                sys.stdout.flush()
                self._file = sys.stdout.buffer
            else:
                self._file = self._guard(lambda: open(path, "wb"))

    def _guard(self, action):
        try:
            return action()
        except BrokenPipeError:
            raise
        except (OSError, pa.ArrowException) as e:
            raise OutputError(f"write {self.path}: {getattr(e, 'strerror', None) or e}") from None

    def write(self, table) -> None:
        """Append rows: an Arrow table or record batch, or what `encode` made of one."""
        rows = encode(self.fmt, table)
        names = tuple(rows.names if isinstance(rows, Encoded) else rows.column_names)
        if self._names is None:
            self._names = names
            if self.fmt == "csv":
                self._guard(lambda: self._file.write(csv_header(names)))
            elif self.fmt == "parquet":
                import pyarrow.parquet as pq

                self._parquet = self._guard(lambda: pq.ParquetWriter(self.path, rows.schema, **_parquet_options(rows.schema)))
        elif names != self._names:
            raise OutputError(f"write {self.path}: columns changed from {list(self._names)} to {list(names)}")
        if self.fmt == "parquet":
            self._guard(lambda: self._parquet.write_table(rows))
            self.rows += rows.num_rows
        else:
            for chunk in rows.chunks:
                self._guard(lambda: self._write_all(chunk))
            self.rows += rows.rows

    def _write_all(self, chunk) -> None:
        # A pipe may take part of a large write and report the rest lost only on the next call.
        view = memoryview(chunk).cast("B")
        while view:
            view = view[self._file.write(view):]

    def close(self) -> None:
        if self.fmt == "parquet":
            if self._parquet is not None:
                self._guard(self._parquet.close)
            else:
                # Nothing was ever written: still leave a readable, empty file behind.
                import pyarrow.parquet as pq

                self._guard(lambda: pq.write_table(pa.table({}), self.path))
        elif self._file is sys.stdout.buffer:
            self._file.flush()
        elif self._file is not None:
            self._guard(self._file.close)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


def write_table(path: str, table, fmt: Optional[str] = None) -> int:
    """Write one whole Arrow table; returns the number of rows written."""
    with TableWriter(path, format_of(path, fmt)) as writer:
        writer.write(table)
    return writer.rows
