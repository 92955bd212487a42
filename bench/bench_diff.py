"""Revision diff: `quarnel diff` against IfcOpenShell's ifcdiff on the same pair of revisions.

The pair: office_a x --copies (scale_ifc.py) and a second revision made by make_revision.py
(1 % of property values edited, 0.5 % of elements deleted, 0.5 % moved by 0.5 m, 0.5 % copied
with new GlobalIds), which also writes what it changed. Each tool runs as a whole process, timed
and with its peak RSS; quarnel's changes are checked against the edits made (every one found,
nothing else reported), ifcdiff's by the objects it names.

    PYTHONPATH=build/mutate/stage python bench/bench_diff.py [--copies 10] [--no-ifcdiff]
"""
import argparse
import json
import os
import subprocess
import sys
import time

from common import BENCH, DATA, mb, scaled_model, table

RELATIONSHIPS = "attributes geometry type property container aggregate classification"


def timed(command):
    """Wall seconds, CPU seconds and peak RSS (MB) of a child process."""
    started = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, cwd="/tmp")
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - started
    err = child.stderr.read().decode()
    if status != 0:
        raise SystemExit(f"{' '.join(command)} failed:\n{err}")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


def revision_pair(copies):
    old = scaled_model(copies=copies)
    new, expected = DATA / f"{old.stem}_rev2.ifc", DATA / f"{old.stem}_rev2.json"
    if not new.exists() or not expected.exists():
        subprocess.run([sys.executable, str(BENCH / "make_revision.py"), str(old), str(new), str(expected)], check=True)
    return old, new, json.loads(expected.read_text())


def check_quarnel(changes_path, expected):
    import pyarrow.parquet as pq

    rows = pq.read_table(changes_path, columns=["guid", "change", "what"]).to_pylist()
    found = {(r["guid"], r["change"], r["what"] if r["change"] == "property" else None) for r in rows}
    wanted = {(g, "deleted", None) for g in expected["deleted"]} | {(g, "added", None) for g in expected["added"]}
    wanted |= {(g, "placement", None) for g in expected["placement"]}
    wanted |= {(g, "property", what) for g, what in expected["property"]}
    return len(wanted & found), len(wanted), len(found - wanted), sorted(found - wanted)[:5], sorted(wanted - found)[:5]


def check_ifcdiff(out_path, expected):
    data = json.loads(open(out_path).read())
    named = set(data["added"]) | set(data["deleted"]) | set(data["changed"])
    wanted = set(expected["added"]) | set(expected["deleted"]) | set(expected["placement"])
    wanted |= {g for g, _ in expected["property"]}
    return len(wanted & named), len(wanted), len(named - wanted)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--copies", type=int, default=10)
    ap.add_argument("--no-ifcdiff", action="store_true", help="quarnel only")
    args = ap.parse_args()
    old, new, expected = revision_pair(args.copies)
    sizes = mb(old) + mb(new)
    out = DATA / "diff_changes.parquet"
    runs = []
    for label, kinds in (("quarnel diff", []), ("quarnel diff --kinds all+geometry", [
            "--kinds", "added,deleted,class,attribute,property,quantity,material,classification,type,container,"
                       "aggregate,placement,geometry,duplicate"])):
        wall, cpu, rss = timed([sys.executable, "-m", "quarnel", "diff", str(old), str(new), "-o", str(out), *kinds])
        hit, total, false, false_rows, missed = check_quarnel(out, expected)
        runs.append((label, wall, cpu, rss, f"{hit}/{total}", false))
        if false or hit < total:
            print(f"{label}: false {false_rows} missed {missed}", file=sys.stderr)
    if not args.no_ifcdiff:
        ifc_out = DATA / "ifcdiff.json"
        wall, cpu, rss = timed([sys.executable, "-m", "ifcdiff", "-o", str(ifc_out), "-r", RELATIONSHIPS,
                                str(old), str(new)])
        hit, total, false = check_ifcdiff(ifc_out, expected)
        runs.append(("ifcdiff 0.9.0, every relationship", wall, cpu, rss, f"{hit}/{total} objects", false))
    print(f"{old.name} ({mb(old):.1f} MB) -> {new.name} ({mb(new):.1f} MB); edits: "
          + ", ".join(f"{len(v)} {k}" for k, v in expected.items()))
    print(table([(label, f"{w:.2f}", f"{c:.2f}", f"{r:.0f}", f"{r / sizes:.2f}", found, false)
                 for label, w, c, r, found, false in runs],
                ["run", "wall s", "cpu s", "peak RSS MB", "RSS / both files", "edits found", "false alarms"]))
    if not args.no_ifcdiff:
        base = runs[-1]
        for label, w, c, *_ in runs[:-1]:
            print(f"{label}: {base[1] / w:.1f}x faster (wall), {base[2] / c:.1f}x (cpu) than ifcdiff")


if __name__ == "__main__":
    main()
