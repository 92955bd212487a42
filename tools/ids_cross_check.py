"""Verdicts of quarnel's IDS checker against ifctester's, object by object.

    python tools/ids_cross_check.py [--ids bench/office_a.ids bench/units.ids ...] [MODEL.ifc ...]
    python tools/ids_cross_check.py --testcases [DIR]   # buildingSMART's IDS test cases

For each model (default: every model in ../shared/corpus) and IDS, each specification's verdict,
applicable count and failing GlobalIds are compared; every object failed by one checker and not
by the other is listed with its entity and both sides' reasons. With --testcases, each case's
verdict (its file name starts with pass- or fail-) is compared with both checkers'.
Exits 1 when anything differs.
"""
import argparse
import pathlib
import sys
from collections import defaultdict

ROOT = pathlib.Path(__file__).resolve().parent.parent
SHARED = ROOT.parent / "shared"


def ifctester_run(ids_path, model_path):
    """Per specification: status, applicable GlobalIds, and failing GlobalId -> (entity, reasons)."""
    import ifcopenshell
    from ifctester import ids

    spec = ids.open(str(ids_path))
    spec.validate(ifcopenshell.open(str(model_path)))
    out = []
    for s in spec.specifications:
        reasons = defaultdict(list)
        for facet in s.requirements:
            for failure in getattr(facet, "failures", None) or []:
                element = failure.get("element")
                if element is not None:
                    reasons[_gid(element)].append(str(failure.get("reason")))
        failing = s.failed_entities
        if s.maxOccurs == 0 and not s.status:
            # A prohibited specification fails as a whole; quarnel names each object it applies to.
            failing = s.applicable_entities
            for e in failing:
                reasons[_gid(e)].append("prohibited")
        failed = {_gid(e): (e.is_a(), reasons.get(_gid(e), [])) for e in failing}
        out.append({"status": "pass" if s.status else "fail",
                    "applicable": {_gid(e) for e in s.applicable_entities}, "failed": failed})
    return out


def _gid(element):
    return getattr(element, "GlobalId", None) or f"#{element.id()}"


def quarnel_run(ids_path, model_path):
    from quarnel.ids import check

    report = check(str(ids_path), str(model_path))
    specs = sorted(report.specifications.to_pylist(), key=lambda r: r["index"])
    failed = defaultdict(dict)
    for f in report.failures.to_pylist():
        if f["guid"] is None:
            continue  # the specification's own failure (too few or too many objects): its status says it
        key = f["guid"]
        entity, reasons = failed[f["specification"]].get(key, (f["entity"], []))
        failed[f["specification"]][key] = (entity, reasons + [f["reason"]])
    return [{"status": r["status"], "applicable": r["applicable"], "failed": failed[r["index"]]} for r in specs]


def compare(ids_path, model_path, names):
    """Lines describing every difference; empty when both agree."""
    try:
        theirs = ifctester_run(ids_path, model_path)
    except Exception as e:  # a model ifcopenshell cannot open is no difference of ours
        return [f"  ifctester could not check it: {type(e).__name__}: {e}"]
    ours = quarnel_run(ids_path, model_path)
    lines = []
    for i, (a, b) in enumerate(zip(ours, theirs)):
        name = names[i] if i < len(names) else f"#{i}"
        head = f"  [{i}] {name}"
        if a["status"] != b["status"] or a["applicable"] != len(b["applicable"]):
            lines.append(f"{head}: quarnel {a['status']} ({a['applicable']} applicable), "
                         f"ifctester {b['status']} ({len(b['applicable'])} applicable)")
        only_ours = sorted(set(a["failed"]) - set(b["failed"]))
        only_theirs = sorted(set(b["failed"]) - set(a["failed"]))
        for side, guids, table in (("quarnel", only_ours, a["failed"]), ("ifctester", only_theirs, b["failed"])):
            by_entity = defaultdict(list)
            for g in guids:
                by_entity[table[g][0]].append(g)
            for entity, group in sorted(by_entity.items()):
                g = group[0]
                other = b["failed"].get(g) if side == "quarnel" else a["failed"].get(g)
                lines.append(f"{head}: {len(group)} {entity} fail only in {side}, e.g. {g}: "
                             f"{'; '.join(table[g][1][:2]) or '(no reason)'}"
                             + (f" | other side: {'; '.join(other[1][:2])}" if other else ""))
    if len(ours) != len(theirs):
        lines.append(f"  specifications: quarnel {len(ours)}, ifctester {len(theirs)}")
    return lines


def testcases(folder):
    """(case, expected, quarnel, ifctester) for every IDS test case whose verdicts differ."""
    import ifcopenshell
    from ifctester import ids
    from quarnel.ids import check

    out = []
    for ids_path in sorted(pathlib.Path(folder).rglob("*.ids")):
        model = ids_path.with_suffix(".ifc")
        if not model.exists():
            continue
        expected = "pass" if ids_path.name.startswith("pass-") else "fail" if ids_path.name.startswith("fail-") else None
        if expected is None:
            continue
        try:
            spec = ids.open(str(ids_path))
            spec.validate(ifcopenshell.open(str(model)))
            theirs = "pass" if all(s.status for s in spec.specifications) else "fail"
        except Exception as e:
            theirs = f"error {type(e).__name__}"
        try:
            ours = "pass" if check(str(ids_path), str(model)).passed else "fail"
        except Exception as e:
            ours = f"error {type(e).__name__}: {e}"
        if ours != expected or theirs != expected:
            out.append((str(ids_path.relative_to(folder)), expected, ours, theirs))
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("models", nargs="*", type=pathlib.Path)
    ap.add_argument("--ids", nargs="+", type=pathlib.Path, default=[ROOT / "bench" / "office_a.ids", ROOT / "bench" / "units.ids"])
    ap.add_argument("--testcases", nargs="?", const=SHARED / "ids" / "testcases", type=pathlib.Path)
    args = ap.parse_args()
    if args.testcases:
        rows = testcases(args.testcases)
        for case, expected, ours, theirs in rows:
            print(f"{case}: expected {expected}, quarnel {ours}, ifctester {theirs}")
        print(f"{len(rows)} test cases where a checker differs from the expected verdict")
        return 1 if any(ours != expected for _, expected, ours, _ in rows) else 0
    from ifctester import ids

    models = args.models or sorted((SHARED / "corpus").glob("*.ifc"))
    differing = 0
    for ids_path in args.ids:
        names = [s.name for s in ids.open(str(ids_path)).specifications]
        for model in models:
            lines = compare(ids_path, model, names)
            print(f"{ids_path.name} on {model.name}: {'same verdicts' if not lines else f'{len(lines)} differences'}")
            for line in lines:
                print(line)
            differing += bool(lines)
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
