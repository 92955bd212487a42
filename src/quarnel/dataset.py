"""Fleets of models: models in groups of a few MB, their tables with a column naming the model,
and a Hive-partitioned Parquet dataset of them.

The pieces here are shared by `quarnel batch --dataset` (threads on one machine) and
`quarnel.dask` (tasks on a cluster): a group of models is the unit of work and of output.
Paths may be local files, folders and glob patterns, or URLs of any filesystem Dask reads
(``s3://bucket/models/``, ``zip://*.ifc::portfolio.zip``). The engine maps files, so a remote
model is first copied to the local temporary folder (``TMPDIR``) of whoever reads it, and
removed afterwards.
"""

from __future__ import annotations

import os
import shutil
import tempfile
import threading
import time
from concurrent.futures import ThreadPoolExecutor
from typing import Dict, List, Optional, Sequence, Tuple

import pyarrow as pa
import pyarrow.parquet as pq

from quarnel.registry import table as lookup, table_names
from quarnel.runs import STEP_MAGIC, ModelError, Progress, Report, check_model, expand_paths, model_size, \
    one_line, source_column, with_source
from quarnel.tables import require
from quarnel.writers import OutputError, beside, remove, replace_folder

# A group closes once its files reach this size: enough rows per partition and per Parquet file
# that per-task and per-file overheads vanish, small enough to spread a portfolio over workers.
GROUP_BYTES = 8 << 20

Group = Tuple[str, ...]


def is_remote(path: str) -> bool:
    if "::" in path:
        return True
    protocol, sep, _ = path.partition("://")
    return bool(sep) and protocol not in ("file", "local")


def _local(path: str) -> str:
    return path[len("file://"):] if path.startswith("file://") else path


# -- planning: paths to models to groups, without reading any model -----------------------------

def expand(paths, storage_options: Optional[dict] = None) -> Tuple[List[Tuple[str, Optional[int]]], List[str]]:
    """Models (path, size in bytes or None when unknown) in the order given, and the patterns
    that matched nothing. Local arguments expand as in `quarnel batch`; URLs through their filesystem."""
    if isinstance(paths, (str, os.PathLike)):
        paths = [paths]
    paths = [os.fsdecode(p) if isinstance(p, os.PathLike) else p for p in paths]
    models: List[Tuple[str, Optional[int]]] = []
    unmatched: List[str] = []
    local: List[str] = []

    def flush_local() -> None:
        found, missing = expand_paths(local)
        unmatched.extend(missing)
        models.extend((p, model_size(p)) for p in found)
        local.clear()

    for path in paths:
        if is_remote(path):
            flush_local()
            found = _expand_remote(path, storage_options or {})
            if not found:
                unmatched.append(path)
            models.extend(found)
        else:
            local.append(_local(path))
    flush_local()
    seen = set()
    unique = []
    for path, size in models:
        if path not in seen:
            seen.add(path)
            unique.append((path, size))
    return unique, unmatched


def _expand_remote(url: str, storage_options: dict) -> List[Tuple[str, Optional[int]]]:
    fsspec = require("fsspec", "dask", "reading models from URLs")
    head, sep, chain = url.partition("::")
    suffix = sep + chain

    fs, path = fsspec.core.url_to_fs(url, **storage_options)

    def name(p: str) -> str:
        return fs.unstrip_protocol(p) + suffix

    def ifc_files(listing: dict) -> List[Tuple[str, Optional[int]]]:
        return [(name(p), info.get("size")) for p, info in sorted(listing.items())
                if info.get("type") != "directory" and p.lower().endswith(".ifc")]

    if any(c in path for c in "*?["):
        found = []
        for p, info in sorted(fs.glob(path, detail=True).items()):
            if info.get("type") == "directory":
                found.extend(ifc_files(fs.find(p, detail=True)))
            else:
                found.append((name(p), info.get("size")))
        return found
    try:
        if fs.isdir(path):
            return ifc_files(fs.find(path, detail=True))
    except OSError:
        pass
    try:
        size = fs.size(path)
    except (OSError, ValueError):
        size = 0  # missing: its read fails and is reported
    return [(url, size)]


