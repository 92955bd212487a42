"""quarnel: fast, memory-mapped reading of IFC building models."""

from quarnel import _core
from quarnel._core import (
    __version__,
    analyse_drift,
    extract_all,
    extract_classifications,
    extract_materials,
    extract_psets,
    extract_quantities,
    index_ifc,
)

__all__ = [
    "index_ifc",
    "extract_psets",
    "extract_quantities",
    "extract_materials",
    "extract_classifications",
    "extract_all",
    "analyse_drift",
    "__version__",
]
