"""index_ifc on a large model, against the scan floor and IfcOpenShell.

usage: python bench/bench_index.py [--rounds N] [--ios-rounds N] [--copies N] [--no-ios]

Makes bench/data/office_a_x{copies}.ifc with scale_ifc.py if it is missing and
builds the scan floor (scan_floor.c, mode `split`) into bench/. Every round runs
the scan floor and index_ifc each in a fresh process, so peak RSS (ru_maxrss of
the child, the mapping's resident pages included) is per call. Medians are
reported; the machine is shared, so look at the spread too.
"""

import argparse
import json
import pathlib
import statistics
import subprocess
import sys

from common import run_json, scaled_model, scan_floor_binary

HERE = pathlib.Path(__file__).resolve().parent

QUARNEL_CHILD = r"""
import json, resource, sys
import quarnel._core as core
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
r = core.index_ifc(sys.argv[1])
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print(json.dumps({"index_ms": r["index_ms"], "marshal_ms": r["marshal_ms"], "open_ms": r["open_ms"],
                  "products": len(r["products"]["step_id"]), "storeys": len(r["storeys"]["step_id"]),
                  "rss_before_kib": before, "rss_peak_kib": peak}))
"""

# The same facts index_ifc reports: header, units, products, spatial structure, relationships.
IOS_CHILD = r"""
import json, resource, sys, time
import ifcopenshell, ifcopenshell.util.unit
t0 = time.perf_counter()
m = ifcopenshell.open(sys.argv[1])
t1 = time.perf_counter()
types = json.loads(sys.argv[2])
products = 0
for t in types:
    try:
        for e in m.by_type(t, include_subtypes=False):
            products += 1
            (e.id(), e.GlobalId, e.Name, e.ObjectType, getattr(e, "Tag", None), getattr(e, "PredefinedType", None))
    except RuntimeError:
        pass
storeys = [(s.id(), s.GlobalId, s.Name, s.Elevation) for s in m.by_type("IfcBuildingStorey")]
for t in ("IfcSite", "IfcBuilding", "IfcProject", "IfcSpace"):
    [(e.id(), e.GlobalId) for e in m.by_type(t)]
pairs = 0
for rel in m.by_type("IfcRelAggregates"):
    pairs += len(rel.RelatedObjects)
for rel in m.by_type("IfcRelContainedInSpatialStructure"):
    pairs += len(rel.RelatedElements)
scale = ifcopenshell.util.unit.calculate_unit_scale(m)
apps = [a.ApplicationFullName for a in m.by_type("IfcApplication")]
t2 = time.perf_counter()
print(json.dumps({"open_ms": (t1 - t0) * 1e3, "by_type_ms": (t2 - t1) * 1e3, "products": products,
                  "storeys": len(storeys), "rss_peak_kib": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss}))
"""

def product_types():
    """The catalogued product types, as the tests list them."""
    sys.path.insert(0, str(HERE.parent / "tests"))
    from test_index import PRODUCT_TYPES

    return PRODUCT_TYPES


def run_command(cmd):
    out = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout
    return json.loads(out.strip().splitlines()[-1])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--ios-rounds", type=int, default=2)
    ap.add_argument("--copies", type=int, default=50)
    ap.add_argument("--no-ios", action="store_true")
    args = ap.parse_args()

    model = scaled_model(copies=args.copies)
    floor = scan_floor_binary()
    size = model.stat().st_size
    mb = size / 1e6

    floor_ms, index_ms, marshal_ms, ratio, rss = [], [], [], [], []
    last = None
    for _ in range(args.rounds):
        f = run_command([str(floor), "split", str(model)])["seconds"] * 1e3
        q = run_json(QUARNEL_CHILD, model)
        floor_ms.append(f)
        index_ms.append(q["index_ms"])
        marshal_ms.append(q["marshal_ms"])
        ratio.append(q["index_ms"] / f)
        rss.append(q["rss_peak_kib"] * 1024)
        last = q

    ios = None
    if not args.no_ios:
        try:
            import ifcopenshell  # noqa: F401
        except ImportError:
            print("ifcopenshell not installed: skipped", file=sys.stderr)
        else:
            runs = [run_json(IOS_CHILD, model, json.dumps(product_types()))
                    for _ in range(args.ios_rounds)]
            ios = {
                "total_ms": statistics.median(r["open_ms"] + r["by_type_ms"] for r in runs),
                "open_ms": statistics.median(r["open_ms"] for r in runs),
                "by_type_ms": statistics.median(r["by_type_ms"] for r in runs),
                "rss": statistics.median(r["rss_peak_kib"] * 1024 for r in runs),
                "products": runs[-1]["products"],
            }

    med = statistics.median
    print(f"model: {model.name}, {mb:.1f} MB, {last['products']} products, {last['storeys']} storeys; "
          f"{args.rounds} rounds, medians (min-max)\n")
    print("| measure | value | target |")
    print("|---|---|---|")
    print(f"| scan floor (split) | {med(floor_ms):.0f} ms ({min(floor_ms):.0f}-{max(floor_ms):.0f}), "
          f"{mb / med(floor_ms) * 1e3:.0f} MB/s | |")
    print(f"| index_ms | {med(index_ms):.0f} ms ({min(index_ms):.0f}-{max(index_ms):.0f}), "
          f"{mb / med(index_ms) * 1e3:.0f} MB/s | |")
    print(f"| index_ms / scan floor (same round) | {med(ratio):.2f}x ({min(ratio):.2f}-{max(ratio):.2f}) | <= 2x |")
    print(f"| marshal_ms | {med(marshal_ms):.1f} ms ({min(marshal_ms):.1f}-{max(marshal_ms):.1f}) | |")
    print(f"| peak RSS (child process) | {med(rss) / 1e6:.0f} MB = {med(rss) / size:.2f}x file "
          f"(interpreter before the call: {last['rss_before_kib'] * 1024 / 1e6:.0f} MB) | <= 1.5x |")
    if ios:
        total = med(index_ms) + med(marshal_ms)
        print(f"| IfcOpenShell open + by_type | {ios['total_ms']:.0f} ms (open {ios['open_ms']:.0f}, "
              f"by_type {ios['by_type_ms']:.0f}), {ios['products']} products | |")
        print(f"| IfcOpenShell / index_ifc (index + marshal) | {ios['total_ms'] / total:.1f}x | >= 10x |")
        print(f"| IfcOpenShell peak RSS | {ios['rss'] / 1e6:.0f} MB = {ios['rss'] / size:.1f}x file | |")


if __name__ == "__main__":
    main()
