"""`quarnel ids SPEC.ids MODEL ...`: check models against an IDS from the shell.

Exit status 0 when every specification passes on every model, 1 when any fails, 2 when the IDS
is rejected or a model cannot be read."""

from __future__ import annotations

import os
import re
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor
from typing import Optional

OUTPUTS = (".json", ".html", ".bcf", ".bcfzip", ".parquet")
SHOWN_FAILURES = 3  # failures listed per failing specification in the console summary


def add_parser(sub) -> None:
    p = sub.add_parser("ids", help="check models against an IDS (buildingSMART Information Delivery Specification)",
                       description="Check IFC models against the specifications of an IDS 1.0 file. Exit status "
                                   "0 when every specification passes on every model, 1 when any fails, 2 when "
                                   "the IDS is rejected or a model cannot be read.")
    p.add_argument("ids", metavar="SPEC.ids", help="IDS file")
    p.add_argument("models", nargs="+", metavar="MODEL", help="IFC files, folders (searched for *.ifc) or globs")
    p.add_argument("-o", "--output", metavar="REPORT",
                   help="write the report: .json, .html, .bcf or .parquet (by extension)")
    p.add_argument("--fails-only", action="store_true", help="only failing specifications and objects")
    p.add_argument("-j", "--jobs", type=int, default=0, metavar="N", help="threads (default: one per CPU core)")
    p.add_argument("-q", "--quiet", action="store_true", help="one summary line per model, nothing more")
    p.set_defaults(run=run)


def say(text: str = "") -> None:
    print(text)


def complain(text: str) -> None:
    print(f"quarnel ids: {text}", file=sys.stderr)


def run(args) -> int:
    from quarnel.runs import ModelError, check_model, expand_paths, one_line

    from .checker import build_report, check_model as check_one, facet_threads, load
    from .model import Model
    from .parse import IdsError

    if args.output and not args.output.lower().endswith(OUTPUTS):
        complain(f"{args.output}: the report is written as .json, .html, .bcf or .parquet")
        return 2
    paths, unmatched = expand_paths(args.models)
    ahead = ReadAhead.start(args.ids, paths)
    try:
        ids = load(args.ids)
    except IdsError as e:
        complain(f"IDS rejected: {e}")
        return 2
    for pattern in unmatched:
        complain(f"no models match {pattern}")
    jobs = args.jobs if args.jobs > 0 else (os.cpu_count() or 1)
    started = time.perf_counter()

    def one(path: str):
        t0 = time.perf_counter()
        try:
            warning = check_model(path)
            if warning:
                complain(f"warning: {warning}")
            model = ahead.model(path, ids) if ahead is not None else None
            specs, failures = check_one(ids, model or Model(path), facet_threads(workers))
            return path, specs, failures, None, time.perf_counter() - t0
        except (ModelError, OSError) as e:
            return path, None, None, one_line(e, path), 0.0

    workers = max(1, min(jobs, len(paths) or 1))
    with ThreadPoolExecutor(max_workers=workers) as pool:
        results = list(pool.map(one, paths))
    unreadable = len(unmatched)
    spec_tables, failure_tables = [], []
    for path, specs, failures, problem, seconds in results:
        if problem:
            complain(problem)
            unreadable += 1
            continue
        spec_tables.append(specs)
        failure_tables.append(failures)
        summary(path, specs, failures, seconds, args.quiet, args.fails_only)
    report = build_report(ids, spec_tables, failure_tables, time.perf_counter() - started)
    if args.output:
        try:
            write(report, args.output, args.fails_only)
        except NotImplementedError:
            complain(f"{args.output}: this report format is not available yet")
            return 2
        except OSError as e:
            complain(f"{args.output}: {e.strerror or e}")
            return 2
    if unreadable or not paths:
        if not paths:
            complain("no models to check")
        return 2
    return 0 if report.passed else 1


