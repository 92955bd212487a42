"""analyse_drift on scaled extrusion models (office_a), against IfcOpenShell's geometry iterator.

    python bench/bench_extrusion.py [--big 50] [--small 6] [--runs 5] [--ios-runs 1] [--shares]

The big model (office_a x 50, about 232 MB) gives MB/s, triangles per second and peak RSS against
the file size, with the scan floor (scan_floor split) measured in the same run. The small model
(office_a x 6, about 27 MB) is meshed by both analyse_drift and IfcOpenShell's iterator (one
thread, world coordinates, no opening subtraction, the file's own unit) for the same products.
--shares also prints, per corpus model, the share of products with a representation that get a
mesh, and how many of those are extrusions. Every measurement runs in a fresh process so that
peak RSS belongs to that run alone. Reports medians and the spread of the runs.
"""

import argparse
import os
import pathlib
import statistics

from common import DATA, IFCOPENSHELL_ITERATOR, SHARED, run_json, scaled_model, scan_floor_seconds

SOURCE = SHARED / "corpus" / "office_a_20110811.ifc"

OURS = r"""
import json, resource, sys, time
import quarnel._core as core
t = time.perf_counter()
r = core.analyse_drift(sys.argv[1])
wall = (time.perf_counter() - t) * 1000
out = {
    "wall_ms": wall, "total_ms": r["total_ms"], "entity_table_ms": r["entity_table_ms"],
    "mesh_emission_ms": r["mesh_emission_ms"], "products": len(r["guid"]),
    "extrusions": sum(s == "extrusion" for s in r["source"]), "triangles": sum(r["triangle_count"]),
    "peak_rss_mb": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024,
}
if len(sys.argv) > 2:
    json.dump(r["guid"], open(sys.argv[2], "w"))
print(json.dumps(out))
"""


SHARES = r"""
import json, sys
import quarnel._core as core
rows = {}
for path in sys.argv[1:]:
    r = core.analyse_drift(path)
    rows[path] = [len(r["guid"]), sum(s == "extrusion" for s in r["source"])]
print(json.dumps(rows))
"""

REPRESENTED = r"""
import json, sys
import ifcopenshell
rows = {}
for path in sys.argv[1:]:
    try:
        model = ifcopenshell.open(path)
    except Exception:
        rows[path] = None
        continue
    spatial = ("IfcSite", "IfcBuilding", "IfcBuildingStorey", "IfcProject")
    rows[path] = sum(1 for p in model.by_type("IfcProduct") if p.Representation is not None and p.is_a() not in spatial)
print(json.dumps(rows))
"""


def med(rows, key):
    return statistics.median(r[key] for r in rows)


def line(name, rows, key):
    lo, hi = min(r[key] for r in rows), max(r[key] for r in rows)
    print(f"  {name:30} {med(rows, key):10.1f} {lo:10.1f}..{hi:<10.1f}")


def big_model(copies, runs):
    path = scaled_model(SOURCE.name, copies)
    size_mb = os.path.getsize(path) / 1e6
    ours, floors = [], []
    for _ in range(runs):  # interleaved, so both see the same load
        ours.append(run_json(OURS, str(path)))
        floors.append({"floor_ms": scan_floor_seconds(path, repeat=1) * 1000})
    print(f"analyse_drift on {path.name}: {size_mb:.1f} MB, {ours[0]['products']} meshes "
          f"({ours[0]['extrusions']} extrusions), {ours[0]['triangles']} triangles; {runs} runs")
    print(f"  {'measure':30} {'median':>10} {'min..max':>22}")
    for key in ("entity_table_ms", "mesh_emission_ms", "total_ms", "wall_ms", "peak_rss_mb"):
        line(key, ours, key)
    line("scan floor split ms", floors, "floor_ms")
    total, floor = med(ours, "total_ms"), med(floors, "floor_ms")
    print(f"  MB/s (total_ms): {size_mb / (total / 1000):.0f}; scan floor MB/s: {size_mb / (floor / 1000):.0f}; "
          f"total / floor: {total / floor:.1f}x")
    print(f"  triangles per second: {ours[0]['triangles'] / (med(ours, 'mesh_emission_ms') / 1000) / 1e6:.2f} M "
          f"(mesh emission), {ours[0]['triangles'] / (total / 1000) / 1e6:.2f} M (whole call)")
    print(f"  peak RSS / file size: {med(ours, 'peak_rss_mb') / (size_mb / 1.048576):.2f}x")


def against_ifcopenshell(copies, runs, ios_runs):
    if ios_runs < 1:
        return
    path = scaled_model(SOURCE.name, copies)
    size_mb = os.path.getsize(path) / 1e6
    guids = DATA / "bench_extrusion_guids.json"
    ours = [run_json(OURS, str(path), str(guids)) for _ in range(runs)]
    ios = [run_json(IFCOPENSHELL_ITERATOR, str(path), str(guids)) for _ in range(ios_runs)]
    print(f"\nsame products on {path.name}: {size_mb:.1f} MB; analyse_drift {ours[0]['products']} meshes, "
          f"{ours[0]['triangles']} triangles; IfcOpenShell {ios[0]['shapes']} shapes, {ios[0]['triangles']} "
          f"triangles (1 thread); {runs} and {ios_runs} runs")
    print(f"  {'measure':30} {'median':>10} {'min..max':>22}")
    line("analyse_drift total_ms", ours, "total_ms")
    line("analyse_drift peak_rss_mb", ours, "peak_rss_mb")
    line("IfcOpenShell open_ms", ios, "open_ms")
    line("IfcOpenShell iterator_ms", ios, "iterator_ms")
    line("IfcOpenShell peak_rss_mb", ios, "peak_rss_mb")
    print(f"  speed-up (open + iterator vs total_ms): {med(ios, 'total_ms') / med(ours, 'total_ms'):.0f}x; "
          f"iterator alone: {med(ios, 'iterator_ms') / med(ours, 'total_ms'):.0f}x; "
          f"peak RSS ratio: {med(ios, 'peak_rss_mb') / med(ours, 'peak_rss_mb'):.1f}x")


def shares():
    models = [str(p) for p in sorted((SHARED / "corpus").glob("*.ifc"))]
    meshed = run_json(SHARES, *models)
    represented = run_json(REPRESENTED, *models)
    print(f"\n{'corpus model':45} {'with repr.':>10} {'meshed':>7} {'extrusion':>9} {'share':>6}")
    for path in models:
        n, (m, e) = represented[path], meshed[path]
        share = f"{100 * m / n:.0f}%" if n else "-"
        print(f"{pathlib.Path(path).name:45} {str(n):>10} {m:7} {e:9} {share:>6}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--big", type=int, default=50)
    ap.add_argument("--small", type=int, default=6)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--ios-runs", type=int, default=1)
    ap.add_argument("--shares", action="store_true")
    args = ap.parse_args()
    big_model(args.big, args.runs)
    against_ifcopenshell(args.small, args.runs, args.ios_runs)
    if args.shares:
        shares()


if __name__ == "__main__":
    main()
