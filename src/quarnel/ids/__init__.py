"""Requirement checks of IFC models against buildingSMART IDS 1.0 files, over the Arrow tables."""
from .report import Report

__all__ = ["Report", "check"]


def check(ids, model, **kwargs) -> Report:
    """Check MODEL (a path, or a list of paths) against the IDS file IDS; returns a Report."""
    from .checker import check as run
    return run(ids, model, **kwargs)
