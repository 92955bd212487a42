"""The `quarnel` command: summaries, tables and drift checks of IFC models from the shell."""

import argparse
import json
import os
import signal
import sys
import threading
import time
from typing import Dict, List, Optional, Sequence

import pyarrow as pa

import quarnel
from quarnel import batch as batch_mod
from quarnel.arrow import read_streams
from quarnel.ids import cli as ids_cli
from quarnel.diff import cli as diff_cli
from quarnel.console import ms_text, render_table, size_text, unit_of, unit_text
from quarnel.literals import number, string, strings
from quarnel.registry import DRIFT_FLOOR, ERROR_RATIO, EXTRACT_ALL_TABLES, SEVERITIES, TABLES, WARN_RATIO, at_least
from quarnel.runs import ModelError, check_model, expand_paths
from quarnel.tables import MissingDependency
from quarnel.writers import EXTENSIONS, FORMAT_NAMES, OutputError, TableWriter, format_of, write_table

PROG = "quarnel"


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


def meta(table, key: str) -> Optional[str]:
    """A scalar of the read that travels in the schema metadata, as text."""
    value = (table.schema.metadata or {}).get(key.encode())
    return None if value is None else value.decode()


def took_ms(table) -> float:
    total = meta(table, "total_ms")
    if total is not None:
        return float(total)
    return sum(float(v) for k, v in (table.schema.metadata or {}).items() if k.endswith(b"_ms"))


def wrote(args, label: str, rows: int, columns: int) -> None:
    if args.output != "-":
        note(f"{label}: wrote {rows:,} rows × {columns} columns to {args.output}")


def preview(table, limit: int, title: str, took: Optional[float] = None) -> None:
    total = table.num_rows
    shown = total if limit <= 0 else min(limit, total)
    print(f"{title}: {total:,} rows × {table.num_columns} columns in {ms_text(took_ms(table) if took is None else took)}")
    # Only the rows shown become Python values.
    print("\n".join(render_table(table.slice(0, shown).to_pydict(), range(shown))))
    if shown < total:
        print(f"… {total - shown:,} more rows (write them all with -o FILE.csv, .parquet, .jsonl or .xlsx)")


def cmd_table(args) -> int:
    name = args.table if args.command == "table" else args.command
    if args.output:
        # Written batch by batch as the stream gives them: the table is never whole in memory twice.
        stream = read_streams(args.model, [name])[name]
        wrote(args, name, write_table(args.output, stream, args.format), len(TABLES[name].columns))
    else:
        preview(quarnel.read_table(args.model, name), args.rows, f"{name}: {args.model}")
    return 0


def cmd_extract(args) -> int:
    fmt = args.format or "csv"
    tables = quarnel.read_tables(args.model, list(EXTRACT_ALL_TABLES))
    try:
        os.makedirs(args.output, exist_ok=True)
    except OSError as e:
        raise OutputError(f"create {args.output}: {e.strerror or e}") from None
    writers = []
    try:
        for name in EXTRACT_ALL_TABLES:
            writers.append(TableWriter(os.path.join(args.output, name + EXTENSIONS[fmt]), fmt, tables[name].schema))
            writers[-1].write(tables[name])
        # The four files take the place of older ones together, once all are written.
        for writer in writers:
            writer.close()
        for writer in writers:
            writer.commit()
    finally:
        for writer in writers:
            writer.discard()
    print(f"extract: {args.model} in {ms_text(took_ms(tables[EXTRACT_ALL_TABLES[0]]))}")
    for name, writer in zip(EXTRACT_ALL_TABLES, writers):
        print(f"  {name:<16} {writer.rows:>9,} rows  {writer.path}")
    return 0


def cmd_wide(args) -> int:
    started = time.perf_counter()
    table = quarnel.wide(args.model, entity=args.entity)
    if args.output:
        rows = write_table(args.output, table, args.format)
        if args.output != "-":
            note(f"wide: wrote {rows:,} elements × {table.num_columns - 3:,} properties to {args.output}")
    else:
        preview(table, args.rows, f"wide: {args.model}", (time.perf_counter() - started) * 1000.0)
    return 0


