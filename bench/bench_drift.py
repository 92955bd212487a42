"""analyse_drift on a scaled brep/face-set model, against IfcOpenShell's geometry iterator.

    python bench/bench_drift.py [--model issue_021_mini_project.ifc] [--copies 8] [--runs 5] [--ios-runs 1]
                                [--ios-copies N]

--ios-copies runs IfcOpenShell on a smaller scaled copy of the same model (it takes about a
minute per copy of office_a); the comparison is then per meshed product.

Each measurement runs in a fresh process so that peak RSS belongs to that run alone.
Reports medians; the scan floor (scan_floor split) is measured in the same run.
"""

import argparse
import json
import os
import statistics

from common import IFCOPENSHELL_ITERATOR, SHARED, run_json, scaled_model, scan_floor_seconds

SOURCE = SHARED / "corpus" / "issue_021_mini_project.ifc"

OURS = r"""
import json, resource, sys, time
import quarnel._core as core
t = time.perf_counter()
r = core.analyse_drift(sys.argv[1])
wall = (time.perf_counter() - t) * 1000
print(json.dumps({
    "wall_ms": wall, "total_ms": r["total_ms"], "entity_table_ms": r["entity_table_ms"],
    "mesh_emission_ms": r["mesh_emission_ms"], "products": len(r["guid"]),
    "triangles": sum(r["triangle_count"]), "faceted": sum(s != "extrusion" and s != "mapped" for s in r["source"]),
    "peak_rss_mb": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024,
    "guids": r["guid"],
}))
"""



def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--model", default=SOURCE.name, help="corpus model to scale")
    ap.add_argument("--copies", type=int, default=8)
    ap.add_argument("--ios-copies", type=int, default=None, help="copies for IfcOpenShell (default: --copies)")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--ios-runs", type=int, default=1, help="0 skips IfcOpenShell (it takes minutes)")
    args = ap.parse_args()

    path = scaled_model(args.model, args.copies)
    size_mb = os.path.getsize(path) / 1e6
    print(f"model: {path.name}, {size_mb:.1f} MB")

    ours = [run_json(OURS, str(path)) for _ in range(args.runs)]
    floors = [scan_floor_seconds(path, repeat=1) * 1000 for _ in range(args.runs)]
    ios_path = path if args.ios_copies in (None, args.copies) else scaled_model(args.model, args.ios_copies)
    ios_ours = ours[0] if ios_path == path else run_json(OURS, str(ios_path))
    guids_file = path.parent / "bench_drift_guids.json"
    guids_file.write_text(json.dumps(ios_ours["guids"]))
    ios = [run_json(IFCOPENSHELL_ITERATOR, str(ios_path), str(guids_file)) for _ in range(args.ios_runs)]

    med = lambda rows, key: statistics.median(r[key] for r in rows)
    spread = lambda rows, key: (min(r[key] for r in rows), max(r[key] for r in rows))
    table = med(ours, "entity_table_ms")
    emission = med(ours, "mesh_emission_ms")
    total = med(ours, "total_ms")
    floor = statistics.median(floors)
    tris = ours[0]["triangles"]
    print(f"products meshed: {ours[0]['products']} ({ours[0]['faceted']} from breps/face sets), triangles: {tris}")
    print(f"{'measure':32} {'median':>10} {'min..max':>22}")
    for key in ("entity_table_ms", "mesh_emission_ms", "total_ms", "wall_ms", "peak_rss_mb"):
        lo, hi = spread(ours, key)
        print(f"{key:32} {med(ours, key):10.1f} {lo:10.1f}..{hi:<10.1f}")
    print(f"{'scan floor split ms':32} {floor:10.1f} {min(floors):10.1f}..{max(floors):<10.1f}")
    print(f"entity table MB/s: {size_mb / (table / 1000):.0f}, scan floor MB/s: {size_mb / (floor / 1000):.0f}, "
          f"table / floor: {table / floor:.2f}x")
    print(f"triangles per second (mesh emission): {tris / (emission / 1000) / 1e6:.2f} M")
    per_product = emission / ours[0]["products"] * 1000
    print(f"mesh emission per meshed product: {per_product:.2f} us, total_ms per meshed product: "
          f"{total / ours[0]['products'] * 1000:.2f} us")
    if not ios:
        return
    for key in ("open_ms", "iterator_ms", "peak_rss_mb"):
        print(f"IfcOpenShell {key:19} {med(ios, key):10.1f}")
    print(f"IfcOpenShell shapes: {ios[0]['shapes']}, triangles: {ios[0]['triangles']} (1 thread)")
    # Per product meshed by each, so that a smaller copy for IfcOpenShell compares fairly.
    ios_iterator = med(ios, "iterator_ms") / max(ios[0]["shapes"], 1)
    ios_total = (med(ios, "open_ms") + med(ios, "iterator_ms")) / max(ios[0]["shapes"], 1)
    ours_products = ours[0]["products"]
    print(f"speed-up per meshed product, iterator vs mesh emission: {ios_iterator / (emission / ours_products):.0f}x; "
          f"open+iterator vs total_ms: {ios_total / (total / ours_products):.0f}x")


if __name__ == "__main__":
    main()
