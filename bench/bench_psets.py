"""extract_psets on a large model against the scan floor and IfcOpenShell.

usage: python bench/bench_psets.py [--copies 50] [--repeat 3] [--no-ifcopenshell]
"""
import argparse
import statistics

from common import mb, run_child, scaled_model, scan_floor_seconds, table

QUARNEL = """
import sys, time
from quarnel import _core
t = time.perf_counter()
r = _core.extract_psets(sys.argv[1])
total = (time.perf_counter() - t) * 1000
_R = {k: v for k, v in r.items() if k.endswith('_ms')}
_R['call_ms'] = total
_R['rows'] = len(r['guid'])
"""

IFCOPENSHELL = """
import sys, time
import ifcopenshell
t = time.perf_counter()
model = ifcopenshell.open(sys.argv[1])
rows = []
for rel in model.by_type('IfcRelDefinesByProperties'):
    d = rel.RelatingPropertyDefinition
    if d is None or d.is_a() != 'IfcPropertySet':
        continue
    props = [p for p in d.HasProperties or () if p.is_a() == 'IfcPropertySingleValue']
    for o in rel.RelatedObjects or ():
        for p in props:
            v = p.NominalValue
            rows.append((o.GlobalId, d.Name, p.Name, None if v is None else v.wrappedValue))
_R = {'call_ms': (time.perf_counter() - t) * 1000, 'rows': len(rows)}
"""


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--copies", type=int, default=50)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--no-ifcopenshell", action="store_true")
    args = ap.parse_args()

    path = scaled_model(copies=args.copies)
    size = mb(path)
    floor_ms = scan_floor_seconds(path, repeat=args.repeat) * 1000
    runs = [run_child(QUARNEL, path) for _ in range(args.repeat)]
    med = {k: statistics.median(r[k] for r in runs) for k in runs[0]}
    rows = [["scan floor (split)", f"{floor_ms:.0f}", f"{size / floor_ms * 1000:.0f}", "1.00"]]
    for key in ["entity_table_ms", "guid_index_ms", "pset_extract_ms", "marshal_ms", "call_ms"]:
        rows.append([key, f"{med[key]:.0f}", f"{size / med[key] * 1000:.0f}", f"{med[key] / floor_ms:.2f}"])
    print(f"model: {path.name}, {size:.0f} MB, {med['rows']:.0f} rows, median of {args.repeat}")
    print(table(rows, ["phase", "ms", "MB/s", "x scan floor"]))
    print(f"\nextract_psets peak RSS: {med['peak_rss_mb']:.0f} MB ({med['peak_rss_mb'] / size:.2f}x file size)")
    if not args.no_ifcopenshell:
        ios = run_child(IFCOPENSHELL, path)
        print(
            f"IfcOpenShell: {ios['call_ms'] / 1000:.1f} s, {ios['rows']} rows, peak RSS {ios['peak_rss_mb']:.0f} MB; "
            f"extract_psets is {ios['call_ms'] / med['call_ms']:.1f}x faster"
        )


if __name__ == "__main__":
    main()
