"""Same-run A/B of two builds: each call runs in a fresh interpreter per round, the builds
alternating, so that a noisy machine weighs on both alike.

    python bench/ab.py --a STAGE_A --b STAGE_B [--model FILE] [--rounds 7] [CALL ...]

STAGE_A and STAGE_B are PYTHONPATH folders holding a quarnel package (tools/stage.py prints one);
a CALL is a Python expression over `quarnel` and the model path `p`, timed in the child, or a
command line starting with "quarnel " (the model as `{p}`, a scratch folder as `{tmp}`), timed
as a whole process. Prints the medians of wall time, CPU time (user + system, every thread)
and peak RSS of each, and the ratios B / A. A and B may be the same stage, with a different
CALL for each: `--b-call` pairs every CALL of A with one of B."""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

from common import model_of, model_arguments

CALLS = {
    "extract_psets": "quarnel.extract_psets(p)",
    "read_table psets": "quarnel.read_table(p, 'psets')",
    "read_table properties": "quarnel.read_table(p, 'properties')",
    "read_table element_quantities": "quarnel.read_table(p, 'element_quantities')",
    "read_table quantities": "quarnel.read_table(p, 'quantities')",
    "read_table elements": "quarnel.read_table(p, 'elements')",
    "read_table attributes": "quarnel.read_table(p, 'attributes')",
    "read_table relations": "quarnel.read_table(p, 'relations')",
    "extract_all": "quarnel.extract_all(p)",
    "index_ifc": "quarnel.index_ifc(p)",
    "wide": "quarnel.wide(p)",
    "cli psets": "quarnel psets {p} -o {tmp}/out.parquet",
    "cli wide": "quarnel wide {p} -o {tmp}/out.parquet",
}
# The CPU and RSS of the call alone are not separable from the import's: both are reported for
# the whole child, whose import is the same in A and B.
CHILD = """
import json, resource, sys, time
import quarnel
p = sys.argv[1]
t = time.perf_counter()
{call}
wall = (time.perf_counter() - t) * 1000
u = resource.getrusage(resource.RUSAGE_SELF)
print(json.dumps([wall, (u.ru_utime + u.ru_stime) * 1000, u.ru_maxrss / 1024]))
"""


def timed(stage, call, path):
    """[wall ms, CPU ms, peak RSS MB] of one run."""
    env = dict(os.environ, PYTHONPATH=stage)
    if call.startswith("quarnel "):
        with tempfile.TemporaryDirectory() as tmp:
            args = [a.format(p=path, tmp=tmp) for a in call.split()[1:]]
            t = time.perf_counter()
            child = subprocess.Popen([sys.executable, "-m", "quarnel", *args], env=env, cwd="/",
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            _, status, usage = os.wait4(child.pid, 0)
            wall = (time.perf_counter() - t) * 1000
            child.returncode = os.waitstatus_to_exitcode(status)
        if child.returncode:
            sys.exit(f"{call}: exit status {child.returncode}")
        return [wall, (usage.ru_utime + usage.ru_stime) * 1000, usage.ru_maxrss / 1024]
    out = subprocess.run([sys.executable, "-c", CHILD.format(call=call), str(path)], env=env, check=True,
                         capture_output=True, text=True, cwd="/").stdout
    return json.loads(out.strip().splitlines()[-1])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--a", required=True)
    ap.add_argument("--b", required=True)
    ap.add_argument("--b-call", action="append", default=[], help="B's call for the CALL at the same place")
    ap.add_argument("calls", nargs="*", default=[k for k in CALLS if not k.startswith("cli ")])
    model_arguments(ap, repeat=7)
    args = ap.parse_args()
    path, size = model_of(args)
    print(f"{path.name}: {size:.0f} MB, {args.repeat} rounds, A={args.a} B={args.b}")
    for i, name in enumerate(args.calls):
        b_name = args.b_call[i] if i < len(args.b_call) else name
        call_a, call_b = CALLS.get(name, name), CALLS.get(b_name, b_name)
        a, b = [], []
        for _ in range(args.repeat):
            a.append(timed(args.a, call_a, path))
            b.append(timed(args.b, call_b, path))
        ma = [statistics.median(r[k] for r in a) for k in range(3)]
        mb_ = [statistics.median(r[k] for r in b) for k in range(3)]
        label = name if b_name == name else f"{name} | {b_name}"
        print(f"{label:32s} wall A {ma[0]:7.0f} ms B {mb_[0]:7.0f} ms B/A {mb_[0] / ma[0]:5.2f} | "
              f"CPU A {ma[1]:7.0f} B {mb_[1]:7.0f} B/A {mb_[1] / ma[1]:5.2f} | "
              f"RSS A {ma[2]:5.0f} MB ({ma[2] / size:.2f}x) B {mb_[2]:5.0f} MB ({mb_[2] / size:.2f}x)")


if __name__ == "__main__":
    main()
