"""quarnel: fast, memory-mapped reading of IFC building models.

Every function takes the path of an IFC file (``str`` or any ``os.PathLike``) and returns a
dict of plain Python values: tables as dicts of equal-length lists, plus timings in
milliseconds. ``to_pandas`` and ``to_arrow`` turn those tables into DataFrames and Arrow tables.
"""

import functools
import os

from quarnel import _core
from quarnel._core import __version__
from quarnel.tables import MissingDependency, table_columns, to_arrow, to_pandas


def _accepting_pathlike(native, doc):
    # The native module takes str only; paths given as pathlib objects or bytes are converted
    # here, so that error messages still name the path as the caller wrote it.
    @functools.wraps(native)
    def call(path):
        return native(path if isinstance(path, str) else os.fsdecode(os.fspath(path)))

    call.__doc__ = doc
    return call


_OPEN_ERROR = "Raises OSError when the file cannot be opened or mapped; file content never raises."

index_ifc = _accepting_pathlike(_core.index_ifc, f"""Summarise a model in one pass.

Returns schema, project name, authoring application, unit scale (metres per model length unit),
product counts per type, the products, storeys, sites, buildings, projects and spaces, the
containment and aggregation pairs, and timings. {_OPEN_ERROR}""")
extract_psets = _accepting_pathlike(_core.extract_psets, f"""Single-value properties of all property sets.

Columns guid, pset_name, prop_name, value, value_type; then timings and size_bytes. {_OPEN_ERROR}""")
extract_quantities = _accepting_pathlike(_core.extract_quantities, f"""Element quantities.

Columns guid, qto_name, quantity_name, value, quantity_type, unit_step_id; then timings and
size_bytes. {_OPEN_ERROR}""")
extract_materials = _accepting_pathlike(_core.extract_materials, f"""Material assignments, one row per material or layer.

Columns guid, role ("direct", "layer", "list", "unknown"), layer_index, material_name,
layer_thickness_mm (in the model's own length unit), category; then timings and size_bytes.
{_OPEN_ERROR}""")
extract_classifications = _accepting_pathlike(_core.extract_classifications, f"""Classification references.

Columns guid, system_name, edition, identification, name, location, source; then timings and
size_bytes. {_OPEN_ERROR}""")
extract_all = _accepting_pathlike(_core.extract_all, f"""All four extractors against one shared entity table.

Returns the tables "psets", "quantities", "materials" and "classifications" (each a dict of
columns as returned by the single extractors), then timings and size_bytes. Faster than four
separate calls on big files. {_OPEN_ERROR}""")
analyse_drift = _accepting_pathlike(_core.analyse_drift, f"""Mesh every product and measure how far its geometry lies from its placement.

One row per meshed product: guid, entity, source (representation kind), triangle_count,
surface_area, volume_abs, placement_x/y/z, centroid_x/y/z, drift_distance, max_extent,
drift_ratio, drift_severity ("ok", "warn", "error"); then the counts drift_ok, drift_warn,
drift_error, timings and size_bytes. Lengths are in the model's own unit. {_OPEN_ERROR}""")

__all__ = [
    "index_ifc",
    "extract_psets",
    "extract_quantities",
    "extract_materials",
    "extract_classifications",
    "extract_all",
    "analyse_drift",
    "to_pandas",
    "to_arrow",
    "table_columns",
    "MissingDependency",
    "__version__",
]
