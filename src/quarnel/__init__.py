"""quarnel: fast, memory-mapped reading of IFC building models.

Every function takes the path of an IFC file (``str`` or any ``os.PathLike``) and returns a
dict of plain Python values: tables as dicts of equal-length lists, plus timings in
milliseconds. ``to_pandas`` and ``to_arrow`` turn those tables into DataFrames and Arrow tables.
A file that cannot be opened or mapped raises ``OSError``; file content never raises.
"""

from __future__ import annotations

import os
from typing import TYPE_CHECKING, Union

from quarnel import _core, schema
from quarnel._core import __version__
from quarnel.arrow import read_table, read_tables, table_schema
from quarnel.tables import MissingDependency, table_columns, to_arrow, to_pandas
from quarnel.wide import wide
from quarnel.diff import diff  # the function: `quarnel.diff` is no longer the package once bound

if TYPE_CHECKING:
    from quarnel._core import (
        ClassificationsResult,
        DriftResult,
        ExtractAllResult,
        IndexResult,
        MaterialsResult,
        PsetsResult,
        QuantitiesResult,
    )

PathArg = Union[str, "os.PathLike[str]", "os.PathLike[bytes]"]


def _path(path: PathArg) -> str:
    # The native module takes str only. A str is passed through untouched, so that error
    # messages name the path exactly as the caller wrote it.
    if isinstance(path, str):
        return path
    if isinstance(path, os.PathLike):
        return os.fsdecode(os.fspath(path))
    raise TypeError(f"path must be str or os.PathLike, not {type(path).__name__}")


def index_ifc(path: PathArg) -> IndexResult:
    """Summarise a model in one pass.

    Schema, project name, authoring application, unit scale (metres per model length unit),
    product counts per type, the products, storeys, sites, buildings, projects and spaces, the
    containment and aggregation pairs, and timings.
    """
    return _core.index_ifc(_path(path))


def extract_psets(path: PathArg) -> PsetsResult:
    """Single-value properties of the property sets attached to objects.

    Columns guid, pset_name, prop_name, value, value_type; then timings and size_bytes.
    """
    return _core.extract_psets(_path(path))


def extract_quantities(path: PathArg) -> QuantitiesResult:
    """Element quantities attached to objects.

    Columns guid, qto_name, quantity_name, value, quantity_type, unit_step_id; then timings and
    size_bytes.
    """
    return _core.extract_quantities(_path(path))


def extract_materials(path: PathArg) -> MaterialsResult:
    """Material assignments, one row per material, list entry or layer.

    Columns guid, role ("direct", "layer", "list", "unknown"), layer_index, material_name,
    layer_thickness_mm (in the model's own length unit), category; then timings and size_bytes.
    """
    return _core.extract_materials(_path(path))


def extract_classifications(path: PathArg) -> ClassificationsResult:
    """Classification references attached to objects.

    Columns guid, system_name, edition, identification, name, location, source; then timings
    and size_bytes.
    """
    return _core.extract_classifications(_path(path))


def extract_all(path: PathArg) -> ExtractAllResult:
    """All four extractors against one shared entity table.

    The tables "psets", "quantities", "materials" and "classifications" (each as returned by
    the single extractors, without timings), then timings and size_bytes. Faster than four
    separate calls on big files.
    """
    return _core.extract_all(_path(path))


def analyse_drift(path: PathArg) -> DriftResult:
    """Mesh every product and measure how far its geometry lies from its placement.

    One row per meshed product: guid, entity, source (representation kind), triangle_count,
    surface_area, volume_abs, placement_x/y/z, centroid_x/y/z (bounding-box centre),
    drift_distance, max_extent, drift_ratio, drift_severity ("ok", "warn", "error"); then the
    counts drift_ok, drift_warn, drift_error, timings and size_bytes. Lengths are in the
    model's own unit.
    """
    return _core.analyse_drift(_path(path))


__all__ = [
    "index_ifc",
    "extract_psets",
    "extract_quantities",
    "extract_materials",
    "extract_classifications",
    "extract_all",
    "analyse_drift",
    "read_table",
    "read_tables",
    "table_schema",
    "wide",
    "schema",
    "diff",
    "to_pandas",
    "to_arrow",
    "table_columns",
    "MissingDependency",
    "__version__",
]
