"""Many models into one table: path expansion, a pool of threads, ordered streaming output.

Models are read through the Arrow face (`read_table`, `read_tables`), which builds its tables
without the interpreter lock, and Arrow writes CSV, JSON Lines and Parquet without it too, so N
threads read and write N models at once. Results are
written in input order, with a bounded number of models held in memory, so batches larger
than memory stream through.
"""

import glob
import os
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor
from typing import Dict, List, Optional, Sequence, Tuple


import quarnel
from quarnel.dataset import source_column, with_source  # noqa: F401 (source_column is re-exported)
from quarnel.registry import EXTRACT_ALL_TABLES, TABLES
from quarnel.writers import EXTENSIONS, OutputError, TableWriter, encode, format_of

GLOB_CHARS = frozenset("*?[")

# What --table may name: any table, or "all" for the four extracted ones from one read.
CHOICES = (*TABLES, "all")


def tables_of(choice: str) -> Tuple[str, ...]:
    return EXTRACT_ALL_TABLES if choice == "all" else (choice,)


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


def load(path: str, table: str, formats: Dict[str, str]) -> Dict[str, object]:
    """The tables of one model, each with the model path as first column, encoded for the writer
    of its format. Runs on a worker thread."""
    names = tables_of(table)
    read = quarnel.read_tables(path, list(names)) if len(names) > 1 else {table: quarnel.read_table(path, table)}
    return {name: encode(formats[name], with_source(read[name], path)) for name in names}


class Progress:
    """A progress bar on stderr when it is a terminal: tqdm when installed, else a plain one."""

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

    def advance(self) -> None:
        self.done += 1
        if self.bar is not None:
            self.bar.update(1)
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


class BatchReport:
    def __init__(self):
        self.models = 0
        self.failed = 0
        self.rows: Dict[str, int] = {}
        self.outputs: Dict[str, str] = {}
        self.seconds = 0.0


def output_paths(table: str, out: str, fmt: Optional[str]) -> Dict[str, Tuple[str, str]]:
    """Table name -> (file path, format). A single table goes to `out`; several go into the
    folder `out`, one file each."""
    names = tables_of(table)
    if len(names) == 1:
        return {names[0]: (out, format_of(out, fmt))}
    fmt = fmt or "csv"
    try:
        os.makedirs(out, exist_ok=True)
    except OSError as e:
        raise OutputError(f"create {out}: {e.strerror or e}") from None
    return {name: (os.path.join(out, name + EXTENSIONS[fmt]), fmt) for name in names}


