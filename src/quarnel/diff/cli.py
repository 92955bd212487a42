"""`quarnel diff OLD NEW`: what changed between two revisions, on the terminal or to a file."""

from __future__ import annotations

import os
import sys
import time

from quarnel.diff.kinds import KINDS, kinds_of

OUTPUTS = (".parquet", ".pq", ".csv", ".json", ".html", ".htm")


def _kinds(text: str):
    import argparse

    try:
        return kinds_of(text)
    except ValueError as e:
        raise argparse.ArgumentTypeError(str(e)) from None


def changes(n: int) -> str:
    return f"{n:,} change{'' if n == 1 else 's'}"


def run(args) -> int:
    from quarnel.cli import UserError, error, note
    from quarnel.console import ms_text, render_table
    from quarnel.diff import diff
    from quarnel.runs import check_model

    if args.output and os.path.splitext(args.output)[1].lower() not in OUTPUTS:
        raise UserError(f"cannot tell the format of {args.output!r}: use .parquet, .csv, .json or .html")
    for path in (args.old, args.new):
        warning = check_model(path)
        if warning:
            error(f"warning: {warning}")
    started = time.perf_counter()
    only = [o.strip() for o in args.only.split(",") if o.strip()] if args.only else None
    result = diff(args.old, args.new, only=only, kinds=args.kinds, tolerance=args.tolerance)
    took = (time.perf_counter() - started) * 1000.0
    if args.output:
        result.write(args.output)
        note(f"diff: wrote {changes(len(result))} to {args.output}")
    print(f"diff: {args.old} -> {args.new}: {changes(len(result))} in {ms_text(took)}")
    for kind, count in result.summary.items():
        print(f"  {kind:<15} {count:>9,}")
    if not args.output and len(result):
        shown = result.changes.slice(0, args.rows if args.rows > 0 else len(result))
        columns = shown.select(["change", "entity", "name", "guid", "what", "old", "new", "distance"]).to_pydict()
        for side, number in (("old", "old_number"), ("new", "new_number")):
            numbers = shown.column(number).to_pylist()
            columns[side] = [t if t is not None else n for t, n in zip(columns[side], numbers)]
        print()
        print("\n".join(render_table(columns, range(shown.num_rows))))
        if shown.num_rows < len(result):
            print(f"… {len(result) - shown.num_rows:,} more (write them all with -o FILE.parquet, .csv, .json "
                  "or .html)")
    sys.stdout.flush()
    return 0


def add_parser(sub) -> None:
    p = sub.add_parser(
        "diff", help="what changed between two revisions of a model",
        description="Match the objects of two revisions by GlobalId and list every change: added, deleted, "
                    "class, attribute, property and quantity values (those inherited from the type "
                    "included, in SI units), material, classification, type, container, aggregate, "
                    "placement (moved or turned) and, when asked with --kinds geometry, geometry (meshes "
                    "both models: slower). Instance ids and owner histories are never compared: a "
                    "renumbered export shows no change. GlobalIds that several objects carry are "
                    "reported as 'duplicate' and not compared.")
    p.add_argument("old", metavar="OLD", help="the earlier IFC file")
    p.add_argument("new", metavar="NEW", help="the later IFC file")
    p.add_argument("-o", "--output", metavar="OUT",
                   help="write every change to OUT: .parquet, .csv, .json (with the summary) or .html (one "
                        "page, grouped by kind and class, searchable)")
    p.add_argument("--only", metavar="CLASSES", help="only these classes, comma-separated (IfcWall,IfcDoor)")
    p.add_argument("--kinds", type=_kinds, metavar="KINDS",
                   help=f"change kinds to compute, comma-separated, of {', '.join(KINDS)} "
                        f"(default: all but geometry)")
    p.add_argument("--tolerance", type=float, metavar="METRES",
                   help="how far a placement may move and count as unmoved (default: the models' stated "
                        "precision, at least 1e-6 m)")
    p.add_argument("-n", "--rows", type=int, default=20, metavar="N", help="changes to show (default 20, 0 for all)")
    p.set_defaults(run=run)


