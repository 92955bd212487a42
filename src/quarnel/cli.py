"""The `quarnel` command: summaries, tables and drift checks of IFC models from the shell."""

import argparse
import json
import math
import os
import sys
import time
from typing import Dict, List, Optional, Sequence

import quarnel
from quarnel import batch as batch_mod
from quarnel.console import ms_text, render_table, size_text, unit_of, unit_text
from quarnel.tables import EXTRACT_ALL_TABLES, Columns, MissingDependency, table_columns
from quarnel.writers import EXTENSIONS, FORMAT_NAMES, OutputError, format_of, write_table

PROG = "quarnel"

TABLE_COMMANDS = {
    "psets": ("extract_psets", "property sets: one row per single-value property of an object"),
    "quantities": ("extract_quantities", "element quantities: one row per quantity of an object"),
    "materials": ("extract_materials", "materials: one row per material, list entry or layer of an object"),
    "classifications": ("extract_classifications", "classification references: one row per reference"),
}
SEVERITIES = ("ok", "warn", "error")


class UserError(Exception):
    """A mistake in what was asked for: reported in one line, no traceback."""


def storey_summary(index) -> List[dict]:
    storeys = index["storeys"]
    contained: Dict[int, int] = {}
    for structure in index["contained_in"]["structure"]:
        contained[structure] = contained.get(structure, 0) + 1
    rows = [
        {"step_id": sid, "guid": guid, "name": name, "elevation": elevation, "products": contained.get(sid, 0)}
        for sid, guid, name, elevation in zip(storeys["step_id"], storeys["guid"], storeys["name"],
                                              storeys["elevation"])
    ]
    rows.sort(key=lambda r: (r["elevation"] is None, r["elevation"] if r["elevation"] is not None else 0.0))
    return rows


def cmd_info(args) -> int:
    started = time.perf_counter()
    index = quarnel.index_ifc(args.model)
    wall_ms = (time.perf_counter() - started) * 1000.0
    storeys = storey_summary(index)
    counts = sorted(index["type_counts"].items(), key=lambda kv: (-kv[1], kv[0]))
    product_total = len(index["products"]["step_id"])
    if args.json:
        summary = {
            "path": args.model,
            "schema": index["schema"],
            "project_name": index["project_name"],
            "authoring_app": index["authoring_app"],
            "unit_scale": index["unit_scale"],
            "size_bytes": index["size_bytes"],
            "time_ms": wall_ms,
            "products": product_total,
            "type_counts": dict(counts),
            "storeys": storeys,
            "projects": len(index["projects"]["step_id"]),
            "sites": len(index["sites"]["step_id"]),
            "buildings": len(index["buildings"]["step_id"]),
            "spaces": len(index["spaces"]["step_id"]),
        }
        print(json.dumps(summary, indent=2, ensure_ascii=False))
        return 0

    unit = unit_of(index["unit_scale"])
    structure = ", ".join(
        f"{n} {word if n == 1 else plural}"
        for n, word, plural in (
            (len(index["projects"]["step_id"]), "project", "projects"),
            (len(index["sites"]["step_id"]), "site", "sites"),
            (len(index["buildings"]["step_id"]), "building", "buildings"),
            (len(storeys), "storey", "storeys"),
            (len(index["spaces"]["step_id"]), "space", "spaces"),
        )
    )
    facts = [
        ("schema", index["schema"] or "not given"),
        ("project", index["project_name"] or "not given"),
        ("application", index["authoring_app"] or "not given"),
        ("length unit", unit_text(index["unit_scale"])),
        ("file size", size_text(index["size_bytes"])),
        ("indexed in", f"{ms_text(wall_ms)} (open {ms_text(index['open_ms'])}, "
                       f"index {ms_text(index['index_ms'])}, marshal {ms_text(index['marshal_ms'])})"),
        ("structure", structure),
        ("products", f"{product_total:,} of {len(counts)} types"),
    ]
    out = [args.model]
    out += [f"  {label:<12} {value}" for label, value in facts]
    if counts:
        out += ["", "Products by type"]
        width = max(len(name) for name, _ in counts)
        out += [f"  {name:<{width}}  {count:>7,}" for name, count in counts]
    if storeys:
        out += ["", "Storeys"]
        elevation_title = f"elevation ({unit[1]})" if unit else "elevation"
        columns = {
            "name": [s["name"] for s in storeys],
            "elevation": [s["elevation"] for s in storeys],
            "products": [s["products"] for s in storeys],
        }
        out += ["  " + line for line in render_table(
            columns, range(len(storeys)), headers=["name", elevation_title, "products"])]
    print("\n".join(out))
    return 0


