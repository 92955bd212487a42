"""extract_all against the four extractors called one by one, IfcOpenShell and the scan floor.

usage: python bench/bench_extract_all.py [--copies 50] [--repeat 5] [--ifcopenshell-runs 1]

Makes the scaled model in bench/data when it is missing (office_a x 50 is about 232 MB) and builds
bench/scan_floor from scan_floor.c. Every measurement is repeated and the median
reported; quarnel runs in this process with a warm page cache, IfcOpenShell in a subprocess of its own
(time from open to the last row, peak RSS). Prints a markdown table."""

import argparse
import json
import statistics
import subprocess
import sys
import time

import quarnel
from common import BENCH, mb, run_child, scaled_model, scan_floor_seconds, table

SINGLES = [
    quarnel.extract_psets,
    quarnel.extract_quantities,
    quarnel.extract_materials,
    quarnel.extract_classifications,
]
INNER = ["psets", "quantities", "materials", "classifications"]


def timed(function, path):
    start = time.perf_counter()
    result = function(str(path))
    return time.perf_counter() - start, result


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--copies", type=int, default=50)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--ifcopenshell-runs", type=int, default=1)
    args = parser.parse_args()

    path = scaled_model(copies=args.copies)
    size = mb(path)
    path.read_bytes()  # warm the page cache

    samples = {name: [] for name in ["floor", "four", "all"] + [f.__name__ for f in SINGLES]}
    phases = {}
    rows = {}
    for _ in range(args.repeat):
        samples["floor"].append(scan_floor_seconds(path, repeat=1))
        four = 0.0
        for f in SINGLES:
            seconds, result = timed(f, path)
            samples[f.__name__].append(seconds)
            four += seconds
            rows[f.__name__] = len(result["guid"])
            del result
        samples["four"].append(four)
        seconds, result = timed(quarnel.extract_all, path)
        samples["all"].append(seconds)
        for key, value in result.items():
            if key.endswith("_ms"):
                phases.setdefault(key, []).append(value)
        rows["extract_all"] = sum(len(result[k]["guid"]) for k in INNER)
        del result

    ios = []
    for _ in range(args.ifcopenshell_runs):
        out = subprocess.run([sys.executable, str(BENCH / "ifcopenshell_joins.py"), str(path)],
                             check=True, capture_output=True, text=True).stdout
        ios.append(json.loads(out))
    all_rss = run_child("import sys, quarnel\nquarnel.extract_all(sys.argv[1])\n_R = {}", path)["peak_rss_mb"]

    med = {k: statistics.median(v) for k, v in samples.items()}
    floor = med["floor"]

    def line(name, seconds, n_rows="", rss=""):
        return [name, f"{seconds:.3f}", f"{size / seconds:.0f}", f"{seconds / floor:.1f}x", n_rows, rss]

    lines = [line("scan floor (`split`)", floor)]
    lines += [line(f"`{f.__name__}`", med[f.__name__], rows[f.__name__]) for f in SINGLES]
    lines.append(line("the four, one after another", med["four"], sum(rows[f.__name__] for f in SINGLES)))
    lines.append(line("`extract_all`", med["all"], rows["extract_all"], f"{all_rss:.0f} MB"))
    if ios:
        io_seconds = statistics.median(r["seconds"] for r in ios)
        io_rss = max(r["peak_rss"] for r in ios) / 2**20
        lines.append(line("IfcOpenShell, the four joins", io_seconds, sum(ios[0]["rows"].values()), f"{io_rss:.0f} MB"))
    print(f"{path.name}: {size:.0f} MB, median of {args.repeat} runs"
          f" (IfcOpenShell: {args.ifcopenshell_runs} run(s)), warm page cache\n")
    print(table(lines, ["run", "seconds", "MB/s", "vs scan floor", "rows", "peak RSS"]))
    print()
    print(f"- `extract_all` vs the four separate calls: {med['four'] / med['all']:.2f}x faster")
    print(f"- `extract_all` vs the scan floor: {med['all'] / floor:.1f}x the floor's time")
    if ios:
        print(f"- `extract_all` vs IfcOpenShell: {io_seconds / med['all']:.1f}x faster"
              f" (IfcOpenShell open alone: {statistics.median(r['open_seconds'] for r in ios):.1f} s)")
    spread = {k: (min(v), max(v)) for k, v in samples.items()}
    print("- spread (min-max s): " + ", ".join(f"{k} {a:.2f}-{b:.2f}" for k, (a, b) in spread.items()))
    print("- `extract_all` phases (median ms): "
          + ", ".join(f"{k[:-3]} {statistics.median(v):.0f}" for k, v in phases.items()))


if __name__ == "__main__":
    main()