def group_models(models: Sequence[Tuple[str, Optional[int]]], group_bytes: int = GROUP_BYTES) -> List[Group]:
    """Consecutive models in groups that close once they reach `group_bytes`; a model of unknown
    size stands alone."""
    groups: List[Group] = []
    current: List[str] = []
    size = 0
    for path, n in models:
        current.append(path)
        size += group_bytes if n is None else n
        if size >= group_bytes:
            groups.append(tuple(current))
            current, size = [], 0
    if current:
        groups.append(tuple(current))
    return groups


# -- reading: one group of models into tables --------------------------------------------------

def _remote_open_error(url: str, storage_options: dict) -> Optional[str]:
    import fsspec

    try:
        with fsspec.open(url, "rb", **storage_options) as f:
            head = f.read(256)
    except Exception as e:
        return one_line(e, url)
    if not head.lstrip(b"\xef\xbb\xbf \t\r\n").startswith(STEP_MAGIC):
        return f"{url}: not an IFC file (no ISO-10303-21 header)"
    return None


def open_error(path: str, storage_options: Optional[dict] = None) -> Optional[str]:
    """The one-line reason a model cannot be read, or None. A remote model shows only its first
    bytes; a local one is checked as every read checks it."""
    if is_remote(path):
        return _remote_open_error(path, storage_options or {})
    try:
        check_model(_local(path), path)
    except ModelError as e:
        return str(e)
    return None


class _Localized:
    """A local path for a model: the path itself, or a temporary copy of a remote one."""

    def __init__(self, path: str, storage_options: dict):
        self.path = path
        self.storage_options = storage_options
        self.folder: Optional[str] = None

    def __enter__(self) -> str:
        if not is_remote(self.path):
            return _local(self.path)
        import fsspec

        self.folder = tempfile.mkdtemp(prefix="quarnel-")
        local = os.path.join(self.folder, "model.ifc")
        with fsspec.open(self.path, "rb", **self.storage_options) as src, open(local, "wb") as dst:
            shutil.copyfileobj(src, dst, 1 << 20)
        return local

    def __exit__(self, *exc) -> None:
        if self.folder is not None:
            shutil.rmtree(self.folder, ignore_errors=True)


def _read_model(local: str, names: Sequence[str], columns: Optional[Sequence[str]]):
    import quarnel

    if len(names) == 1:
        name = names[0]
        wanted = None
        if columns is not None:
            wanted = list(columns) or [lookup(name).column_names[0]]  # rows are counted on one column
        return {name: quarnel.read_table(local, name, wanted)}
    return quarnel.read_tables(local, names)


def group_schema(name: str, columns: Optional[Sequence[str]] = None):
    """The schema of a table read through groups: the source column first, then the columns."""
    import quarnel

    schema = quarnel.table_schema(name)
    src = source_column(schema.names)
    fields = [pa.field(src, pa.dictionary(pa.int32(), pa.string()))] + list(schema)
    if columns is not None:
        by_name = {f.name: f for f in fields}
        fields = [by_name[c] for c in columns]
    return pa.schema(fields)


def read_group(group: Group, tables: Sequence[str], columns: Optional[Sequence[str]] = None,
               storage_options: Optional[dict] = None):
    """Read the models of a group: ({table: pyarrow.Table with the source column}, [(path, error)],
    [warnings]). A model that cannot be read leaves the tables and adds one error row; a model
    cut short gives what it holds and a warning; nothing raises. `columns` (one table only)
    lists the columns wanted, the source column among them or not."""
    names = list(tables)
    wanted = None
    if columns is not None:
        src = source_column(lookup(names[0]).column_names)
        wanted = [c for c in columns if c != src]
    parts: Dict[str, list] = {name: [] for name in names}
    errors: List[Tuple[str, str]] = []
    warnings: List[str] = []
    for path in group:
        try:
            with _Localized(path, storage_options or {}) as local:
                warning = check_model(local, path)
                read = _read_model(local, names, wanted)
        except Exception as e:
            errors.append((path, one_line(e, path)))
            continue
        if warning:
            warnings.append(warning)
        for name in names:
            parts[name].append(with_source(read[name], path, source_column(lookup(name).column_names)))
    out = {}
    for name in names:
        schema = group_schema(name)
        if columns is not None:
            schema = group_schema(name, columns)
            parts[name] = [t.select(list(columns)) for t in parts[name]]
        out[name] = pa.concat_tables(parts[name]) if parts[name] else schema.empty_table()
    return out, errors, warnings


