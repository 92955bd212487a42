"""Plain-text rendering for the terminal: tables, sizes, durations, units."""

import math
import os
import shutil
import sys
from typing import Any, List, Optional, Sequence

from quarnel.tables import Columns

NULL = "null"
MIN_WIDTH = 6
MAX_WIDTH = 40


def cell(value: Any) -> str:
    if value is None:
        return NULL
    if isinstance(value, float):
        if not math.isfinite(value):
            return str(value)
        if value != 0 and abs(value) < 0.001:
            return format(value, ".3g")
        return f"{value:.3f}".rstrip("0").rstrip(".")
    return str(value).replace("\n", " ").replace("\r", " ").replace("\t", " ")


def clip(text: str, width: int) -> str:
    return text if len(text) <= width else text[: max(width - 1, 0)] + "…"


def output_width() -> int:
    """The terminal's width; unlimited when standard output is not a terminal (unless COLUMNS
    says otherwise), so that piped previews keep every character."""
    if sys.stdout.isatty() or os.environ.get("COLUMNS"):
        return shutil.get_terminal_size((100, 24)).columns
    return 1 << 30


def render_table(columns: Columns, rows: Sequence[int], width: Optional[int] = None,
                 headers: Optional[Sequence[str]] = None) -> List[str]:
    """The given rows of a table as aligned lines, numbers right-aligned, fitted to `width`."""
    names = list(columns)
    titles = list(headers) if headers else names
    if width is None:
        width = output_width()
    texts = [[cell(columns[name][i]) for i in rows] for name in names]
    widths = [min(max([len(titles[c])] + [len(t) for t in texts[c]]), MAX_WIDTH) for c in range(len(names))]
    # Shrink the widest columns until the table fits (two spaces between columns).
    while sum(widths) + 2 * (len(widths) - 1) > width:
        widest = max(range(len(widths)), key=lambda c: widths[c])
        if widths[widest] <= MIN_WIDTH:
            break
        widths[widest] -= 1
    numeric = [
        all(isinstance(v, (int, float)) and not isinstance(v, bool) for v in (columns[name][i] for i in rows)
            if v is not None)
        for name in names
    ]

    def line(values):
        parts = []
        for c, text in enumerate(values):
            text = clip(text, widths[c])
            parts.append(text.rjust(widths[c]) if numeric[c] else text.ljust(widths[c]))
        return "  ".join(parts).rstrip()

    out = [line(titles), "  ".join("─" * w for w in widths)]
    out.extend(line([texts[c][r] for c in range(len(names))]) for r in range(len(rows)))
    return out


def size_text(size: int) -> str:
    value = float(size)
    for unit in ("bytes", "kB", "MB", "GB"):
        if value < 1000 or unit == "GB":
            return f"{size:,} bytes" if unit == "bytes" else f"{value:.1f} {unit}"
        value /= 1000
    return f"{size} bytes"


def ms_text(ms: float) -> str:
    if ms >= 1000:
        return f"{ms / 1000:.2f} s"
    if ms >= 10:
        return f"{ms:.0f} ms"
    return f"{ms:.2f} ms"


UNIT_NAMES = {
    1.0: ("metre", "m"),
    0.1: ("decimetre", "dm"),
    0.01: ("centimetre", "cm"),
    0.001: ("millimetre", "mm"),
    1e-6: ("micrometre", "µm"),
    1000.0: ("kilometre", "km"),
}


def unit_of(scale: Optional[float]):
    """(name, symbol) of a length unit given in metres per unit, or None when not a known one."""
    if scale is None:
        return None
    for known, names in UNIT_NAMES.items():
        if math.isclose(scale, known, rel_tol=1e-9):
            return names
    return None


def unit_text(scale: Optional[float]) -> str:
    if scale is None:
        return "not given"
    names = unit_of(scale)
    if names:
        return f"{names[0]} ({scale:g} m)"
    return f"{scale:g} m"
