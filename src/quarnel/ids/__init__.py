"""Requirement checks of IFC models against buildingSMART IDS 1.0 files, over the Arrow tables."""
from .parse import IdsError
from .report import Report

__all__ = ["IdsError", "Report", "check"]


def check(ids, model) -> Report:
    """Check MODEL (a path, or a list of paths) against IDS (a path, XML text or a parsed IDS);
    returns a Report. Raises IdsError when the IDS is rejected."""
    from .checker import check as run
    return run(ids, model)