def parse_severities(text: Optional[str]) -> Optional[List[str]]:
    if not text:
        return None
    chosen = [s.strip().lower() for s in text.split(",") if s.strip()]
    wrong = [s for s in chosen if s not in SEVERITIES]
    if wrong or not chosen:
        raise argparse.ArgumentTypeError(
            f"severities are {', '.join(SEVERITIES[:-1])} and {SEVERITIES[-1]} (comma-separated), not {text!r}")
    return chosen


def severity_counts(drift) -> Dict[str, int]:
    import pyarrow.compute as pc

    counts = {s: 0 for s in SEVERITIES}
    for item in pc.value_counts(drift.column("drift_severity").cast(pa.string())).to_pylist():
        if item["values"] in counts:
            counts[item["values"]] = item["counts"]
    return counts


def worst_first(drift, listed: Sequence[str]):
    """The rows of the listed severities, largest ratio first (a ratio that is not a number is
    the worst)."""
    import pyarrow.compute as pc

    rows = drift.filter(pc.is_in(drift.column("drift_severity").cast(pa.string()), strings(list(listed))))
    ratio = rows.column("drift_ratio")
    key = pc.if_else(pc.is_nan(ratio), number(float("inf")), ratio)
    return rows.take(pc.array_sort_indices(key, order="descending"))


def cmd_drift(args) -> int:
    import pyarrow as pa
    import pyarrow.compute as pc

    read = quarnel.read_tables(args.model, ["drift", "products"])
    drift, products = read["drift"], read["products"]
    try:
        unit = unit_of(float(meta(products, "unit_scale")))
    except (TypeError, ValueError):  # the model declares no length unit
        unit = None
    symbol = unit[1] if unit else None
    counts = severity_counts(drift)

    report = sys.stdout
    if args.output:
        wrote(args, "drift", write_table(args.output, drift, args.format), drift.num_columns)
        if args.output == "-":
            report = sys.stderr  # the table has standard output to itself

    def say(text: str = "") -> None:
        print(text, file=report)

    total = drift.num_rows
    say(f"drift: {args.model}: {total:,} products meshed in {ms_text(took_ms(drift))}")
    for severity, count in counts.items():
        share = f"{100.0 * count / total:5.1f} %" if total else ""
        say(f"  {severity:<6} {count:>7,}  {share}")

    listed = args.only or ("warn", "error")
    rows = worst_first(drift, listed)
    # Products whose placement adds nothing to their container's while the shape carries the
    # location (an exporter habit) are listed apart, after the products that truly moved.
    apart = pc.equal(rows.column("placement"), string("unplaced"))
    unplaced, rows = rows.filter(apart), rows.filter(pc.invert(apart))
    top = rows if args.top <= 0 else rows.slice(0, args.top)
    top_unplaced = unplaced if args.top <= 0 else unplaced.slice(0, args.top)
    # Names only for the products shown (and plotted): not a Python object per product.
    wanted = drift.column("guid") if args.plot else pa.chunked_array(
        top.column("guid").chunks + top_unplaced.column("guid").chunks, pa.string())
    named = products.filter(pc.is_in(products.column("guid"), wanted.combine_chunks().unique()))
    names = {g: n for g, n in zip(named.column("guid").to_pylist(), named.column("name").to_pylist()) if n}
    unit_suffix = f" ({symbol})" if symbol else ""

    def listing(shown_rows, all_rows):
        values = shown_rows.select(["drift_severity", "entity", "guid", "drift_distance", "max_extent",
                                    "drift_ratio"]).to_pydict()
        columns = {
            "severity": values["drift_severity"],
            "entity": values["entity"],
            "name": [names.get(g) for g in values["guid"]],
            "guid": values["guid"],
            "drift_distance": values["drift_distance"],
            "max_extent": values["max_extent"],
            "drift_ratio": [round(r, 2) for r in values["drift_ratio"]],
        }
        say("\n".join(render_table(columns, range(shown_rows.num_rows), headers=[
            "severity", "entity", "name", "guid", "distance" + unit_suffix, "extent" + unit_suffix, "ratio"])))
        if shown_rows.num_rows < all_rows.num_rows:
            say(f"… {all_rows.num_rows - shown_rows.num_rows:,} more (--top 0 lists all)")

    if top.num_rows:
        say()
        say("Worst products by drift ratio (distance from placement to mesh centre / largest extent):")
        listing(top, rows)
    elif not unplaced.num_rows:
        say(f"\nno products with severity {', '.join(s for s in SEVERITIES if s in listed)}")
    if unplaced.num_rows:
        say()
        say(f"{unplaced.num_rows:,} placed at container origin, located by its shape:")
        listing(top_unplaced, unplaced)

    if args.plot:
        from quarnel.plot import plot_drift

        text = ", ".join(f"{n} {s}" for s, n in counts.items())
        drawn = plot_drift(drift, args.plot, title=f"Drift, plan view: {os.path.basename(args.model)} ({text})",
                           only=args.only, names=names, unit=symbol)
        note(f"drift: plotted {drawn:,} products to {args.plot}")

    if args.fail_on and any(counts[s] for s in at_least(args.fail_on)):
        return 1
    return 0


