"""What every run over models shares, the command line's, batch runs' and datasets' alike:
finding the models, checking a file before it is read, one line per failure, the column naming
each row's model, the progress bar and the report."""

import glob
import mmap
import os
import stat
import sys
from typing import Dict, Iterable, List, Optional, Sequence, Tuple

GLOB_CHARS = frozenset("*?[")
STEP_MAGIC = b"ISO-10303-21"
_END = b"END-ISO-10303-21;"
# The header of a model is a few hundred bytes: what is read through Python to check it.
HEAD_BYTES = 64 << 10
TAIL_BYTES = 4 << 10


class ModelError(Exception):
    """A file that is no model quarnel can read, in one line naming it."""


def _data_at(buf, start: int) -> bool:
    """Whether a DATA section opens at or after `start` of `buf` (bytes or an mmap)."""
    at = buf.find(b"DATA", start)
    while at >= 0:
        after = bytes(buf[at + 4:at + 68]).lstrip()
        if after[:1] in (b";", b"(") and (at == 0 or buf[at - 1:at] in b" \t\r\n;/"):
            return True
        at = buf.find(b"DATA", at + 4)
    return False


def check_model(path: str, shown: Optional[str] = None) -> Optional[str]:
    """Checks a local model before it is read: raises ModelError when it is a folder or no
    regular file, cannot be opened, has no ISO-10303-21 header or no DATA section (the engine reads anything without
    complaint, so a stray PDF named .ifc would pass as an empty model). Returns a warning when
    the model is cut short, without ENDSEC and END-ISO-10303-21 at its end: what it holds is
    still read. Only the first and last few KB pass through Python; the DATA section of a model
    with a long header is found in the mapping."""
    shown = path if shown is None else shown
    try:
        kind = os.stat(path).st_mode
        if stat.S_ISDIR(kind):
            raise ModelError(f"{shown}: is a directory, not a model")
        if not stat.S_ISREG(kind):  # a pipe would block the check and cannot be mapped
            raise ModelError(f"{shown}: not a regular file")
        f = open(path, "rb")
    except OSError as e:
        raise ModelError(f"open {shown}: {e.strerror} (os error {e.errno})") from None
    with f:
        head = f.read(HEAD_BYTES)
        if not head[:1024].lstrip(b"\xef\xbb\xbf \t\r\n").startswith(STEP_MAGIC):
            raise ModelError(f"{shown}: not an IFC file (no ISO-10303-21 header)")
        size = os.fstat(f.fileno()).st_size
        found = _data_at(head, 0)
        if not found and size > len(head):
            with mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as mapped:
                found = _data_at(mapped, len(head) - 64)
        if not found:
            raise ModelError(f"{shown}: not an IFC model (no DATA section)")
        f.seek(max(0, size - TAIL_BYTES))
        tail = f.read().rstrip()
    if not (tail.endswith(_END) and b"ENDSEC" in tail):
        return f"{shown}: cut short (no ENDSEC and END-ISO-10303-21 at its end); read as far as it goes"
    return None


def one_line(error: BaseException, path: str) -> str:
    """One line for a model that could not be read, naming it once."""
    text = " ".join(str(error).split())
    if isinstance(error, ModelError) or (isinstance(error, OSError) and text and path in text):
        return text  # the message names the path already
    if isinstance(error, OSError) and text:
        return f"{path}: {text}"
    return f"{path}: {type(error).__name__}: {text}" if text else f"{path}: {type(error).__name__}"


def expand_paths(args: Sequence[str]) -> Tuple[List[str], List[str]]:
    """Files as given, folders searched recursively for *.ifc, glob patterns expanded.

    Returns the model paths (duplicates dropped, order kept) and the patterns that matched nothing.
    """
    found: List[str] = []
    unmatched: List[str] = []

    def add_folder(folder: str) -> None:
        for root, dirs, files in os.walk(folder):
            dirs.sort()
            found.extend(os.path.join(root, f) for f in sorted(files) if f.lower().endswith(".ifc"))

    for arg in args:
        if os.path.isdir(arg):
            add_folder(arg)
        elif not os.path.exists(arg) and GLOB_CHARS.intersection(arg):
            matches = sorted(glob.glob(arg, recursive=True))
            if not matches:
                unmatched.append(arg)
            for match in matches:
                if os.path.isdir(match):
                    add_folder(match)
                else:
                    found.append(match)
        else:
            found.append(arg)  # a missing file is reported when it fails to open
    seen = set()
    unique = []
    for path in found:
        key = os.path.abspath(path)
        if key not in seen:
            seen.add(key)
            unique.append(path)
    return unique, unmatched


def model_size(path: str) -> int:
    try:
        return os.stat(path).st_size
    except OSError:
        return 0  # fails when read, and reading a failure costs nothing


def source_column(names: Iterable[str]) -> str:
    """The column naming each row's model: "source", or "source_file" for tables that have a
    "source" column of their own (classifications, drift)."""
    return "source_file" if "source" in names else "source"


def with_source(table, path: str, column: Optional[str] = None):
    """The table with the model path in front, as a one-entry dictionary (4 bytes a row, however
    many models), in `column` or else the one source_column() names; no schema metadata."""
    from quarnel.literals import repeated

    source = repeated(path, table.num_rows)
    return table.replace_schema_metadata(None).add_column(0, column or source_column(table.column_names), source)


class Report:
    """What a run did: models read and failed, rows and output of each table, seconds taken."""

    def __init__(self):
        self.models = 0
        self.failed = 0
        self.rows: Dict[str, int] = {}
        self.outputs: Dict[str, str] = {}
        self.errors: List[Tuple[str, str]] = []
        self.seconds = 0.0


class Progress:
    """A progress bar on stderr when it is a terminal: tqdm when installed, else a plain one.
    Messages go to stderr either way, above the bar."""

    def __init__(self, total: int, enabled: bool):
        self.total = total
        self.done = 0
        self.bar = None
        self.plain = False
        if not enabled:
            return
        try:
            from tqdm import tqdm
        except ImportError:
            self.plain = True
            self._draw()
            return
        self.bar = tqdm(total=total, unit="model", dynamic_ncols=True, leave=False, file=sys.stderr)

    def _draw(self) -> None:
        width = 30
        filled = width * self.done // max(self.total, 1)
        sys.stderr.write(f"\r[{'#' * filled}{'.' * (width - filled)}] {self.done}/{self.total} models")
        sys.stderr.flush()

    def advance(self, models: int = 1) -> None:
        self.done += models
        if self.bar is not None:
            self.bar.update(models)
        elif self.plain:
            self._draw()

    def message(self, text: str) -> None:
        if self.bar is not None:
            self.bar.write(text, file=sys.stderr)
        elif self.plain:
            sys.stderr.write("\r\033[K" + text + "\n")
            self._draw()
        else:
            sys.stderr.write(text + "\n")
        sys.stderr.flush()

    def close(self) -> None:
        if self.bar is not None:
            self.bar.close()
        elif self.plain:
            sys.stderr.write("\r\033[K")
            sys.stderr.flush()
