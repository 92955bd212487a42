"""IDS checks, whole process with the JSON report: `quarnel ids` against ifctester's command
line, one after the other on the same models (office_a x N made by scale_ifc.py) and the same
IDS (bench/office_a.ids: property values, a pattern, bounds, materials, classification, partOf,
a prohibited property and a prohibited entity).

    python bench/bench_ids.py [--copies 10 50] [--repeat 1] [--no-ifctester]

Wall time and peak RSS are those of each child process (wait4), RSS also as a multiple of the
model's size; the last column compares the verdict of each specification between the two.
The time of quarnel's run is also split into import, check and JSON report (in one more child)."""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

from common import BENCH, mb, scaled_model, table

IDS = BENCH / "office_a.ids"


def run(command):
    """Wall seconds and peak RSS (MB) of a child process."""
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    seconds = time.perf_counter() - start
    error = child.stderr.read().decode(errors="replace")
    child.stderr.close()
    if os.waitstatus_to_exitcode(status) not in (0, 1):  # 1: some specification failed
        raise SystemExit(f"{command[:4]} failed:\n{error}")
    return seconds, usage.ru_maxrss / 1024


# The same work in phases, in one child: where the time of a run goes.
PHASES = r"""
import json, sys, time
t0 = time.perf_counter()
from quarnel.ids import check
t1 = time.perf_counter()
report = check(sys.argv[1], sys.argv[2])
t2 = time.perf_counter()
report.to_json(sys.argv[3])
t3 = time.perf_counter()
print(json.dumps({"import": t1 - t0, "check": t2 - t1, "json": t3 - t2}))
"""


def phases(ids, model, out):
    text = subprocess.run([sys.executable, "-c", PHASES, ids, str(model), out], check=True, capture_output=True,
                          text=True).stdout
    return json.loads(text.strip().splitlines()[-1])


def verdicts_quarnel(path):
    with open(path, encoding="utf-8") as f:
        report = json.load(f)
    return [(s["name"], s["status"] == "pass", s["applicable"], s["failed"])
            for m in report["models"] for s in m["specifications"]]


def verdicts_ifctester(path):
    with open(path, encoding="utf-8") as f:
        report = json.load(f)
    return [(s["name"], bool(s["status"]), s["total_applicable"], s["total_applicable_fail"])
            for s in report["specifications"]]


def best(command, repeat):
    runs = [run(command) for _ in range(repeat)]
    return min(r[0] for r in runs), max(r[1] for r in runs)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--copies", type=int, nargs="+", default=[10, 50])
    ap.add_argument("--repeat", type=int, default=1)
    ap.add_argument("--ids", default=str(IDS))
    ap.add_argument("--no-ifctester", action="store_true")
    args = ap.parse_args()
    rows = []
    with tempfile.TemporaryDirectory() as tmp:
        for copies in args.copies:
            model = scaled_model(copies=copies)
            size = mb(model)
            ours = os.path.join(tmp, "quarnel.json")
            seconds, rss = best([sys.executable, "-m", "quarnel", "ids", args.ids, str(model), "-o", ours],
                                args.repeat)
            failures = sum(v[3] for v in verdicts_quarnel(ours))
            split = phases(args.ids, model, ours)
            print(f"office_a x{copies}: import {split['import']:.2f} s, check {split['check']:.2f} s, "
                  f"JSON report {split['json']:.2f} s", file=sys.stderr, flush=True)
            row = [f"office_a x{copies}", f"{size:.0f}", f"{failures:,}", f"{seconds:.2f}", f"{rss:.0f}",
                   f"{rss / size:.2f}"]
            if args.no_ifctester:
                rows.append(row + ["", "", "", ""])
            else:
                theirs = os.path.join(tmp, "ifctester.json")
                their_seconds, their_rss = best([sys.executable, "-m", "ifctester", "-r", "Json", "-o", theirs,
                                                 args.ids, str(model)], 1)
                a, b = verdicts_quarnel(ours), verdicts_ifctester(theirs)
                agree = sum(x == y for x, y in zip(a, b))
                rows.append(row + [f"{their_seconds:.2f}", f"{their_rss:.0f}", f"{their_seconds / seconds:.1f}x",
                                   f"{agree}/{max(len(a), len(b))}"])
            print(rows[-1], file=sys.stderr, flush=True)
    print(table(rows, ["model", "MB", "failures", "quarnel s", "quarnel peak RSS MB", "RSS / file",
                       "ifctester s", "ifctester peak RSS MB", "speed-up", "same verdicts"]))


if __name__ == "__main__":
    main()
