"""The complete element tables against read_table("psets") on a large model, in the same run.

read_table("properties") (every property, inherited ones included, twelve columns), the
attributes, all_attributes and relations tables are set against read_table("psets") (single
values of occurrences, five columns), and quarnel.wide against the same. Each repetition runs in a fresh child that imports quarnel and pyarrow first
and then times the calls in alternating order, so that neither sees a warmer cache.

usage: python bench/bench_properties.py [--model PATH | --copies 50] [--repeat 3]
"""
import argparse
import pathlib
import statistics

from common import model_arguments, model_of, run_child, table

TIMINGS = """
import sys, time
import pyarrow, pyarrow.compute, numpy
import quarnel
path, order = sys.argv[1], sys.argv[2].split(',')
_R = {}
for step in order:
    t = time.perf_counter()
    if step == 'wide':
        result = quarnel.wide(path)
        _R['wide_columns'] = result.num_columns
    else:
        result = quarnel.read_table(path, step)
    _R[step + '_ms'] = (time.perf_counter() - t) * 1000
    _R[step + '_rows'] = result.num_rows
    del result
"""

STEPS = ("psets", "properties", "element_quantities", "elements", "attributes", "all_attributes", "relations", "wide")


def main():
    ap = argparse.ArgumentParser()
    model_arguments(ap)
    args = ap.parse_args()

    path, size = model_of(args)
    runs = []
    for i in range(args.repeat):
        order = STEPS if i % 2 == 0 else tuple(reversed(STEPS))
        runs.append(run_child(TIMINGS, path, ",".join(order)))
    med = {k: statistics.median(r[k] for r in runs) for k in runs[0]}
    base = med["psets_ms"]
    rows = []
    for step in STEPS:
        ms = med[step + "_ms"]
        rows.append([f'read_table("{step}")' if step != "wide" else "wide", f"{med[step + '_rows']:,.0f}",
                     f"{ms:.0f}", f"{size / ms * 1000:.0f}", f"{ms / base:.2f}"])
    print(f"model: {pathlib.Path(path).name}, {size:.0f} MB, median of {args.repeat} runs; "
          f"wide: {med['wide_columns']:.0f} columns")
    print(table(rows, ["call", "rows", "ms", "MB/s", "x psets"]))
    print(f"\nproperties / psets: {med['properties_ms'] / base:.2f} (target 1.25); "
          f"wide / psets: {med['wide_ms'] / base:.2f} (target 3)")


if __name__ == "__main__":
    main()
