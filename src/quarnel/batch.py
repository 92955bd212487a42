"""Many models into one table: a pool of threads, ordered streaming output.

Models are read through the Arrow face (`read_table`, `read_tables`), which builds its tables
without the interpreter lock, and Arrow writes CSV, JSON Lines and Parquet without it too, so N
threads read and write N models at once. Results are
written in input order, with a bounded number of models held in memory, so batches larger
than memory stream through.
"""

import os
import threading
import time
from concurrent.futures import ThreadPoolExecutor
from typing import Dict, Optional, Sequence, Tuple

import pyarrow as pa

import quarnel
from quarnel.registry import TABLES, table_names
from quarnel.runs import Progress, Report, check_model, model_size, one_line, source_column, with_source
from quarnel.writers import EXTENSIONS, OutputError, TableWriter, encode, format_of

# What --table may name: any table, or "all" (ALL_TABLES, one file each into the folder OUT).
CHOICES = (*TABLES, "all")


def load(path: str, names: Sequence[str], formats: Dict[str, str]) -> Tuple[Dict[str, object], Optional[str]]:
    """The tables of one model, each with the model path as first column, encoded for the writer
    of its format, and the warning its check gave. Runs on a worker thread."""
    warning = check_model(path)
    read = quarnel.read_tables(path, list(names))
    return {name: encode(formats[name], with_source(read[name], path)) for name in names}, warning


def output_paths(table: str, out: str, fmt: Optional[str]) -> Dict[str, Tuple[str, str]]:
    """Table name -> (file path, format). A single table goes to `out`; several go into the
    folder `out`, one file each."""
    names = table_names(table)
    if table != "all":
        return {names[0]: (out, format_of(out, fmt))}
    fmt = fmt or "csv"
    try:
        os.makedirs(out, exist_ok=True)
    except OSError as e:
        raise OutputError(f"create {out}: {e.strerror or e}") from None
    return {name: (os.path.join(out, name + EXTENSIONS[fmt]), fmt) for name in names}


def schema_of(name: str):
    """The columns of a table as batch runs write them: the model path in front."""
    schema = quarnel.table_schema(name)
    return schema.insert(0, pa.field(source_column(schema.names), pa.dictionary(pa.int32(), pa.string())))


class _OrderedWriter:
    """Writes finished models in input order, on whichever worker finishes the model next in line.

    A worker never waits for its turn: it leaves its tables here and goes on to the next model,
    and whoever completes the head of the line writes every model that is ready from there. The
    writing (Parquet encoding, CSV text) is thus spread over the N threads instead of queueing
    behind one writer. `admit` holds the dispatcher back while too much waits to be written.
    """

    def __init__(self, writers: Dict[str, TableWriter], report: Report, bar: Progress, total: int,
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
        if isinstance(outcome, BaseException) and not isinstance(outcome, Exception):
            raise outcome
        if isinstance(outcome, BaseException):  # a model that fails is reported and skipped
            self.report.failed += 1
            self.report.errors.append((path, one_line(outcome, path)))
            self.bar.message(f"quarnel: {self.report.errors[-1][1]}")
        else:
            tables, warning = outcome  # type: ignore[misc]
            if warning:
                self.bar.message(f"quarnel: warning: {warning}")
            self.report.models += 1
            for name, columns in tables.items():
                self.writers[name].write(columns)
                self.report.rows[name] = self.writers[name].rows
        self.bar.advance()


# Models waiting to be written hold their tables in memory: bound them by count, and by the size
# of their files (a table takes about as much memory as its model), one model always admitted.
MAX_MODELS_PER_THREAD = 4
MAX_BYTES_IN_FLIGHT = 1 << 30


def run_batch(paths: Sequence[str], table: str, out: str, fmt: Optional[str] = None, jobs: int = 1,
              progress: bool = False) -> Report:
    """Read every model with `jobs` threads and stream the rows, in input order, to `out`.

    The threads do all the work, writing included; this thread only hands out models. The
    files are moved into place when every model is written: a batch that fails, is
    interrupted or reads no model leaves the previous output as it was."""
    report = Report()
    targets = output_paths(table, out, fmt)
    names = tuple(targets)
    writers: Dict[str, TableWriter] = {}
    bar = Progress(len(paths), progress)
    try:
        for name, (path, f) in targets.items():
            writers[name] = TableWriter(path, f, schema_of(name))
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
                    outcome = load(path, names, formats)
                except BaseException as e:  # an interrupt stops the batch at this model's turn
                    outcome = e
            ordered.finish(index, path, outcome)

        pool = ThreadPoolExecutor(max_workers=jobs)
        try:
            for index, path in enumerate(paths):
                if not ordered.admit(index, model_size(path)):
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
        for writer in writers.values():
            writer.close()
        for writer in writers.values():
            if report.models:  # no model read: the previous output stays
                writer.commit()
    finally:
        bar.close()
        for writer in writers.values():
            writer.discard()
    report.seconds = time.perf_counter() - started
    return report
