"""The Arrow face against the dict results on a large model, all measured in the same run.

read_table("psets") is set against extract_psets' own native time (open + entity table + GUID
index + pset pass, the *_ms of its result), against extract_psets followed by to_arrow, and a
pandas DataFrame of Arrow-backed columns against the same native time. Peak RSS is measured in
a child process that does nothing else.

usage: python bench/bench_arrow.py [--model PATH | --copies 50] [--repeat 3]
"""
import argparse
import statistics

from common import model_arguments, model_of, run_child, table

NATIVE_KEYS = ("open_ms", "entity_table_ms", "guid_index_ms", "pset_extract_ms")

# One child per repetition, the steps alternating so that neither sees a warmer cache.
TIMINGS = """
import sys, time
import pandas as pd
import quarnel
from quarnel import _core
path = sys.argv[1]
_R = {}
t = time.perf_counter()
r = _core.extract_psets(path)
_R['extract_psets_ms'] = (time.perf_counter() - t) * 1000
_R['native_ms'] = sum(r[k] for k in %r)
t = time.perf_counter()
quarnel.to_arrow(r)
_R['dict_to_arrow_ms'] = _R['extract_psets_ms'] + (time.perf_counter() - t) * 1000
del r
t = time.perf_counter()
table = quarnel.read_table(path, 'psets')
_R['read_table_ms'] = (time.perf_counter() - t) * 1000
_R['rows'] = table.num_rows
meta = {k.decode(): float(v) for k, v in table.schema.metadata.items() if k.endswith(b'_ms')}
_R['arrow_native_ms'] = sum(meta[k] for k in %r)
_R['arrow_build_ms'] = meta['marshal_ms']
del table
t = time.perf_counter()
frame = quarnel.read_table(path, 'psets').to_pandas(types_mapper=pd.ArrowDtype)
_R['pandas_ms'] = (time.perf_counter() - t) * 1000
assert len(frame) == _R['rows']
""" % (NATIVE_KEYS, NATIVE_KEYS)

PEAK = """
import sys
import quarnel
_R = {'rows': quarnel.read_table(sys.argv[1], sys.argv[2]).num_rows}
"""

PEAK_DICT = """
import sys
from quarnel import _core
_R = {'rows': len(_core.extract_psets(sys.argv[1])['guid'])}
"""


def main():
    ap = argparse.ArgumentParser()
    model_arguments(ap)
    args = ap.parse_args()

    path, size = model_of(args)
    runs = [run_child(TIMINGS, path) for _ in range(args.repeat)]
    med = {k: statistics.median(r[k] for r in runs) for k in runs[0]}
    native = med["native_ms"]
    rows = [
        ["extract_psets native (open + tables + pass)", native, 1.0],
        ["extract_psets call (dict of lists)", med["extract_psets_ms"], None],
        ["extract_psets + to_arrow", med["dict_to_arrow_ms"], None],
        ["read_table('psets')", med["read_table_ms"], None],
        ["  of which Arrow building", med["arrow_build_ms"], None],
        ["read_table + to_pandas(ArrowDtype)", med["pandas_ms"], None],
    ]
    print(f"model: {path.name}, {size:.0f} MB, {med['rows']:.0f} rows, median of {args.repeat}")
    print(table([[name, f"{ms:.0f}", f"{size / ms * 1000:.0f}", f"{ms / native:.2f}"] for name, ms, _ in rows],
                ["step", "ms", "MB/s", "x native"]))
    print(f"\nread_table / native: {med['read_table_ms'] / native:.2f}x (target <= 1.25x)")
    print(f"(extract_psets + to_arrow) / read_table: {med['dict_to_arrow_ms'] / med['read_table_ms']:.1f}x "
          f"(target >= 4x)")
    print(f"to_pandas(read_table) / native: {med['pandas_ms'] / native:.2f}x (target <= 1.5x)")

    peak = run_child(PEAK, path, "psets")["peak_rss_mb"]
    peak_dict = run_child(PEAK_DICT, path)["peak_rss_mb"]
    print(f"\npeak RSS, read_table('psets'): {peak:.0f} MB ({peak / size:.2f}x file size, target <= 1.6x); "
          f"extract_psets: {peak_dict:.0f} MB ({peak_dict / size:.2f}x)")


if __name__ == "__main__":
    main()
