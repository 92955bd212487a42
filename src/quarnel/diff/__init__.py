"""What changed between two revisions of a model, matched by GlobalId."""

from __future__ import annotations

from typing import Optional, Sequence, Union

from quarnel.diff.kinds import DEFAULT_KINDS, KINDS, kinds_of


def diff(old, new, only: Optional[Union[str, Sequence[str]]] = None,
         kinds: Optional[Union[str, Sequence[str]]] = None, tolerance: Optional[float] = None):
    """The changes from the model `old` to the model `new` (paths of IFC files).

    Objects are matched by GlobalId; instance ids and owner histories are never compared, so a
    renumbered or re-stamped export shows no change. `only`: classes to report (IfcWall also
    names its standard and elemented cases). `kinds`: the change kinds to compute, of KINDS
    (default: all but "geometry", which meshes both models). Numbers are compared in SI units
    within 1e-6 relative and the models' stated precision (at least 1e-6) absolute; placements
    within `tolerance` metres (default: that absolute tolerance).
    """
    from quarnel import _path
    from quarnel.diff.compare import compute
    from quarnel.diff.result import Diff

    old_path, new_path = _path(old), _path(new)
    kinds = kinds_of(kinds)
    if isinstance(only, str):
        only = [o.strip() for o in only.split(",") if o.strip()]
    changes, summary, _, _ = compute(old_path, new_path, only=only, kinds=kinds, tolerance=tolerance)
    return Diff(old_path, new_path, changes, summary)


__all__ = ["diff", "KINDS", "DEFAULT_KINDS"]
