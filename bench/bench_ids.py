"""IDS checks of a large model: quarnel.ids.check against IfcOpenShell's ifctester, same IDS
(bench/office_a.ids), each repetition in a fresh child; the verdicts of the two are compared.

usage: python bench/bench_ids.py [--model PATH | --copies 10] [--repeat 3] [--ids FILE] [--no-ifctester]
"""
import argparse
import pathlib
import statistics

from common import BENCH, model_arguments, model_of, run_child, table

QUARNEL = """
import sys, time
t = time.perf_counter()
from quarnel.ids.checker import load, check_model, tables_needed
from quarnel.ids.model import Model
_R = {'import_ms': (time.perf_counter() - t) * 1000}
t = time.perf_counter()
ids = load(sys.argv[2])
_R['load_ids_ms'] = (time.perf_counter() - t) * 1000
model = Model(sys.argv[1])
t = time.perf_counter()
model.prefetch(tables_needed(ids))
_R['read_ms'] = (time.perf_counter() - t) * 1000
t = time.perf_counter()
specs, failures = check_model(ids, model)
_R['check_ms'] = (time.perf_counter() - t) * 1000
_R['statuses'] = specs.column('status').to_pylist()
_R['failures'] = failures.num_rows
"""

IFCTESTER = """
import sys, time
import ifcopenshell, ifctester.ids
t = time.perf_counter()
f = ifcopenshell.open(sys.argv[1])
_R = {'read_ms': (time.perf_counter() - t) * 1000}
ids = ifctester.ids.open(sys.argv[2])
t = time.perf_counter()
ids.validate(f)
_R['check_ms'] = (time.perf_counter() - t) * 1000
_R['statuses'] = ['pass' if s.status else 'fail' for s in ids.specifications]
"""


def main():
    ap = argparse.ArgumentParser()
    model_arguments(ap, copies=10)
    ap.add_argument("--ids", type=pathlib.Path, default=BENCH / "office_a.ids")
    ap.add_argument("--no-ifctester", action="store_true")
    args = ap.parse_args()
    path, size = model_of(args)
    runs = {"quarnel": [run_child(QUARNEL, path, args.ids) for _ in range(args.repeat)]}
    if not args.no_ifctester:
        runs["ifctester"] = [run_child(IFCTESTER, path, args.ids) for _ in range(args.repeat)]
    rows = []
    for name, results in runs.items():
        med = {k: statistics.median(r[k] for r in results) for k in ("read_ms", "check_ms")}
        rows.append((name, f"{med['read_ms']:.0f}", f"{med['check_ms']:.0f}", f"{med['read_ms'] + med['check_ms']:.0f}",
                     f"{max(r['peak_rss_mb'] for r in results):.0f}"))
    print(f"{path.name}: {size:.0f} MB, {args.ids.name}, median of {args.repeat}")
    print(table(rows, ["checker", "read ms", "check ms", "total ms", "peak RSS MB"]))
    if "ifctester" in runs:
        ours, theirs = runs["quarnel"][0]["statuses"], runs["ifctester"][0]["statuses"]
        differ = [i for i, (a, b) in enumerate(zip(ours, theirs)) if a != b]
        print("verdicts agree" if not differ else f"verdicts differ on specifications {differ}")


if __name__ == "__main__":
    main()
