"""quarnel.dask over the corpus repeated to about 1,000 models, on one and two worker processes.

Reports the time to build the frame (no model is read), then models per second and MB/s of
reading every model's table into Dask (rows counted on the workers) and of writing it as Parquet
(`to_parquet`), with one worker and with two, against `quarnel batch -j 2` writing the same table
to one Parquet file and `quarnel batch --dataset -j 2`, all in the same run. The models are
symlinks under /tmp to the corpus files. "cores used" is the CPU time of the worker processes
over the wall time (for batch, of its whole process): on a machine shared with other work, two
workers may not get two cores, so MB per CPU second compares the runs' costs as well.

usage: python bench/bench_dask.py [--models 1000] [--table psets] [--repeat 3]
"""
import argparse
import os
import re
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from common import SHARED, mb, table


def fleet(models):
    """`models` symlinks to the corpus files, round after round, in /tmp."""
    sources = sorted((SHARED / "corpus").glob("*.ifc"))
    folder = os.path.join(tempfile.gettempdir(), f"quarnel-fleet-{models}")
    if not os.path.isdir(folder):
        tmp = folder + ".tmp"
        shutil.rmtree(tmp, ignore_errors=True)
        os.makedirs(tmp)
        for i in range(models):
            src = sources[i % len(sources)]
            os.symlink(src, os.path.join(tmp, f"r{i // len(sources):03d}_{src.name}"))
        os.rename(tmp, folder)
    files = sorted(os.path.join(folder, f) for f in os.listdir(folder))
    return folder, files, sum(mb(f) for f in files)


def run_batch(folder, name, out, *extra):
    args = [sys.executable, "-m", "quarnel", "batch", folder, "--table", name, "-o", out, "-j", "2",
            "--no-progress", *extra]
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.perf_counter()
    proc = subprocess.run(args, capture_output=True, text=True, cwd=tempfile.gettempdir())
    wall = time.perf_counter() - started
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if proc.returncode != 0:
        raise SystemExit(proc.stderr)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return float(re.search(r" in ([0-9.]+) s \(", proc.stderr).group(1)), cpu / wall, cpu


def worker_cpu(client):
    import psutil

    return sum(client.run(lambda: sum(psutil.Process().cpu_times()[:2])).values())


def measure(client, work):
    before = worker_cpu(client)
    started = time.perf_counter()
    work()
    seconds = time.perf_counter() - started
    return seconds, (worker_cpu(client) - before) / seconds


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--models", type=int, default=1000)
    ap.add_argument("--table", default="psets")
    ap.add_argument("--repeat", type=int, default=3)
    args = ap.parse_args()

    import distributed

    import quarnel.dask

    folder, files, size = fleet(args.models)
    quarnel.dask.read_table(files[:1], args.table)  # imports dask.dataframe outside the timing
    graphs = []
    for _ in range(args.repeat):
        started = time.perf_counter()
        frame = quarnel.dask.read_table(folder, args.table)
        graphs.append(time.perf_counter() - started)
    graph = statistics.median(graphs)
    print(f"{len(files)} models, {size:.0f} MB, table {args.table}; {frame.npartitions} partitions; "
          f"building the frame: {graph * 1000:.0f} ms (no model read); median of {args.repeat}")

    rows = []
    out = tempfile.mkdtemp(prefix="quarnel-bench-")
    seconds = {}
    try:
        for workers in (1, 2):
            with distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                          dashboard_address=None) as cluster, distributed.Client(cluster) as client:
                # Warm the workers (imports, first pages of the files) outside the timing.
                quarnel.dask.read_table(files[:len(files) // 10], args.table).map_partitions(len).sum().compute()
                for label, work in (
                    ("rows counted", lambda: quarnel.dask.read_table(folder, args.table)
                        .map_partitions(len).sum().compute()),
                    ("to_parquet", lambda: quarnel.dask.read_table(folder, args.table)
                        .to_parquet(os.path.join(out, f"dask{workers}"), write_metadata_file=False)),
                ):
                    runs = [measure(client, work) for _ in range(args.repeat)]
                    secs = statistics.median(r[0] for r in runs)
                    seconds[(label, workers)] = secs
                    cores = statistics.median(r[1] for r in runs)
                    rows.append([f"quarnel.dask, {label}", workers, f"{secs:.2f}", f"{len(files) / secs:.1f}",
                                 f"{size / secs:.0f}", f"{cores:.2f}", f"{size / (secs * cores):.0f}"])
        for label, extra, target in (("quarnel batch -j 2, one Parquet file", (), "x.parquet"),
                                     ("quarnel batch -j 2 --dataset", ("--dataset",), "dataset")):
            runs = [run_batch(folder, args.table, os.path.join(out, target), *extra) for _ in range(args.repeat)]
            secs = statistics.median(r[0] for r in runs)
            seconds[(label, 2)] = secs
            cores = statistics.median(r[1] for r in runs)
            cpu = statistics.median(r[2] for r in runs)  # start-up included
            rows.append([label, "2 threads", f"{secs:.2f}", f"{len(files) / secs:.1f}", f"{size / secs:.0f}",
                         f"{cores:.2f}", f"{size / cpu:.0f}"])
    finally:
        shutil.rmtree(out, ignore_errors=True)
    print(table(rows, ["run", "workers", "seconds", "models/s", "MB/s", "cores used", "MB per CPU second"]))
    for label in ("rows counted", "to_parquet"):
        print(f"{label}: two workers {seconds[(label, 1)] / seconds[(label, 2)]:.2f}x one worker")
    batch = seconds[("quarnel batch -j 2, one Parquet file", 2)]
    print(f"to_parquet on two workers: {batch / seconds[('to_parquet', 2)]:.2f}x the speed of quarnel batch -j 2")


if __name__ == "__main__":
    main()