def write_or_preview(args, result, columns, label: str) -> None:
    if args.output:
        fmt = format_of(args.output, args.format)
        rows = write_table(args.output, columns, fmt)
        if args.output != "-":
            note(f"{label}: wrote {rows:,} rows × {len(columns)} columns to {args.output}")
        return
    preview(columns, args.rows, f"{label}: {args.model}", result)


def preview(columns, limit: int, title: str, result=None) -> None:
    total = len(next(iter(columns.values()))) if columns else 0
    shown = total if limit <= 0 else min(limit, total)
    took = ""
    if result is not None:
        ms = result.get("total_ms")
        if ms is None:
            ms = sum(v for k, v in result.items() if k.endswith("_ms") and isinstance(v, float))
        took = f" in {ms_text(ms)}"
    print(f"{title}: {total:,} rows × {len(columns)} columns{took}")
    print("\n".join(render_table(columns, range(shown))))
    if shown < total:
        print(f"… {total - shown:,} more rows (write them all with -o FILE.csv, .parquet or .jsonl)")


def cmd_table(args) -> int:
    function, _ = TABLE_COMMANDS[args.command]
    result = getattr(quarnel, function)(args.model)
    write_or_preview(args, result, table_columns(result), args.command)
    return 0


def cmd_extract(args) -> int:
    fmt = args.format or "csv"
    result = quarnel.extract_all(args.model)
    try:
        os.makedirs(args.output, exist_ok=True)
    except OSError as e:
        raise OutputError(f"create {args.output}: {e.strerror or e}") from None
    lines = []
    for name in EXTRACT_ALL_TABLES:
        path = os.path.join(args.output, name + EXTENSIONS[fmt])
        rows = write_table(path, table_columns(result, name), fmt)
        lines.append((name, rows, path))
    print(f"extract: {args.model} in {ms_text(result['total_ms'])}")
    for name, rows, path in lines:
        print(f"  {name:<16} {rows:>9,} rows  {path}")
    return 0


def cmd_element_table(args) -> int:
    started = time.perf_counter()
    table = quarnel.read_table(args.model, args.command)
    took = (time.perf_counter() - started) * 1000.0
    if args.output:
        from quarnel.wide import write_arrow_table

        write_arrow_table(table, args.output)
        note(f"{args.command}: wrote {table.num_rows:,} rows × {table.num_columns} columns to {args.output}")
        return 0
    shown = table.num_rows if args.rows <= 0 else min(args.rows, table.num_rows)
    print(f"{args.command}: {args.model}: {table.num_rows:,} rows × {table.num_columns} columns in {ms_text(took)}")
    print("\n".join(render_table(table.slice(0, shown).to_pydict(), range(shown))))
    if shown < table.num_rows:
        print(f"… {table.num_rows - shown:,} more rows (write them all with -o FILE.csv, .parquet, .jsonl or .xlsx)")
    return 0


def cmd_wide(args) -> int:
    from quarnel.wide import write_arrow_table

    table = quarnel.wide(args.model, entity=args.entity)
    write_arrow_table(table, args.output)
    note(f"wide: wrote {table.num_rows:,} elements × {table.num_columns - 3:,} properties to {args.output}")
    return 0


