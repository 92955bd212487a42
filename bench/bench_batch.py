"""`quarnel batch` and `quarnel psets -o` through the Arrow face, against baselines of the same run.

1. `quarnel batch --table T` over the corpus repeated to about 500 MB, on 1 and 2 threads:
   models per second, MB/s, the ratio to the scan floor (the same files, summed), the speed-up
   of 2 threads over 1 and the CPU cores the run actually got.
2. The same files through the bare calls on a thread pool, no output: `read_table` (the Arrow
   face) and the dict function of `_core`; `batch -j 1` is reported as a multiple of them.
3. `quarnel psets BIG -o x.parquet` (whole process) against the path a user had before the Arrow
   face: `extract_psets` + `to_arrow` + `pyarrow.parquet.write_table` (whole process), on
   office_a x 50.

usage: python bench/bench_batch.py [--mb 500] [--repeat 3] [--table psets] [--format parquet] [--big N]
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

from common import DATA, SHARED, mb, scaled_model, scan_floor_seconds, table
from quarnel.registry import TABLES

LOCKED_PHASES = ("open_ms", "marshal_ms")

# The bare calls over every model of a folder on a thread pool; prints seconds and summed phases.
POOL = """
import glob, json, os, sys, time
from concurrent.futures import ThreadPoolExecutor
import quarnel
from quarnel import _core
from quarnel.registry import TABLES
kind, name, folder, jobs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
paths = sorted(glob.glob(folder + '/*.ifc'))
def dict_call(p):
    return {k: v for k, v in getattr(_core, TABLES[name].call)(p).items() if k.endswith('_ms')}
def arrow_call(p):
    quarnel.read_table(p, name)
    return {}
one = dict_call if kind == 'dict' else arrow_call
one(min(paths, key=os.path.getsize))  # first-call imports before the clock starts
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

OLD_PATH = """
import sys, quarnel, pyarrow.parquet as pq
pq.write_table(quarnel.to_arrow(quarnel.extract_psets(sys.argv[1])), sys.argv[2])
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


def timed(args):
    """Wall seconds of a whole process and the CPU cores it used."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.perf_counter()
    proc = subprocess.run(args, capture_output=True, text=True, cwd="/tmp")
    wall = time.perf_counter() - started
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if proc.returncode != 0:
        raise SystemExit(proc.stderr)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu / wall, proc.stderr


def run_batch(folder, table_name, jobs, fmt):
    out = DATA / (f"batch_out_{table_name}" + ("" if table_name == "all" else f".{fmt}"))
    wall, cores, err = timed([sys.executable, "-m", "quarnel", "batch", str(folder), "--table", table_name,
                              "-o", str(out), "-j", str(jobs), "--format", fmt])
    return float(re.search(r" in ([0-9.]+) s \(", err).group(1)), cores


def pool(kind, name, folder, jobs):
    proc = subprocess.run([sys.executable, "-c", POOL, kind, name, str(folder), str(jobs)],
                          capture_output=True, text=True, check=True, cwd="/tmp")
    return json.loads(proc.stdout)


def batch_rows(args, folder, files, size, floor):
    rows = []
    for name in args.table or ["psets"]:
        medians = {}
        for jobs in (1, 2):
            runs = [run_batch(folder, name, jobs, args.format) for _ in range(args.repeat)]
            medians[jobs] = statistics.median(r[0] for r in runs)
            cores = statistics.median(r[1] for r in runs)
            secs = medians[jobs]
            rows.append([f"batch --table {name} -o .{args.format}", jobs, f"{secs:.2f}", f"{len(files) / secs:.1f}",
                         f"{size / secs:.0f}", f"{secs / floor:.2f}", f"{medians[1] / secs:.2f}", "1.00",
                         f"{cores:.2f}"])
        if name == "all":
            continue
        for kind, label in (("arrow", f"read_table(path, {name!r})"), ("dict", "_core." + TABLES[name].call)):
            runs = {jobs: [pool(kind, name, folder, jobs) for _ in range(args.repeat)] for jobs in (1, 2)}
            one = statistics.median(r["seconds"] for r in runs[1])
            for jobs in (1, 2):
                secs = statistics.median(r["seconds"] for r in runs[jobs])
                rows.append([f"{label} alone, no output", jobs, f"{secs:.2f}", f"{len(files) / secs:.1f}",
                             f"{size / secs:.0f}", f"{secs / floor:.2f}", f"{one / secs:.2f}",
                             f"{medians[jobs] / secs:.2f}", "-"])
            if kind == "dict":
                phases = runs[1][0]["phases"]
                work = sum(v for k, v in phases.items() if k != "total_ms")
                locked = sum(v for k, v in phases.items() if k in LOCKED_PHASES)
                if work:
                    print(f"{label}: {100 * locked / work:.0f} % of its time holds the interpreter lock")
    return rows


def big_rows(args):
    big = scaled_model("office_a_20110811.ifc", args.big)
    size = mb(big)
    out = DATA / "big_psets.parquet"
    new = [timed([sys.executable, "-m", "quarnel", "psets", str(big), "-o", str(out)]) for _ in range(args.repeat)]
    old = [timed([sys.executable, "-c", OLD_PATH, str(big), str(out)]) for _ in range(args.repeat)]
    new_s = statistics.median(r[0] for r in new)
    old_s = statistics.median(r[0] for r in old)
    # CPU time too: on a busy machine it moves less than the wall time.
    new_cpu = statistics.median(r[0] * r[1] for r in new)
    old_cpu = statistics.median(r[0] * r[1] for r in old)
    return [
        [f"extract_psets + to_arrow + pq.write_table ({size:.0f} MB)", f"{old_s:.2f}", f"{size / old_s:.0f}", "1.00",
         f"{old_cpu:.2f}", "1.00"],
        [f"quarnel psets BIG -o x.parquet ({size:.0f} MB)", f"{new_s:.2f}", f"{size / new_s:.0f}",
         f"{old_s / new_s:.2f}", f"{new_cpu:.2f}", f"{old_cpu / new_cpu:.2f}"],
    ]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--mb", type=int, default=500)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--table", action="append", choices=["psets", "quantities", "materials", "classifications",
                                                         "drift", "all"])
    ap.add_argument("--format", default="parquet", choices=["parquet", "csv", "jsonl"])
    ap.add_argument("--big", type=int, default=50, help="copies of office_a for the whole-process run (0: skip)")
    ap.add_argument("--no-batch", action="store_true", help="only the whole-process run")
    args = ap.parse_args()

    if not args.no_batch:
        folder, files, size = corpus_copies(args.mb)
        floor = sum(scan_floor_seconds(f, repeat=1) for f in files)
        print(f"{len(files)} models, {size:.0f} MB; scan floor (split, summed over the files): {floor:.2f} s, "
              f"{size / floor:.0f} MB/s; median of {args.repeat}")
        rows = [["scan floor", "-", f"{floor:.2f}", "-", f"{size / floor:.0f}", "1.00", "-", "-", "-"]]
        rows += batch_rows(args, folder, files, size, floor)
        print(table(rows, ["run", "threads", "seconds", "models/s", "MB/s", "x scan floor", "speed-up",
                           "batch / this", "cores used"]))
        print("speed-up: over the same run on 1 thread; batch / this: the batch run's time over this one's, "
              "same threads. cores used: CPU time of the whole process (start-up included) over its wall time; "
              "near 1 with 2 threads means no second core was free.")
    if args.big:
        print()
        print(table(big_rows(args), ["whole process", "seconds", "MB/s", "speed-up", "CPU seconds", "CPU ratio"]))


if __name__ == "__main__":
    main()