def cmd_batch(args) -> int:
    paths, unmatched = expand_paths(args.paths)
    for pattern in unmatched:
        error(f"no models match {pattern}")
    if not paths:
        raise UserError("batch: no models to read")
    if args.table != "all" and args.format is None and not args.dataset:
        format_of(args.output)  # an output without a known extension is a mistake: say so first
    jobs = args.jobs if args.jobs > 0 else (os.cpu_count() or 1)
    show_progress = not args.quiet and not args.no_progress and sys.stderr.isatty()
    if args.dataset:
        from quarnel import dataset
        report = dataset.run_batch(paths, args.table, args.output, jobs, show_progress)
    else:
        report = batch_mod.run_batch(paths, args.table, args.output, args.format, jobs, show_progress)
    failed = report.failed + len(unmatched)
    if not args.quiet:
        rate = report.models / report.seconds if report.seconds > 0 else 0.0
        rows = ", ".join(f"{n:,} {name} rows" for name, n in report.rows.items())
        outputs = args.output if len(report.outputs) == 1 else f"{args.output}{os.sep}"
        written = f"{rows} to {outputs}" if report.models else f"nothing written to {outputs}"
        note(f"batch: {report.models:,} of {len(paths) + len(unmatched):,} models read, {failed:,} failed; "
             f"{written} in {report.seconds:.2f} s ({rate:.1f} models/s, {jobs} threads)")
    return 1 if failed else 0


def note(text: str) -> None:
    print(text, file=sys.stderr)


def error(text: str) -> None:
    print(f"{PROG}: {text}", file=sys.stderr)


FORMAT_HELP = "output format, whatever the extension of OUT"


def add_output_options(p, what: str) -> None:
    p.add_argument("-o", "--output", metavar="OUT",
                   help=f"write the whole {what} to OUT instead of previewing it; the format follows the "
                        "extension (.csv, .parquet, .jsonl, .xlsx) or --format; '-' writes CSV to standard output")
    p.add_argument("--format", choices=FORMAT_NAMES, help=FORMAT_HELP)


