"""The kinds of change a diff reports, in report order."""

KINDS = ("duplicate", "added", "deleted", "class", "attribute", "property", "quantity", "material",
         "classification", "type", "container", "aggregate", "placement", "geometry")
# What a diff computes unless told: everything but geometry, which meshes both models.
DEFAULT_KINDS = tuple(k for k in KINDS if k != "geometry")


def kinds_of(kinds) -> tuple:
    """None: DEFAULT_KINDS; else names (a list, or text separated by commas), each checked."""
    if kinds is None:
        return DEFAULT_KINDS
    names = [kinds] if isinstance(kinds, str) else list(kinds)
    chosen = [k.strip() for name in names for k in name.split(",") if k.strip()]
    wrong = [k for k in chosen if k not in KINDS]
    if wrong or not chosen:
        raise ValueError(f"no change kind {', '.join(map(repr, wrong)) or 'given'}; choose among {', '.join(KINDS)}")
    return tuple(k for k in KINDS if k in chosen)