class _OrderedWriter:
    """Writes finished models in input order, on whichever worker finishes the model next in line.

    A worker never waits for its turn: it leaves its tables here and goes on to the next model,
    and whoever completes the head of the line writes every model that is ready from there. The
    writing (Parquet encoding, CSV text) is thus spread over the N threads instead of queueing
    behind one writer. `admit` holds the dispatcher back while too much waits to be written.
    """

    def __init__(self, writers: Dict[str, TableWriter], report: BatchReport, bar: Progress, total: int,
                 max_models: int, max_bytes: int):
        self.writers = writers
        self.report = report
        self.bar = bar
        self.total = total
        self.max_models = max_models
        self.max_bytes = max_bytes
        self.cond = threading.Condition()
        self.ready: Dict[int, Tuple[str, object]] = {}
        self.sizes: Dict[int, int] = {}
        self.next = 0
        self.writing = False
        self.in_flight_bytes = 0
        self.error: Optional[BaseException] = None

    def admit(self, index: int, size: int) -> bool:
        """Waits until model `index` may start; False once the batch has been stopped."""
        with self.cond:
            self.cond.wait_for(lambda: self.error is not None or not self.sizes or (
                len(self.sizes) < self.max_models and self.in_flight_bytes + size <= self.max_bytes))
            if self.error is not None:
                return False
            self.sizes[index] = size
            self.in_flight_bytes += size
            return True

    def stop(self, error: BaseException) -> None:
        with self.cond:
            if self.error is None:
                self.error = error
            self.cond.notify_all()

    def wait_all(self) -> None:
        with self.cond:
            self.cond.wait_for(lambda: self.error is not None or self.next == self.total)

    def finish(self, index: int, path: str, outcome: object) -> None:
        """Called by a worker with the tables of model `index`, or the exception it raised."""
        with self.cond:
            self.ready[index] = (path, outcome)
            if self.writing or self.error is not None:
                return
            self.writing = True
        while True:
            with self.cond:
                item = self.ready.pop(self.next, None) if self.error is None else None
                if item is None:
                    self.writing = False
                    self.cond.notify_all()
                    return
            try:
                self._emit(*item)
            except BaseException as e:  # cannot write: the whole batch stops
                self.stop(e)
                with self.cond:
                    self.writing = False
                return
            with self.cond:
                self.in_flight_bytes -= self.sizes.pop(self.next)
                self.next += 1
                self.cond.notify_all()

    def _emit(self, path: str, outcome: object) -> None:
        if isinstance(outcome, BaseException):  # a model that fails is reported and skipped
            self.report.failed += 1
            self.bar.message(f"quarnel: {describe(outcome, path)}")
        else:
            self.report.models += 1
            for name, columns in outcome.items():  # type: ignore[attr-defined]
                self.writers[name].write(columns)
                self.report.rows[name] = self.writers[name].rows
        self.bar.advance()


# Models waiting to be written hold their tables in memory: bound them by count, and by the size
# of their files (a table takes about as much memory as its model), one model always admitted.
MAX_MODELS_PER_THREAD = 4
MAX_BYTES_IN_FLIGHT = 1 << 30


def run_batch(paths: Sequence[str], table: str, out: str, fmt: Optional[str] = None, jobs: int = 1,
              progress: bool = False) -> BatchReport:
    """Read every model with `jobs` threads and stream the rows, in input order, to `out`.

    The threads do all the work, writing included; this thread only hands out models."""
    report = BatchReport()
    targets = output_paths(table, out, fmt)
    writers: Dict[str, TableWriter] = {}
    bar = Progress(len(paths), progress)
    try:
        for name, (path, f) in targets.items():
            writers[name] = TableWriter(path, f)
            report.outputs[name] = path
            report.rows[name] = 0
        formats = {name: f for name, (_, f) in targets.items()}
        started = time.perf_counter()
        ordered = _OrderedWriter(writers, report, bar, len(paths), MAX_MODELS_PER_THREAD * jobs + 4,
                                 MAX_BYTES_IN_FLIGHT)

        def task(index: int, path: str) -> None:
            outcome: object = None
            if ordered.error is None:
                try:
                    outcome = load(path, table, formats)
                except Exception as e:
                    outcome = e
            ordered.finish(index, path, outcome)

        pool = ThreadPoolExecutor(max_workers=jobs)
        try:
            for index, path in enumerate(paths):
                if not ordered.admit(index, file_size(path)):
                    break
                pool.submit(task, index, path)
            ordered.wait_all()
        except BaseException as e:
            # Interrupted: drop the models not yet started, let the running ones end.
            ordered.stop(e)
            pool.shutdown(wait=True, cancel_futures=True)
            raise
        pool.shutdown(wait=True)
        if ordered.error is not None:
            raise ordered.error
    finally:
        bar.close()
        for writer in writers.values():
            writer.close()
    report.seconds = time.perf_counter() - started
    return report


def file_size(path: str) -> int:
    try:
        return os.stat(path).st_size
    except OSError:
        return 0


def describe(error: BaseException, path: str) -> str:
    """One line for a model that could not be read."""
    text = str(error)
    if isinstance(error, OSError) and text:
        return text  # the native message already names the operation and the path
    return f"{path}: {type(error).__name__}: {text}" if text else f"{path}: {type(error).__name__}"
