"""Tables of many models as Dask DataFrames, for portfolios larger than one machine.

    import quarnel.dask
    psets = quarnel.dask.read_table("s3://portfolio/models/", "psets")
    psets.groupby("pset_name").size().compute()

One partition per model, small models grouped so that a partition holds at least a few MB, a
``source`` column (``source_file`` where the table has a ``source`` column of its own) naming
each row's model. Building a frame reads no model: the columns and types come from the table's
schema, the grouping from the file sizes. Paths are files, folders (searched for ``*.ifc``),
glob patterns, or URLs of any filesystem Dask reads; the engine maps files, so a remote model
is copied to the worker's local temporary folder (``TMPDIR``) first, and removed after its read.

A model that cannot be read gives no rows, never a failed graph; ``read_errors`` lists them.
Integers and floats are Arrow-backed (``int64[pyarrow]``, ``double[pyarrow]``: absent values
stay null), text columns are pandas strings (Arrow-backed under Dask's default settings).
"""

from __future__ import annotations

import logging
from typing import Dict, Optional, Sequence

from quarnel.dataset import GROUP_BYTES, expand, group_models, group_schema, open_error, read_group
from quarnel.registry import table as lookup, table_names
from quarnel.tables import require

log = logging.getLogger("quarnel.dask")


def _dd(purpose: str):
    return require("dask.dataframe", "dask", purpose)


def _to_pandas(table):
    import pandas as pd
    import pyarrow as pa

    # Repeating text is decoded to plain strings: pandas categoricals pick their code width per
    # partition, and partitions that disagree cannot be written to one Parquet dataset.
    for i, field in enumerate(table.schema):
        if pa.types.is_dictionary(field.type):
            table = table.set_column(i, field.name, table.column(i).cast(field.type.value_type))
    # Arrow-backed numbers keep nulls as nulls; plain NumPy ints cannot hold them.
    mapping = {pa.int64(): pd.ArrowDtype(pa.int64()), pa.float64(): pd.ArrowDtype(pa.float64())}
    return table.to_pandas(types_mapper=mapping.get, split_blocks=True, self_destruct=True)


def _meta(name: str, columns: Optional[Sequence[str]] = None):
    return _to_pandas(group_schema(name, columns).empty_table())


def _log(errors, warnings) -> None:
    # In the worker's log: a dropped model should be visible even to whoever never asks read_errors.
    for _, why in errors:
        log.warning("quarnel: skipped %s", why)
    for text in warnings:
        log.warning("quarnel: %s", text)


def _read_partition(group, table: str, storage_options=None, columns=None):
    tables, errors, warnings = read_group(group, [table], columns, storage_options)
    _log(errors, warnings)
    return _to_pandas(tables[table])


def _read_group_tables(group, tables, storage_options=None):
    tables, errors, warnings = read_group(group, tables, None, storage_options)
    _log(errors, warnings)
    return tables


def _partition_of(tables, name: str):
    return _to_pandas(tables[name])


def _probe_partition(group, storage_options=None):
    import pandas as pd

    rows = [(path, why) for path in group for why in [open_error(path, storage_options)] if why]
    return pd.DataFrame(rows, columns=["path", "error"], dtype=object).astype(str)


def _plan(paths, storage_options, group_bytes):
    models, unmatched = expand(paths, storage_options)
    return group_models(models, group_bytes), unmatched


def _empty(dd, meta):
    return dd.from_pandas(meta, npartitions=1)


def read_table(paths, table: str = "psets", columns: Optional[Sequence[str]] = None,
               storage_options: Optional[dict] = None, group_bytes: int = GROUP_BYTES):
    """One table of many models as a Dask DataFrame.

    `paths`: a path, folder, glob pattern or URL (s3://, gs://, zip://...), or a list of them.
    `columns` picks the columns read (the source column among them or not); later selections on
    the frame are pushed into the read too. `storage_options` (credentials...) go to the URLs'
    filesystem. `group_bytes`: models are grouped into one partition until their files reach
    this size."""
    dd = _dd("quarnel.dask.read_table")
    if table == "all":
        raise ValueError("read_table reads one table; read_tables(paths, 'all') gives every table")
    name = lookup(table).name
    meta = _meta(name)
    if columns is not None:
        columns = list(columns)
        for column in columns:
            if column not in meta.columns:
                raise KeyError(f"table {name!r} has no column {column!r}")
        meta = meta[columns]
    groups, _ = _plan(paths, storage_options, group_bytes)
    if not groups:
        return _empty(dd, meta)
    return dd.from_map(_read_partition, groups, table=name, storage_options=storage_options, columns=columns,
                       meta=meta, label=f"quarnel-{name}", enforce_metadata=False)


def read_tables(paths, tables="all", storage_options: Optional[dict] = None,
                group_bytes: int = GROUP_BYTES) -> Dict[str, object]:
    """Several tables of many models: {name: Dask DataFrame}, each model read once for all of
    them when they are computed together (``dask.compute(*frames.values())``) or persisted.

    `tables`: "all" (every table but drift, which meshes geometry: see registry.ALL_TABLES), a
    name or a list."""
    import dask

    dd = _dd("quarnel.dask.read_tables")
    names = table_names(tables)
    groups, _ = _plan(paths, storage_options, group_bytes)
    metas = {name: _meta(name) for name in names}
    if not groups:
        return {name: _empty(dd, meta) for name, meta in metas.items()}
    read = dask.delayed(_read_group_tables, pure=True)
    parts = [read(group, tuple(names), storage_options) for group in groups]
    pick = dask.delayed(_partition_of, pure=True)
    return {name: dd.from_delayed([pick(p, name) for p in parts], meta=metas[name], verify_meta=False)
            for name in names}


def read_errors(paths, storage_options: Optional[dict] = None, group_bytes: int = GROUP_BYTES):
    """The models of `paths` that cannot be read, as a Dask DataFrame of (path, error): one row
    per model that is missing, cannot be opened or is not an IFC file, and one per pattern that
    matched nothing. Checks only the first bytes of each model, on the workers."""
    import pandas as pd

    dd = _dd("quarnel.dask.read_errors")
    groups, unmatched = _plan(paths, storage_options, group_bytes)
    patterns = pd.DataFrame([(p, f"no models match {p}") for p in unmatched], columns=["path", "error"],
                            dtype=object).astype(str)
    if not groups:
        return dd.from_pandas(patterns, npartitions=1)
    probes = dd.from_map(_probe_partition, groups, storage_options=storage_options, meta=patterns.iloc[:0],
                         label="quarnel-errors", enforce_metadata=False)
    return dd.concat([dd.from_pandas(patterns, npartitions=1), probes]) if unmatched else probes