def parse_severities(text: Optional[str]) -> Optional[List[str]]:
    if not text:
        return None
    chosen = [s.strip().lower() for s in text.split(",") if s.strip()]
    wrong = [s for s in chosen if s not in SEVERITIES]
    if wrong or not chosen:
        raise argparse.ArgumentTypeError(f"severities are ok, warn and error (comma-separated), not {text!r}")
    return chosen


def ratio_order(ratio: float) -> float:
    return math.inf if ratio != ratio else ratio  # a ratio that is not a number is the worst


def cmd_drift(args) -> int:
    result = quarnel.analyse_drift(args.model)
    severities = result["drift_severity"]
    index = quarnel.index_ifc(args.model)
    products = index["products"]
    names = {g: n for g, n in zip(products["guid"], products["name"]) if n}
    unit = unit_of(index["unit_scale"])
    symbol = unit[1] if unit else None

    report = sys.stdout
    if args.output:
        written = write_table(args.output, table_columns(result), args.format)
        if args.output == "-":
            report = sys.stderr  # the table has standard output to itself
        else:
            note(f"drift: wrote {written:,} rows to {args.output}")

    def say(text: str = "") -> None:
        print(text, file=report)

    total = len(severities)
    say(f"drift: {args.model}: {total:,} products meshed in {ms_text(result['total_ms'])}")
    for severity, count in zip(SEVERITIES, (result["drift_ok"], result["drift_warn"], result["drift_error"])):
        share = f"{100.0 * count / total:5.1f} %" if total else ""
        say(f"  {severity:<6} {count:>7,}  {share}")

    listed = set(args.only or ("warn", "error"))
    rows = [i for i, s in enumerate(severities) if s in listed]
    rows.sort(key=lambda i: -ratio_order(result["drift_ratio"][i]))
    if rows:
        top = rows if args.top <= 0 else rows[: args.top]
        unit_suffix = f" ({symbol})" if symbol else ""
        columns: Columns = {
            "severity": [severities[i] for i in top],
            "entity": [result["entity"][i] for i in top],
            "name": [names.get(result["guid"][i]) for i in top],
            "guid": [result["guid"][i] for i in top],
            "drift_distance": [result["drift_distance"][i] for i in top],
            "max_extent": [result["max_extent"][i] for i in top],
            "drift_ratio": [round(result["drift_ratio"][i], 2) for i in top],
        }
        say()
        say("Worst products by drift ratio (distance from placement to mesh centre / largest extent):")
        say("\n".join(render_table(columns, range(len(top)), headers=[
            "severity", "entity", "name", "guid", "distance" + unit_suffix, "extent" + unit_suffix, "ratio"])))
        if len(top) < len(rows):
            say(f"… {len(rows) - len(top):,} more (--top 0 lists all)")
    else:
        say(f"\nno products with severity {', '.join(s for s in SEVERITIES if s in listed)}")

    if args.plot:
        from quarnel.plot import plot_drift

        counts = ", ".join(f"{n} {s}" for s, n in zip(
            SEVERITIES, (result["drift_ok"], result["drift_warn"], result["drift_error"])))
        drawn = plot_drift(result, args.plot, title=f"Drift, plan view: {os.path.basename(args.model)} ({counts})",
                           only=args.only, names=names, unit=symbol)
        note(f"drift: plotted {drawn:,} products to {args.plot}")

    if args.fail_on:
        worst = {"warn": ("warn", "error"), "error": ("error",)}[args.fail_on]
        if any(s in worst for s in severities):
            return 1
    return 0