# -- the dataset: one folder per table, one Parquet file per group -----------------------------

def table_folder(out: str, name: str) -> str:
    return os.path.join(out, f"table={name}")


def write_group(index: int, group: Group, folders: Dict[str, str], storage_options: Optional[dict] = None):
    """Read one group and write its Parquet file in the folder of each table (none for no rows).
    Returns ({table: rows}, [(path, error)], [warnings])."""
    tables, errors, warnings = read_group(group, list(folders), storage_options=storage_options)
    rows = {}
    for name, table in tables.items():
        rows[name] = table.num_rows
        if table.num_rows:
            pq.write_table(table, os.path.join(folders[name], f"part-{index:06d}.parquet"))
    return rows, errors, warnings


def write_dataset(paths, out: str, tables="all", jobs: int = 1, storage_options: Optional[dict] = None,
                  group_bytes: int = GROUP_BYTES, progress: Optional[Progress] = None) -> Report:
    """Write the tables of many models as a Hive-partitioned Parquet dataset under `out`:
    ``out/table=psets/part-000000.parquet`` and so on, one file per group of models in each
    table's folder, every row with its model in the source column. `jobs` threads read and write
    groups at once. `tables`: "all" (see registry.ALL_TABLES), a name or a list of names.

    Each table's folder is built under a temporary name beside it and takes the place of the old
    one only when every group is written: a run that fails, is interrupted or reads no model
    leaves the previous dataset as it was. The folders of tables not written stay."""
    names = table_names(tables)
    models, unmatched = expand(paths, storage_options)
    groups = group_models(models, group_bytes)
    report = Report()
    report.errors.extend((p, f"no models match {p}") for p in unmatched)
    report.failed = len(unmatched)
    report.rows = {name: 0 for name in names}
    report.outputs = {name: table_folder(out, name) for name in names}
    folders: Dict[str, str] = {}
    lock = threading.Lock()
    started = time.perf_counter()

    def task(index: int, group: Group) -> None:
        rows, errors, warnings = write_group(index, group, folders, storage_options)
        with lock:
            for name, n in rows.items():
                report.rows[name] += n
            report.errors.extend(errors)
            report.failed += len(errors)
            report.models += len(group) - len(errors)
            if progress is not None:
                for text in [why for _, why in errors] + [f"warning: {w}" for w in warnings]:
                    progress.message(f"quarnel: {text}")
                progress.advance(len(group))

    try:
        try:
            os.makedirs(out, exist_ok=True)
            for name in names:
                folders[name] = beside(table_folder(out, name))
                os.mkdir(folders[name])
        except OSError as e:
            raise OutputError(f"create {out}: {e.strerror or e}") from None
        pool = ThreadPoolExecutor(max_workers=max(1, jobs))
        try:
            for future in [pool.submit(task, i, g) for i, g in enumerate(groups)]:
                future.result()
        except BaseException:
            # A file that cannot be written, or an interrupt: drop the groups not yet started.
            pool.shutdown(wait=True, cancel_futures=True)
            raise
        pool.shutdown(wait=True)
        for name in names:
            # A table without rows still gets one file: readers need a schema to read zero rows.
            if not report.rows[name]:
                pq.write_table(group_schema(name).empty_table(), os.path.join(folders[name], "part-000000.parquet"))
        for name in names:
            if report.models:  # no model read: the previous tables stay
                replace_folder(folders.pop(name), table_folder(out, name))
    finally:
        for folder in folders.values():
            remove(folder)
    report.seconds = time.perf_counter() - started
    return report


def run_batch(paths: Sequence[str], table: str, out: str, jobs: int = 1, progress: bool = False) -> Report:
    """`quarnel batch --dataset`: the dataset of `paths` under `out`, with a progress bar and one
    line per failed model on stderr, as batch runs do."""
    bar = Progress(len(paths), progress)
    try:
        return write_dataset(paths, out, table, jobs, progress=bar)
    finally:
        bar.close()
