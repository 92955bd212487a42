"""The result of a diff: the changes as an Arrow table, counts per kind, and its writers."""

from __future__ import annotations

import json
import os
from typing import Dict, Optional

import pyarrow as pa

from quarnel.writers import OutputError, jsonl_chunks, write_pieces, write_table


class Diff:
    """What changed from `old` to `new`.

    ``changes``: one row per change (guid, entity, name, change, what, old, new, old_number,
    new_number, distance); ``summary``: {kind: count} for every kind compared, "duplicate"
    counting GlobalIds that more than one object carries (those objects are not compared).
    """

    def __init__(self, old: str, new: str, changes: pa.Table, summary: Dict[str, int]):
        self.old, self.new, self.changes, self.summary = old, new, changes, summary

    def __len__(self) -> int:
        return self.changes.num_rows

    def __repr__(self) -> str:
        counts = ", ".join(f"{k} {n:,}" for k, n in self.summary.items() if n)
        return f"<Diff {self.old} -> {self.new}: {len(self):,} changes{': ' + counts if counts else ''}>"

    def to_parquet(self, path: str) -> int:
        return write_table(os.fspath(path), self.changes, "parquet")

    def to_csv(self, path: str) -> int:
        return write_table(os.fspath(path), self.changes, "csv")

    def to_json(self, path: Optional[str] = None):
        """{"old", "new", "summary", "changes": [row, ...]} to `path`, or as text without one."""
        head = json.dumps({"old": self.old, "new": self.new, "summary": self.summary}, ensure_ascii=False)

        def pieces():
            yield head[:-1].encode() + b', "changes": ['
            first = True
            # JSON Lines rows hold no raw newline: each ends in one, which becomes the separator.
            for batch in self.changes.to_batches(max_chunksize=1 << 16):
                for chunk in jsonl_chunks(batch):
                    text = bytes(chunk)
                    yield (b"\n" if first else b",\n") + text[:-1].replace(b"\n", b",\n")
                    first = False
            yield b"\n]}\n"

        return self._emit(path, pieces())

    def to_html(self, path: Optional[str] = None):
        """One self-contained page: changes grouped by kind and class, with a search box."""
        from quarnel.diff.page import html_page

        return self._emit(path, [html_page(self).encode()])

    @staticmethod
    def _emit(path, pieces):
        if path is None:
            return b"".join(pieces).decode()
        path = os.fspath(path)
        try:
            write_pieces(path, pieces)
        except OSError as e:
            raise OutputError(f"write {path}: {e.strerror or e}") from None
        return None

    def write(self, path: str) -> None:
        """By the extension of `path`: .parquet, .csv, .json or .html."""
        ext = os.path.splitext(os.fspath(path))[1].lower()
        writers = {".parquet": self.to_parquet, ".pq": self.to_parquet, ".csv": self.to_csv,
                   ".json": self.to_json, ".html": self.to_html, ".htm": self.to_html}
        if ext not in writers:
            raise OutputError(f"cannot tell the format of {path!r}: use .parquet, .csv, .json or .html")
        writers[ext](path)