def cmd_batch(args) -> int:
    paths, unmatched = batch_mod.expand_paths(args.paths)
    for pattern in unmatched:
        error(f"no models match {pattern}")
    if not paths:
        raise UserError("batch: no models to read")
    if args.table != "all" and args.format is None:
        format_of(args.output)  # an output without a known extension is a mistake: say so first
    jobs = args.jobs if args.jobs > 0 else (os.cpu_count() or 1)
    show_progress = not args.quiet and not args.no_progress and sys.stderr.isatty()
    report = batch_mod.run_batch(paths, args.table, args.output, args.format, jobs, show_progress)
    failed = report.failed + len(unmatched)
    if not args.quiet:
        rate = report.models / report.seconds if report.seconds > 0 else 0.0
        rows = ", ".join(f"{n:,} {name} rows" for name, n in report.rows.items())
        outputs = args.output if len(report.outputs) == 1 else f"{args.output}{os.sep}"
        note(f"batch: {report.models:,} of {len(paths) + len(unmatched):,} models read, {failed:,} failed; "
             f"{rows} to {outputs} in {report.seconds:.2f} s ({rate:.1f} models/s, {jobs} threads)")
    return 1 if failed else 0


def note(text: str) -> None:
    print(text, file=sys.stderr)


def error(text: str) -> None:
    print(f"{PROG}: {text}", file=sys.stderr)


