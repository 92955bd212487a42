"""Every table quarnel writes: CSV, Parquet, JSON Lines or xlsx, to a file or standard output.

Parquet goes through pyarrow.parquet and CSV through pyarrow.csv; JSON Lines are assembled
column by column with Arrow's compute functions. No cell becomes a Python object on the way,
except texts that need JSON escapes beyond quotes and backslashes, and the cells of a
worksheet. Tables that arrive as a stream are written batch by batch as they come.

A file is written under a temporary name beside its target and moved into place once complete,
so a run that fails or is interrupted leaves the previous output as it was.
"""

import csv
import io
import json
import math
import os
import re
import shutil
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
    ".xlsx": "xlsx",
}
FORMAT_NAMES = ("csv", "parquet", "jsonl", "xlsx")
EXTENSIONS = {"csv": ".csv", "parquet": ".parquet", "jsonl": ".jsonl", "xlsx": ".xlsx"}
# Formats a pipe cannot take: their files are written out of order.
NOT_STREAMED = ("parquet", "xlsx")
EXCEL_ROWS, EXCEL_COLUMNS = 1_048_576, 16_384

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
            "use .csv, .parquet, .jsonl or .xlsx (or --format)"
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

    table = _plain(table)
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
    """The rows in the form the writer of `fmt` takes: an Arrow table for Parquet and xlsx, the
    bytes of the text for CSV and JSON Lines. Batch runs encode on their worker threads."""
    if isinstance(table, Encoded):
        return table
    if fmt in NOT_STREAMED:
        return _plain(table)
    chunks = [csv_bytes(table)] if fmt == "csv" else jsonl_chunks(table)
    return Encoded(tuple(table.schema.names), table.num_rows, chunks)


def _parquet_options(schema):
    # Min/max of texts cost a third of the writing and rarely prune anything: numbers only.
    # Dictionary pages for every text: GlobalIds and values repeat row after row (psets: a
    # quarter less time, 12 MB -> 5 MB); a column of distinct texts falls back to plain pages
    # after the first megabyte, for 7 % more time.
    numbers = [f.name for f in schema if pa.types.is_integer(f.type) or pa.types.is_floating(f.type)]
    dictionaries = [f.name for f in schema if pa.types.is_dictionary(f.type) or pa.types.is_string(f.type)]
    return {"write_statistics": numbers or False, "use_dictionary": dictionaries or False}


def _cells(table):
    """The rows of a table as Python values for a worksheet, which holds neither NaN, infinities
    nor control characters other than tab and line breaks."""
    from openpyxl.cell.cell import ILLEGAL_CHARACTERS_RE

    columns = []
    for column in table.columns:
        values = column.to_pylist()
        if pa.types.is_floating(column.type):
            values = [v if v is None or math.isfinite(v) else None for v in values]
        elif values and any(isinstance(v, str) for v in values):
            values = [ILLEGAL_CHARACTERS_RE.sub("", v) if isinstance(v, str) else v for v in values]
        columns.append(values)
    return zip(*columns)


def beside(target: str) -> str:
    """A free temporary name in the folder of `target`, hidden from readers of that folder."""
    folder, name = os.path.split(target)
    return os.path.join(folder, f".{name}.{os.urandom(4).hex()}.part")


def write_pieces(path: str, pieces) -> None:
    """Write the byte strings `pieces` to `path` under a temporary name, moved into place once
    complete; nothing is left behind when a piece fails."""
    temp = beside(path)
    try:
        with open(temp, "xb") as out:
            for piece in pieces:
                out.write(piece)
        os.replace(temp, path)
    except BaseException:
        remove(temp)
        raise


def remove(path: str) -> None:
    if os.path.isdir(path) and not os.path.islink(path):
        shutil.rmtree(path, ignore_errors=True)
    else:
        try:
            os.remove(path)
        except OSError:
            pass


