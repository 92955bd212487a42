"""Plan-view picture of drift: where each product is placed and where its geometry really is."""

from typing import Any, Dict, List, Mapping, Optional, Sequence, Tuple

from quarnel.registry import SEVERITIES, SEVERITY_COLOURS
from quarnel.tables import require

MAX_LABELS = 12
# The columns a plot reads from the drift table.
PLOTTED = ("guid", "entity", "drift_severity", "placement_x", "placement_y", "centroid_x", "centroid_y",
           "drift_distance", "drift_ratio")


def figure_size(result: Mapping[str, Any], shown) -> Tuple[float, float]:
    """Width and height (inches) that follow the plan's proportions, within sensible limits."""
    keep = [i for i, s in enumerate(result["drift_severity"]) if s in shown]
    xs = [result[k][i] for k in ("placement_x", "centroid_x") for i in keep]
    ys = [result[k][i] for k in ("placement_y", "centroid_y") for i in keep]
    xs = [v for v in xs if v == v]
    ys = [v for v in ys if v == v]
    if not xs or not ys:
        return 9.0, 8.0
    dx, dy = max(xs) - min(xs), max(ys) - min(ys)
    aspect = dy / dx if dx > 0 else 1.0
    return 10.0, min(max(8.5 * aspect, 3.5), 8.5) + 1.5


def plot_drift(result: Mapping[str, Any], path: str, title: str = "",
               only: Optional[Sequence[str]] = None, names: Optional[Dict[str, str]] = None,
               unit: Optional[str] = None) -> int:
    """Draw placements (rings), mesh centres (dots) and the line between them, coloured by
    severity, seen from above; write a PNG (or SVG or PDF, by extension) to `path`. `result` is
    the drift table (a pyarrow Table) or the result of analyse_drift. Returns the number of
    products drawn."""
    require("matplotlib", "plot", "--plot")
    if hasattr(result, "column_names"):
        result = result.select(list(PLOTTED)).to_pydict()
    from matplotlib.collections import LineCollection
    from matplotlib.figure import Figure
    from matplotlib.lines import Line2D

    severities = result["drift_severity"]
    shown = set(only) if only else set(SEVERITIES)
    fig = Figure(figsize=figure_size(result, shown), dpi=130, layout="constrained")
    ax = fig.add_subplot()
    drawn = 0
    labels: List[Tuple[float, int]] = []
    for severity in SEVERITIES:  # errors last, so they are drawn on top
        if severity not in shown:
            continue
        rows = [i for i, s in enumerate(severities) if s == severity]
        if not rows:
            continue
        drawn += len(rows)
        colour = SEVERITY_COLOURS[severity]
        px = [result["placement_x"][i] for i in rows]
        py = [result["placement_y"][i] for i in rows]
        cx = [result["centroid_x"][i] for i in rows]
        cy = [result["centroid_y"][i] for i in rows]
        faint = severity == "ok"
        ax.add_collection(LineCollection(
            [((a, b), (c, d)) for a, b, c, d in zip(px, py, cx, cy)],
            colors=colour, linewidths=0.8 if faint else 1.8, alpha=0.6 if faint else 0.95,
            zorder=1 if faint else 3))
        ax.scatter(px, py, s=14 if faint else 40, facecolors="none", edgecolors=colour,
                   linewidths=0.8 if faint else 1.5, zorder=2 if faint else 4)
        ax.scatter(cx, cy, s=8 if faint else 30, color=colour, zorder=2 if faint else 5)
        if not faint:
            labels.extend((result["drift_ratio"][i], i) for i in rows)
    # Name the worst offenders next to their mesh centre.
    for _, i in sorted(labels, key=lambda item: -item[0] if item[0] == item[0] else float("-inf"))[:MAX_LABELS]:
        guid = result["guid"][i]
        label = (names or {}).get(guid) or result["entity"][i]
        colour = SEVERITY_COLOURS[severities[i]]
        distance = f"{result['drift_distance'][i]:,.0f}" + (f" {unit}" if unit else "")
        ax.annotate(f"{label}\n{distance} off (×{result['drift_ratio'][i]:.1f} its size)",
                    (result["centroid_x"][i], result["centroid_y"][i]), xytext=(6, 6),
                    textcoords="offset points", fontsize=8, color=colour, zorder=6,
                    bbox=dict(boxstyle="round,pad=0.25", facecolor="white", edgecolor=colour, alpha=0.85))

    counts = {s: sum(1 for v in severities if v == s) for s in SEVERITIES}
    handles = [Line2D([], [], color=SEVERITY_COLOURS[s], marker="o", linewidth=2,
                      label=f"{s} ({counts[s]})") for s in SEVERITIES if s in shown]
    handles += [
        Line2D([], [], color="black", marker="o", markerfacecolor="none", linestyle="none", label="placement"),
        Line2D([], [], color="black", marker="o", linestyle="none", markersize=4, label="mesh centre"),
    ]
    ax.legend(handles=handles, loc="best", fontsize=9, framealpha=0.9)
    ax.set_aspect("equal", adjustable="datalim")
    ax.margins(0.08)
    ax.autoscale_view()
    ax.grid(True, color="#e5e5e5", linewidth=0.6)
    ax.set_axisbelow(True)
    suffix = f" ({unit})" if unit else ""
    ax.set_xlabel("x" + suffix)
    ax.set_ylabel("y" + suffix)
    ax.set_title(title or "Drift: placement to mesh centre, plan view", fontsize=11)
    if drawn == 0:
        ax.text(0.5, 0.5, "no products to show", transform=ax.transAxes, ha="center", va="center",
                color="#777777")
    ext = path.rsplit(".", 1)[-1].lower() if "." in path else ""
    fig.savefig(path, format=ext if ext in ("png", "svg", "pdf") else "png")
    return drawn