def add_output_options(p, what: str) -> None:
    p.add_argument("-o", "--output", metavar="OUT",
                   help=f"write the whole {what} to OUT instead of previewing it; the format follows the "
                        "extension (.csv, .parquet, .jsonl); '-' writes CSV to standard output")
    p.add_argument("--format", choices=FORMAT_NAMES, help="output format, whatever the extension of OUT")


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog=PROG,
        description="Fast summaries, tables and geometry checks of IFC building models.",
        epilog="Run 'quarnel COMMAND --help' for the options of one command.",
    )
    parser.add_argument("--version", action="version", version=f"%(prog)s {quarnel.__version__}")
    sub = parser.add_subparsers(dest="command", metavar="COMMAND")

    p = sub.add_parser("info", help="summary of a model: schema, units, products per type, storeys",
                       description="A readable summary of one model: schema, project, authoring application, "
                                   "length unit, file size, time taken, products per type and the storeys "
                                   "with their elevations and the number of products each contains.")
    p.add_argument("model", metavar="MODEL", help="IFC file (.ifc, STEP clear text)")
    p.add_argument("--json", action="store_true", help="print the summary as JSON")
    p.set_defaults(run=cmd_info)

    for name, (function, text) in TABLE_COMMANDS.items():
        p = sub.add_parser(name, help=text.split(":")[0] + " table",
                           description=f"The {text}, keyed by the object's GlobalId. Without -o, the first "
                                       "rows are shown on the terminal.")
        p.add_argument("model", metavar="MODEL", help="IFC file")
        add_output_options(p, "table")
        p.add_argument("-n", "--rows", type=int, default=20, metavar="N",
                       help="rows to preview (default 20, 0 for all)")
        p.set_defaults(run=cmd_table)

    for name, text in (("properties", "every property of every object, those of its type included, one row "
                                      "per value"),
                       ("elements", "one row per product: its type, storey, building and site")):
        p = sub.add_parser(name, help=text.split(",")[0].split(":")[0], description=text.capitalize() + ".")
        p.add_argument("model", metavar="MODEL", help="IFC file")
        p.add_argument("-o", "--output", metavar="OUT",
                       help="write the whole table to OUT (.csv, .parquet, .jsonl, .xlsx) instead of previewing it")
        p.add_argument("-n", "--rows", type=int, default=20, metavar="N", help="rows to preview (default 20, 0 for all)")
        p.set_defaults(run=cmd_element_table)

    p = sub.add_parser("wide", help="one row per element, one column per property (spreadsheets)",
                       description="One row per element, a column per Pset.Prop (values inherited from the "
                                   "type included, numbers as numbers where a column holds only numbers).")
    p.add_argument("model", metavar="MODEL", help="IFC file")
    p.add_argument("-e", "--entity", metavar="ENTITY", help="only elements of this entity, e.g. IfcWall")
    p.add_argument("-o", "--output", required=True, metavar="OUT",
                   help="output file: .xlsx (needs openpyxl), .csv, .parquet or .jsonl")
    p.set_defaults(run=cmd_wide)

    p = sub.add_parser("extract", help="write the four tables (psets, quantities, materials, classifications)",
                       description="Read a model once and write its four tables (psets, quantities, materials, "
                                   "classifications) into the folder DIR, one file each.")
    p.add_argument("model", metavar="MODEL", help="IFC file")
    p.add_argument("-o", "--output", metavar="DIR", required=True, help="folder for the four files (created)")
    p.add_argument("--format", choices=FORMAT_NAMES, help="file format (default csv)")
    p.set_defaults(run=cmd_extract)

    p = sub.add_parser("drift", help="find products whose geometry lies away from their placement",
                       description="Mesh every product and measure how far the centre of its geometry lies "
                                   "from its placement, judged against its own size: 'ok' (ratio at most 2 "
                                   "or closer than 10 model units), 'warn' (ratio up to 10) or 'error'. "
                                   "Shows the counts and the worst products.")
    p.add_argument("model", metavar="MODEL", help="IFC file")
    p.add_argument("--plot", metavar="FILE.png",
                   help="draw a plan view (x, y) of placements and mesh centres, coloured by severity "
                        "(needs matplotlib)")
    p.add_argument("--only", type=parse_severities, metavar="SEVERITIES",
                   help="severities to list and plot, comma-separated (default: warn,error listed, all plotted)")
    p.add_argument("--top", type=int, default=10, metavar="N", help="products to list (default 10, 0 for all)")
    p.add_argument("--fail-on", choices=("warn", "error"),
                   help="exit with status 1 when a product has this severity or worse (for CI)")
    add_output_options(p, "drift table")
    p.set_defaults(run=cmd_drift)

    p = sub.add_parser("batch", help="many models into one table",
                       description="Read many models on several threads into one table with a column naming "
                                   "the model of each row ('source', or 'source_file' for tables that have a "
                                   "'source' column of their own). A model that cannot be read is reported and "
                                   "skipped; the exit status is 1 when any failed.")
    p.add_argument("paths", nargs="+", metavar="PATH", help="IFC files, folders (searched for *.ifc) or globs")
    p.add_argument("--table", required=True, choices=list(batch_mod.TABLES), metavar="NAME",
                   help="psets, quantities, materials, classifications, drift, products, storeys, or all "
                        "(the four extracted tables, into the folder OUT)")
    p.add_argument("-o", "--output", required=True, metavar="OUT",
                   help="output file (.csv, .parquet, .jsonl), or a folder for --table all")
    p.add_argument("--format", choices=FORMAT_NAMES, help="output format, whatever the extension of OUT")
    p.add_argument("-j", "--jobs", type=int, default=0, metavar="N",
                   help="threads (default: one per CPU core)")
    p.add_argument("--no-progress", action="store_true", help="no progress bar")
    p.add_argument("-q", "--quiet", action="store_true", help="no progress bar and no summary line")
    p.set_defaults(run=cmd_batch)
    return parser


def main(argv: Optional[Sequence[str]] = None) -> int:
    parser = build_parser()
    args = parser.parse_args(argv)
    if not getattr(args, "run", None):
        parser.print_help(sys.stderr)
        return 2
    try:
        status = args.run(args)
        sys.stdout.flush()  # a closed pipe shows up here, not at exit
        return status
    except (OSError, OutputError, MissingDependency, UserError, NotImplementedError) as e:
        if isinstance(e, BrokenPipeError):
            return quiet_broken_pipe()
        error(str(e))
        return 1
    except KeyboardInterrupt:
        error("interrupted")
        return 130


def quiet_broken_pipe() -> int:
    # The reader went away (`quarnel psets x.ifc | head`): stop quietly, as other tools do.
    try:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
    except OSError:
        pass
    return 141


if __name__ == "__main__":
    sys.exit(main())