class ReadAhead:
    """The tables of a single model read while the IDS is read and validated: the read lets go
    of the interpreter lock. The command's own process starts it before its imports (`early`).
    The tables are guessed from the facet names in the IDS text; the check reads what the guess
    missed, and a model read for another attributes table than the IDS needs is not used."""

    started: "Optional[ReadAhead]" = None

    def __init__(self, ids_path: str, path: str, tables):
        self.ids_path = ids_path
        self.path = path
        self.tables = tables
        self.streams = None
        self.thread = threading.Thread(target=self._run, daemon=True)

    @classmethod
    def early(cls, argv) -> None:
        """From the command's arguments as its parser reads them; nothing when they are wrong
        (the parser says so later)."""
        import argparse

        from quarnel.runs import expand_paths

        if {"-h", "--help"} & set(argv):
            return  # the help is the command's to print, once

        class Quiet(argparse.ArgumentParser):
            def error(self, message):
                raise ValueError(message)

        parser = Quiet(add_help=False)
        add_parser(parser.add_subparsers())
        try:
            args, _ = parser.parse_known_args(["ids", *argv])
            cls.started = cls.start(args.ids, expand_paths(args.models)[0])
        except (ValueError, OSError, SystemExit):
            pass

    @classmethod
    def start(cls, ids_path: str, paths) -> "Optional[ReadAhead]":
        from .needs import OBJECT_TABLES, TABLES_OF

        early, cls.started = cls.started, None
        if early is not None and early.ids_path == ids_path and [early.path] == list(paths):
            return early
        if len(paths) != 1:
            return None
        try:
            with open(ids_path, "rb") as f:
                text = f.read()
        except OSError:
            return None
        tables = ["type_counts", *OBJECT_TABLES]
        for kind, names in TABLES_OF.items():
            if re.search(rb"<(\w+:)?" + kind.encode() + rb"[\s/>]", text):
                tables += names
        ahead = cls(ids_path, paths[0], list(dict.fromkeys(tables)))
        ahead.thread.start()
        return ahead

    def _run(self) -> None:
        from quarnel.arrow import read_streams
        from quarnel.runs import check_model

        from .needs import columns_of

        try:
            check_model(self.path)
            self.streams = read_streams(self.path, self.tables, columns_of(self.tables))
        except Exception:  # the check reads the model again and says what is wrong with it
            self.streams = None

    def model(self, path: str, ids):
        """The model read ahead, when it is this path's and read as the IDS needs; else None."""
        from .checker import attributes_table
        from .model import Model

        if path != self.path:
            return None
        self.thread.join()
        streams, self.streams = self.streams, None  # not kept beside a model read again
        if streams is None or attributes_table(ids) != "attributes":
            return None
        model = Model(path)
        model.receive(streams)
        return model


def write(report, path: str, fails_only: bool) -> None:
    ext = os.path.splitext(path)[1].lower()
    if ext == ".json":
        report.to_json(path, fails_only=fails_only)
    elif ext == ".html":
        report.to_html(path, fails_only=fails_only)
    elif ext in (".bcf", ".bcfzip"):
        report.to_bcf(path)
    else:
        report.to_parquet(path)


def summary(path: str, specs, failures, seconds: float, quiet: bool, fails_only: bool) -> None:
    rows = specs.to_pylist()
    passed = sum(1 for r in rows if r["status"] == "pass")
    objects = sum(r["applicable"] for r in rows)
    verdict = "PASS" if passed == len(rows) else "FAIL"
    say(f"{verdict} {path}: {passed} of {len(rows)} specifications pass, {objects:,} applicable objects, "
        f"{failures.num_rows:,} failures ({seconds:.2f} s)")
    if quiet:
        return
    shown: dict = {}
    for f in first_failures(failures).to_pylist():
        shown.setdefault(f["specification"], []).append(f)
    for r in rows:
        if fails_only and r["status"] == "pass":
            continue
        occurs = _occurs(r["min_occurs"], r["max_occurs"])
        say(f"  {r['status'].upper()} {r['name']} ({r['applicable']:,} applicable{occurs}, {r['failed']:,} failed)")
        for f in shown.get(r["index"], ()):
            who = " ".join(x for x in (f["entity"], f["guid"], repr(f["name"]) if f["name"] else None) if x)
            found = f" (found {f['value']!r})" if f["value"] is not None else ""
            say(f"      {who + ': ' if who else ''}{f['reason']}{found}")


def first_failures(failures):
    """The first SHOWN_FAILURES failures of each specification, in one pass over the table."""
    import numpy as np
    import pyarrow as pa

    spec = failures.column("specification").to_numpy()
    order = np.argsort(spec, kind="stable")
    ordered = spec[order]
    starts = np.searchsorted(ordered, ordered, side="left")  # where each row's specification begins
    keep = np.sort(order[np.arange(len(order)) - starts < SHOWN_FAILURES])
    return failures.take(pa.array(keep, pa.int64()))


def _occurs(low: int, high: Optional[int]) -> str:
    if high == 0:
        return ", prohibited"
    return ", optional" if low == 0 else ""

