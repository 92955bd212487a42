"""Same-run A/B of two builds: each call runs in a fresh interpreter per round, the builds
alternating, so that a noisy machine weighs on both alike.

    python bench/ab.py --a STAGE_A --b STAGE_B [--model FILE] [--rounds 7] [CALL ...]

STAGE_A and STAGE_B are PYTHONPATH folders holding a quarnel package (tools/stage.py prints one);
a CALL is a Python expression over `quarnel` and the model path `p`, timed in the child. Prints
the median milliseconds of each and the ratio B / A."""

import argparse
import json
import os
import statistics
import subprocess
import sys

from common import model_of, model_arguments

CALLS = {
    "extract_psets": "quarnel.extract_psets(p)",
    "read_table psets": "quarnel.read_table(p, 'psets')",
    "read_table properties": "quarnel.read_table(p, 'properties')",
    "read_table element_quantities": "quarnel.read_table(p, 'element_quantities')",
    "read_table elements": "quarnel.read_table(p, 'elements')",
    "read_table attributes": "quarnel.read_table(p, 'attributes')",
    "read_table relations": "quarnel.read_table(p, 'relations')",
    "extract_all": "quarnel.extract_all(p)",
    "index_ifc": "quarnel.index_ifc(p)",
}
CHILD = """
import json, sys, time
import quarnel
p = sys.argv[1]
t = time.perf_counter()
{call}
print(json.dumps((time.perf_counter() - t) * 1000))
"""


def timed(stage, call, path):
    env = dict(os.environ, PYTHONPATH=stage)
    out = subprocess.run([sys.executable, "-c", CHILD.format(call=call), str(path)], env=env, check=True,
                         capture_output=True, text=True, cwd="/").stdout
    return json.loads(out.strip().splitlines()[-1])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--a", required=True)
    ap.add_argument("--b", required=True)
    ap.add_argument("calls", nargs="*", default=list(CALLS))
    model_arguments(ap, repeat=7)
    args = ap.parse_args()
    path, size = model_of(args)
    print(f"{path.name}: {size:.0f} MB, {args.repeat} rounds, A={args.a} B={args.b}")
    for name in args.calls:
        call = CALLS.get(name, name)
        a, b = [], []
        for _ in range(args.repeat):
            a.append(timed(args.a, call, path))
            b.append(timed(args.b, call, path))
        ma, mb_ = statistics.median(a), statistics.median(b)
        print(f"{name:32s} A {ma:8.0f} ms   B {mb_:8.0f} ms   B/A {mb_ / ma:5.2f}")


if __name__ == "__main__":
    main()
