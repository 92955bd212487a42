"""Helpers shared by the benchmarks: test models, the scan floor, child processes."""
import json
import os
import pathlib
import statistics
import subprocess
import sys

BENCH = pathlib.Path(__file__).resolve().parent
ROOT = BENCH.parent
SHARED = ROOT.parent / "shared"
DATA = BENCH / "data"


def scaled_model(source="office_a_20110811.ifc", copies=50):
    """N disjoint copies of a corpus model, made once and kept in bench/data."""
    DATA.mkdir(exist_ok=True)
    out = DATA / f"{pathlib.Path(source).stem}_x{copies}.ifc"
    if not out.exists():
        subprocess.run(
            [sys.executable, str(SHARED / "tools" / "scale_ifc.py"), str(SHARED / "corpus" / source), str(copies), str(out)],
            check=True,
        )
    return out


def model_arguments(ap, copies=50, repeat=3):
    """--model (an IFC file), or --copies of office_a made by scale_ifc.py; --repeat."""
    ap.add_argument("--model", type=pathlib.Path, help="an IFC file (default: office_a x --copies in bench/data)")
    ap.add_argument("--copies", type=int, default=copies)
    ap.add_argument("--repeat", type=int, default=repeat)


def model_of(args):
    """The model the arguments name, and its size in MB."""
    path = args.model or scaled_model(copies=args.copies)
    return path, mb(path)


def scan_floor_binary():
    """The scan floor program, built from ../shared/tools/scan_floor.c when missing or stale."""
    exe = BENCH / "scan_floor"
    src = SHARED / "tools" / "scan_floor.c"
    if not exe.exists() or exe.stat().st_mtime < src.stat().st_mtime:
        subprocess.run(["gcc", "-O2", "-o", str(exe), str(src)], check=True)
    return exe


def scan_floor_seconds(path, mode="split", repeat=3):
    """Median time of the minimal statement splitter on the same file."""
    exe = scan_floor_binary()
    times = []
    for _ in range(repeat):
        out = subprocess.run([str(exe), mode, str(path)], check=True, capture_output=True, text=True).stdout
        times.append(json.loads(out)["seconds"])
    return statistics.median(times)


def run_json(code, *args):
    """Runs `code` in a fresh interpreter outside the checkout (so the installed quarnel is
    imported); returns the JSON object on its last line of output."""
    out = subprocess.run([sys.executable, "-c", code, *map(str, args)], check=True, capture_output=True, text=True,
                         cwd="/tmp")
    return json.loads(out.stdout.strip().splitlines()[-1])


def run_child(code, *args):
    """Runs `code` in a fresh interpreter; it prints one JSON object. Adds its peak RSS in MB."""
    wrapper = code + "\nimport resource as _r, json as _j\n_R['peak_rss_mb'] = _r.getrusage(_r.RUSAGE_SELF).ru_maxrss / 1024\nprint(_j.dumps(_R))\n"
    out = subprocess.run([sys.executable, "-c", wrapper, *map(str, args)], check=True, capture_output=True, text=True)
    return json.loads(out.stdout.strip().splitlines()[-1])


def mb(path):
    return os.path.getsize(path) / 1e6


def table(rows, headers):
    lines = ["| " + " | ".join(headers) + " |", "|" + "---|" * len(headers)]
    lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(lines)


# IfcOpenShell's geometry iterator over the products whose GlobalIds are listed in the JSON file
# argv[2]: world coordinates, no opening subtraction, the file's own length unit.
IFCOPENSHELL_ITERATOR = r"""
import json, resource, sys, time
import ifcopenshell, ifcopenshell.geom
guids = json.load(open(sys.argv[2]))
t = time.perf_counter()
f = ifcopenshell.open(sys.argv[1])
open_ms = (time.perf_counter() - t) * 1000
s = ifcopenshell.geom.settings()
s.set("use-world-coords", True)
s.set("disable-opening-subtractions", True)
s.set("convert-back-units", True)
products = [f.by_guid(g) for g in guids]
t = time.perf_counter()
it = ifcopenshell.geom.iterator(s, f, 1, include=products)
triangles = shapes = 0
if it.initialize():
    while True:
        shape = it.get()
        shapes += 1
        triangles += len(shape.geometry.faces) // 3
        if not it.next():
            break
iter_ms = (time.perf_counter() - t) * 1000
print(json.dumps({"open_ms": open_ms, "iterator_ms": iter_ms, "total_ms": open_ms + iter_ms, "shapes": shapes,
                  "triangles": triangles, "peak_rss_mb": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024}))
"""
