"""Canonical digest of every native function's result on every corpus model, to show that a change to
the core leaves the results as they were.

Every table of the Arrow face (read_tables) is digested beside them, under "read_tables".

usage: python tools/compare_results.py OUT.json [--models A.ifc ...] [--keep-rows]
       python tools/compare_results.py --against BASE.json [--models ...]

Rows come from hash maps in no fixed order, so each table is digested as a sorted multiset of rows;
timings (keys ending in _ms) are dropped and floats are written with repr, so equal means bit-equal.
With --keep-rows the rows themselves are stored, and a later --against names the rows that differ.
"""
import argparse
import hashlib
import json
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
FUNCTIONS = ["index_ifc", "extract_psets", "extract_quantities", "extract_materials",
             "extract_classifications", "extract_all", "analyse_drift"]


def default_models():
    corpus = sorted((ROOT.parent.parent / "shared" / "corpus").glob("*.ifc"))
    if not corpus:
        corpus = sorted(pathlib.Path("/work/shared/corpus").glob("*.ifc"))
    return corpus + [ROOT / "examples" / "sample_building.ifc"]


def canon(value):
    if isinstance(value, float):
        return repr(value)
    if isinstance(value, dict):
        return {k: canon(v) for k, v in sorted(value.items())}
    if isinstance(value, (list, tuple)):
        return [canon(v) for v in value]
    return value


def is_table(value):
    return (isinstance(value, dict) and value and all(isinstance(v, list) for v in value.values())
            and len({len(v) for v in value.values()}) == 1)


def split(result, prefix=""):
    """Yields (name, rows or scalar) for every table and scalar of one result, timings dropped."""
    scalars = {}
    for key, value in result.items():
        if key.endswith("_ms") or isinstance(value, list):
            continue
        if is_table(value):
            names = list(value)
            rows = sorted(json.dumps(canon([value[n][i] for n in names])) for i in range(len(value[names[0]])))
            yield prefix + key, {"columns": names, "rows": rows}
        elif isinstance(value, dict) and value and all(isinstance(v, dict) for v in value.values()):
            yield from split(value, prefix + key + ".")
        else:
            scalars[key] = canon(value)
    # Functions returning one table hold its columns at the top level.
    columns = [k for k, v in result.items() if isinstance(v, list)]
    if columns and len({len(result[k]) for k in columns}) == 1:
        rows = sorted(json.dumps(canon([result[n][i] for n in columns])) for i in range(len(result[columns[0]])))
        yield prefix + "(rows)", {"columns": columns, "rows": rows}
    yield prefix + "(scalars)", scalars


def key_order(value):
    """The keys of a result and of every dict inside it, in the order the result gives them."""
    if not isinstance(value, dict) or (value and all(isinstance(v, int) for v in value.values())):
        return None  # a value, or a mapping of names to counts whose order is the data's own
    return [[k, key_order(v)] for k, v in value.items()]


def digest(path, function, keep_rows):
    from quarnel import _core
    try:
        result = getattr(_core, function)(str(path))
    except Exception as exc:  # noqa: BLE001 - a raised error is a result too
        return {"error": f"{type(exc).__name__}: {exc}"}
    out = {"(key order)": key_order(result)}
    for name, part in split(result):
        if isinstance(part, dict) and "rows" in part:
            text = json.dumps(part["columns"]) + "\n" + "\n".join(part["rows"])
            entry = {"columns": part["columns"], "count": len(part["rows"]),
                     "sha256": hashlib.sha256(text.encode()).hexdigest()}
            if keep_rows:
                entry["rows"] = part["rows"]
            out[name] = entry
        else:
            out[name] = part
    return out


def arrow_digest(path, keep_rows):
    """Every table of the Arrow face, each as a multiset of rows plus its schema."""
    import quarnel
    from quarnel.registry import TABLES
    try:
        tables = quarnel.read_tables(str(path), list(TABLES))
    except Exception as exc:  # noqa: BLE001
        return {"error": f"{type(exc).__name__}: {exc}"}
    out = {}
    for name, table in tables.items():
        columns = table.column_names
        data = [table.column(c).to_pylist() for c in columns]
        rows = sorted(json.dumps(canon(list(r))) for r in zip(*data))
        text = json.dumps([f"{f.name}:{f.type}" for f in table.schema]) + "\n" + "\n".join(rows)
        entry = {"columns": list(columns), "count": len(rows), "sha256": hashlib.sha256(text.encode()).hexdigest()}
        if keep_rows:
            entry["rows"] = rows
        out[name] = entry
    return out


def collect(models, keep_rows):
    return {pathlib.Path(m).name: {**{f: digest(m, f, keep_rows) for f in FUNCTIONS},
                                   "read_tables": arrow_digest(m, keep_rows)} for m in models}


def compare(base, now):
    """Lists the differences between two digests; empty when identical."""
    diffs = []
    for model in sorted(set(base) | set(now)):
        if model not in base or model not in now:
            diffs.append(f"{model}: only in {'baseline' if model in base else 'current'}")
            continue
        for function in [*FUNCTIONS, "read_tables"]:
            b, n = base[model].get(function, {}), now[model].get(function, {})
            for part in sorted(set(b) | set(n)):
                bp, np_ = b.get(part), n.get(part)
                if isinstance(bp, dict) and "sha256" in bp and isinstance(np_, dict) and "sha256" in np_:
                    if bp["sha256"] == np_["sha256"]:
                        continue
                    line = f"{model} {function} {part}: {bp['count']} rows -> {np_['count']} rows"
                    if "rows" in bp and "rows" in np_:
                        gone = sorted(set(bp["rows"]) - set(np_["rows"]))[:3]
                        new = sorted(set(np_["rows"]) - set(bp["rows"]))[:3]
                        line += "".join(f"\n    - {r}" for r in gone) + "".join(f"\n    + {r}" for r in new)
                    diffs.append(line)
                elif bp != np_:
                    diffs.append(f"{model} {function} {part}: {json.dumps(bp)[:300]} -> {json.dumps(np_)[:300]}")
    return diffs


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("out", nargs="?")
    ap.add_argument("--against")
    ap.add_argument("--models", nargs="*")
    ap.add_argument("--keep-rows", action="store_true")
    args = ap.parse_args()
    models = [pathlib.Path(m) for m in args.models] if args.models else default_models()
    now = collect(models, args.keep_rows or bool(args.against))
    if args.out:
        pathlib.Path(args.out).write_text(json.dumps(now, indent=1, sort_keys=True))
    if args.against:
        base = json.loads(pathlib.Path(args.against).read_text())
        if args.models:
            base = {k: v for k, v in base.items() if k in now}
        diffs = compare(base, now)
        for line in diffs:
            print(line)
        print(f"{len(models)} models x {len(FUNCTIONS)} functions: "
              + ("identical" if not diffs else f"{len(diffs)} differences"))
        return 1 if diffs else 0
    return 0


if __name__ == "__main__":
    sys.exit(main())