class TableWriter:
    """Writes Arrow tables or record batches (same columns each time) one after another to one
    file, or to standard output ("-").

    The file is written under a temporary name beside `path`: `commit` moves it into place,
    `discard` (or leaving the `with` block by an exception) removes it. `schema`, when known,
    gives a file that no rows ever reach its columns."""

    def __init__(self, path: str, fmt: str, schema=None):
        self.path = path
        self.fmt = fmt
        self.schema = schema
        self.rows = 0
        self.temp: Optional[str] = None
        self._names: Optional[Tuple[str, ...]] = None
        self._file: Any = None
        self._parquet: Any = None
        self._sheet: Any = None
        if path == "-":
            if fmt in NOT_STREAMED:
                raise OutputError(f"{'Parquet' if fmt == 'parquet' else 'xlsx'} cannot be written to standard "
                                  "output; name a file")
            sys.stdout.flush()
            self._file = sys.stdout.buffer
            return
        self.temp = beside(path)
        # Created here, with the permissions any new file gets, so that a folder that cannot be
        # written to is reported before any model is read.
        self._file = self._guard(lambda: open(self.temp, "xb"))
        if fmt in NOT_STREAMED:
            self._file.close()
            self._file = None

    def _guard(self, action):
        try:
            return action()
        except BrokenPipeError:
            raise
        except (OSError, pa.ArrowException) as e:
            raise OutputError(f"write {self.path}: {getattr(e, 'strerror', None) or e}") from None

    def _start(self, names: Tuple[str, ...], schema) -> None:
        self._names = names
        if self.fmt == "csv":
            self._guard(lambda: self._file.write(csv_header(self._names)))
        elif self.fmt == "parquet":
            import pyarrow.parquet as pq

            schema = schema.remove_metadata()
            self._parquet = self._guard(lambda: pq.ParquetWriter(self.temp, schema, **_parquet_options(schema)))
        elif self.fmt == "xlsx":
            from quarnel.tables import require

            openpyxl = require("openpyxl", "xlsx", "writing .xlsx")
            if len(self._names) > EXCEL_COLUMNS:
                raise OutputError(f"{self.path}: {len(self._names):,} columns do not fit a worksheet; "
                                  "write .csv or .parquet instead")
            self._book = openpyxl.Workbook(write_only=True)
            self._sheet = self._book.create_sheet("quarnel")
            self._sheet.append(list(self._names))

    def write(self, table) -> None:
        """Append rows: an Arrow table or record batch, or what `encode` made of one. The text of
        CSV and JSON Lines is made and written a piece at a time, never whole beside the table."""
        pieces = [table]
        if self.fmt in ("csv", "jsonl") and not isinstance(table, Encoded):
            table = _plain(table)
            pieces = table.to_batches(max_chunksize=JSONL_ROWS) or [table.schema.empty_table()]
        for piece in pieces:
            self._append(encode(self.fmt, piece))

    def _append(self, rows) -> None:
        names = tuple(rows.names if isinstance(rows, Encoded) else rows.schema.names)
        if self._names is None:
            self._start(names, None if isinstance(rows, Encoded) else rows.schema)
        elif names != self._names:
            raise OutputError(f"write {self.path}: columns changed from {list(self._names)} to {list(names)}")
        if self.fmt == "parquet":
            self._guard(lambda: self._parquet.write_table(rows))
        elif self.fmt == "xlsx":
            if self.rows + rows.num_rows + 1 > EXCEL_ROWS:
                raise OutputError(f"{self.path}: more than {EXCEL_ROWS - 1:,} rows do not fit a worksheet; "
                                  "write .csv or .parquet instead")
            for row in _cells(rows):
                self._sheet.append(row)
        else:
            for chunk in rows.chunks:
                self._guard(lambda: self._write_all(chunk))
        self.rows += rows.rows if isinstance(rows, Encoded) else rows.num_rows

    def _write_all(self, chunk) -> None:
        # A pipe may take part of a large write and report the rest lost only on the next call.
        view = memoryview(chunk).cast("B")
        while view:
            view = view[self._file.write(view):]

    def close(self) -> None:
        """Finish the file (still under its temporary name)."""
        if self._names is None:
            # Nothing was ever written: still leave a readable file with the columns, if known.
            self.write((self.schema or pa.schema([])).empty_table())
        if self._parquet is not None:
            self._guard(self._parquet.close)
            self._parquet = None
        elif self._sheet is not None:
            self._guard(lambda: self._book.save(self.temp))
            self._sheet = None
        if self._file is sys.stdout.buffer:
            self._file.flush()
        elif self._file is not None:
            self._guard(self._file.close)
        self._file = None

    def commit(self) -> None:
        """Move the finished file into place."""
        if self.temp is not None:
            self._guard(lambda: os.replace(self.temp, self.path))
            self.temp = None

    def discard(self) -> None:
        """Drop the file and leave whatever was at `path` before."""
        if self._file is not None and self._file is not sys.stdout.buffer:
            self._file.close()
        self._file = self._parquet = self._sheet = None
        if self.temp is not None:
            remove(self.temp)
            self.temp = None

    def __enter__(self):
        return self

    def __exit__(self, kind, *exc):
        if kind is None:
            try:
                self.close()
                self.commit()
            finally:
                self.discard()
        else:
            self.discard()
        return False


def write_table(path: str, data, fmt: Optional[str] = None) -> int:
    """Write a whole table: an Arrow table, record batch reader or any object of the Arrow
    PyCapsule stream interface, whose batches are written as they come. Returns the rows
    written; `fmt` wins over the extension of `path`."""
    fmt = format_of(path, fmt)
    if hasattr(data, "num_rows") and hasattr(data, "schema"):
        with TableWriter(path, fmt, data.schema) as writer:
            writer.write(data)
        return writer.rows
    reader = data if isinstance(data, pa.RecordBatchReader) else pa.RecordBatchReader.from_stream(data)
    with TableWriter(path, fmt, reader.schema) as writer:
        for batch in reader:
            writer.write(batch)
    return writer.rows


def replace_folder(built: str, target: str) -> None:
    """Put the folder `built` where `target` is, the old one removed; the old one stays when the
    move fails."""
    old = None
    if os.path.lexists(target):
        old = beside(target)
        os.rename(target, old)
    try:
        os.rename(built, target)
    except BaseException:
        if old is not None:
            os.rename(old, target)
        raise
    if old is not None:
        remove(old)
