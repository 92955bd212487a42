"""`quarnel batch` over the corpus repeated to about 500 MB, on 1 and 2 threads.

Reports models per second, MB/s, the ratio to the scan floor (the same files, summed), the
speed-up of 2 threads over 1 and the CPU cores the run actually got. As a ceiling for that speed-up it also runs the bare native
function on a thread pool (no output) and reports the share of its time spent holding the
interpreter lock (opening and marshalling), which threads cannot overlap.

usage: python bench/bench_batch.py [--mb 500] [--repeat 3] [--table psets] [--table all] [--format parquet]
"""
import argparse
import json
import re
import resource
import shutil
import statistics
import subprocess
import sys
import time

from common import DATA, SHARED, mb, scan_floor_seconds, table

LOCKED_PHASES = ("open_ms", "marshal_ms")
FUNCTIONS = {"psets": "extract_psets", "quantities": "extract_quantities", "materials": "extract_materials",
             "classifications": "extract_classifications", "all": "extract_all", "drift": "analyse_drift"}

NATIVE_POOL = """
import glob, json, sys, time
from concurrent.futures import ThreadPoolExecutor
from quarnel import _core
fn = getattr(_core, sys.argv[1])
paths = sorted(glob.glob(sys.argv[2] + '/*.ifc'))
jobs = int(sys.argv[3])
def one(p):
    r = fn(p)
    return {k: v for k, v in r.items() if k.endswith('_ms')}
t = time.perf_counter()
with ThreadPoolExecutor(jobs) as pool:
    phases = list(pool.map(one, paths))
seconds = time.perf_counter() - t
total = {}
for r in phases:
    for k, v in r.items():
        total[k] = total.get(k, 0.0) + v
print(json.dumps({'seconds': seconds, 'phases': total}))
"""


def corpus_copies(target_mb):
    """The corpus copied again and again into bench/data/batch until it holds target_mb."""
    folder = DATA / f"batch_{target_mb}mb"
    sources = sorted((SHARED / "corpus").glob("*.ifc"))
    if not folder.is_dir():
        tmp = folder.with_suffix(".tmp")
        shutil.rmtree(tmp, ignore_errors=True)
        tmp.mkdir(parents=True)
        total, round_ = 0.0, 0
        while total < target_mb:
            for src in sources:
                dst = tmp / f"r{round_:03d}_{src.name}"
                shutil.copyfile(src, dst)
                total += mb(dst)
            round_ += 1
        tmp.rename(folder)
    files = sorted(folder.glob("*.ifc"))
    return folder, files, sum(mb(f) for f in files)


def run_batch(folder, table_name, jobs, fmt):
    out = DATA / (f"batch_out_{table_name}" + ("" if table_name == "all" else f".{fmt}"))
    args = [sys.executable, "-m", "quarnel", "batch", str(folder), "--table", table_name,
            "-o", str(out), "-j", str(jobs), "--format", fmt]
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.perf_counter()
    proc = subprocess.run(args, capture_output=True, text=True)
    wall = time.perf_counter() - started
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if proc.returncode != 0:
        raise SystemExit(proc.stderr)
    inner = float(re.search(r" in ([0-9.]+) s \(", proc.stderr).group(1))
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return inner, wall, cpu / wall


def native_pool(function, folder, jobs):
    proc = subprocess.run([sys.executable, "-c", NATIVE_POOL, function, str(folder), str(jobs)],
                          capture_output=True, text=True, check=True)
    return json.loads(proc.stdout)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--mb", type=int, default=500)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--table", action="append", choices=list(FUNCTIONS))
    ap.add_argument("--format", default="parquet", choices=["parquet", "csv", "jsonl"])
    args = ap.parse_args()
    tables = args.table or ["psets"]

    folder, files, size = corpus_copies(args.mb)
    floor = sum(scan_floor_seconds(f, repeat=1) for f in files)
    print(f"{len(files)} models, {size:.0f} MB; scan floor (split, summed over the files): {floor:.2f} s, "
          f"{size / floor:.0f} MB/s; output {args.format}; median of {args.repeat}")

    rows = [["scan floor", "-", f"{floor:.2f}", "-", f"{size / floor:.0f}", "1.00", "-", "-"]]
    for name in tables:
        function = FUNCTIONS[name]
        medians = {}
        for jobs in (1, 2):
            runs = [run_batch(folder, name, jobs, args.format) for _ in range(args.repeat)]
            inner = statistics.median(r[0] for r in runs)
            cores = statistics.median(r[2] for r in runs)
            medians[jobs] = inner
            speedup = f"{medians[1] / inner:.2f}" if jobs == 2 else "1.00"
            rows.append([f"batch --table {name}", jobs, f"{inner:.2f}", f"{len(files) / inner:.1f}",
                         f"{size / inner:.0f}", f"{inner / floor:.2f}", speedup, f"{cores:.2f}"])
        native = {jobs: [native_pool(function, folder, jobs) for _ in range(args.repeat)] for jobs in (1, 2)}
        n1 = statistics.median(r["seconds"] for r in native[1])
        n2 = statistics.median(r["seconds"] for r in native[2])
        phases = native[1][0]["phases"]
        work = sum(v for k, v in phases.items() if k != "total_ms")
        locked = sum(v for k, v in phases.items() if k in LOCKED_PHASES)
        for jobs, secs in ((1, n1), (2, n2)):
            rows.append([f"{function} alone (no output)", jobs, f"{secs:.2f}", f"{len(files) / secs:.1f}",
                         f"{size / secs:.0f}", f"{secs / floor:.2f}", f"{n1 / secs:.2f}", "-"])
        if function != "analyse_drift":  # its entity table is built outside the lock
            print(f"{function}: {100 * locked / work:.0f} % of its time holds the interpreter lock "
                  f"({', '.join(f'{k} {v / 1000:.2f} s' for k, v in phases.items())})")
    print(table(rows, ["run", "threads", "seconds", "models/s", "MB/s", "x scan floor", "speed-up", "cores used"]))
    print("cores used: CPU time of the whole process (start-up included) over its wall time; on a "
          "machine shared with other work, a value near 1 with 2 threads means no second core was free.")


if __name__ == "__main__":
    main()