def add_table_options(p, run=cmd_table) -> None:
    p.add_argument("model", metavar="MODEL", help="IFC file")
    add_output_options(p, "table")
    p.add_argument("-n", "--rows", type=int, default=20, metavar="N", help="rows to preview (default 20, 0 for all)")
    p.set_defaults(run=run)


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

    for name in EXTRACT_ALL_TABLES:
        about = TABLES[name].about
        p = sub.add_parser(name, help=about.split(":")[0] + " table",
                           description=f"The {about}, keyed by the object's GlobalId. Without -o, the first "
                                       "rows are shown on the terminal.")
        add_table_options(p)

    p = sub.add_parser("table", help="any table of a model by name: products, storeys, drift, ...",
                       description="One table of a model by name: "
                                   + "; ".join(f"'{t.name}', {t.about.split(': ', 1)[-1]}" for t in TABLES.values())
                                   + ". Without -o, the first rows are shown on the terminal.")
    p.add_argument("table", metavar="NAME", choices=list(TABLES), help=", ".join(TABLES))
    add_table_options(p)

    for name, text in (("properties", "every property of every object, those of its type included, one row "
                                      "per value"),
                       ("elements", "one row per product: its type, storey, building and site")):
        p = sub.add_parser(name, help=text.split(",")[0].split(":")[0], description=text.capitalize() + ".")
        add_table_options(p)

    p = sub.add_parser("wide", help="one row per element, one column per property (spreadsheets)",
                       description="One row per element, a column per Pset.Prop (values inherited from the "
                                   "type included, numbers as numbers where a column holds only numbers or "
                                   "nothing). .xlsx needs openpyxl.")
    p.add_argument("-e", "--entity", metavar="ENTITY", help="only elements of this entity, e.g. IfcWall")
    add_table_options(p, cmd_wide)

    p = sub.add_parser("extract", help="write the four tables (psets, quantities, materials, classifications)",
                       description="Read a model once and write its four tables (psets, quantities, materials, "
                                   "classifications) into the folder DIR, one file each.")
    p.add_argument("model", metavar="MODEL", help="IFC file")
    p.add_argument("-o", "--output", metavar="DIR", required=True, help="folder for the four files (created)")
    p.add_argument("--format", choices=FORMAT_NAMES, help="file format (default csv)")
    p.set_defaults(run=cmd_extract)

    p = sub.add_parser("drift", help="find products whose geometry lies away from their placement",
                       description="Mesh every product and measure how far the centre of its geometry lies "
                                   "from its placement, judged against its own size: "
                                   f"'ok' (ratio at most {WARN_RATIO:g} or closer than {DRIFT_FLOOR:g} mm), "
                                   f"'warn' (ratio up to {ERROR_RATIO:g}) or 'error'. "
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
    p.add_argument("--table", required=True, choices=batch_mod.CHOICES, metavar="NAME",
                   help=", ".join(TABLES) + ", or all (every table but drift, one file each into the folder OUT)")
    p.add_argument("-o", "--output", required=True, metavar="OUT",
                   help="output file (.csv, .parquet, .jsonl, .xlsx), or a folder for --table all")
    p.add_argument("--format", choices=FORMAT_NAMES, help=FORMAT_HELP + " (default csv for --table all)")
    p.add_argument("-j", "--jobs", type=int, default=0, metavar="N",
                   help="threads (default: one per CPU core)")
    p.add_argument("--dataset", action="store_true",
                   help="write a Parquet dataset into the folder OUT: OUT/table=NAME/part-*.parquet, one file "
                        "per group of models")
    p.add_argument("--no-progress", action="store_true", help="no progress bar")
    p.add_argument("-q", "--quiet", action="store_true", help="no progress bar and no summary line")
    p.set_defaults(run=cmd_batch)

    ids_cli.add_parser(sub)
    diff_cli.add_parser(sub)
    return parser


def main(argv: Optional[Sequence[str]] = None) -> int:
    parser = build_parser()
    args = parser.parse_args(argv)
    if not getattr(args, "run", None):
        parser.print_help(sys.stderr)
        return 2
    # Terminated (`timeout`, a scheduler) as when interrupted: temporary outputs are removed.
    terminated = signal.signal(signal.SIGTERM, interrupt) if threading.current_thread() is threading.main_thread() else None
    try:
        if getattr(args, "output", None) and args.command not in ("extract", "batch", "ids", "diff"):
            format_of(args.output, args.format)  # a wrong extension is said before the model is read
        if getattr(args, "model", None) is not None:
            warning = check_model(args.model)
            if warning:
                error(f"warning: {warning}")
        status = args.run(args)
        sys.stdout.flush()  # a closed pipe shows up here, not at exit
        return status
    except (OSError, OutputError, MissingDependency, UserError, ModelError) as e:
        if isinstance(e, BrokenPipeError):
            return quiet_broken_pipe()
        error(str(e))
        return 1
    except KeyboardInterrupt:
        error("interrupted")
        return 130
    finally:
        if terminated is not None:
            signal.signal(signal.SIGTERM, terminated)


def interrupt(signum, frame):
    raise KeyboardInterrupt


def quiet_broken_pipe() -> int:
    # The reader went away (`quarnel psets x.ifc | head`): stop quietly, as other tools do.
    try:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
    except OSError:
        pass
    return 141


# The command line as its own process: quarnel.launch, which does what must come before the
# imports above; kept here under its old name.
from quarnel.launch import script  # noqa: E402


if __name__ == "__main__":
    sys.exit(script())
