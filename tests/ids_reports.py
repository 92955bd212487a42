"""Reports made by hand for the tests of the IDS report writers: texts that need escaping in
every format, two models, failures listed out of order, a value only on some."""
import pyarrow as pa

from quarnel.ids import Report

HOSTILE = 'Wall </script><b>x</b> & "q" \\ \x01 é'
SPECS = [("Walls " + HOSTILE, "fail", "desc <i>"), ("Doors pass", "pass", None), ("Spaces", "fail", None)]


def guid(model: int, spec: int, n: int) -> str:
    return f"{model}{spec}{n:020d}".replace("0", "A")


def make_report(failures_per_spec: int = 3, models=("a.ifc", "b.ifc")) -> Report:
    specs, rows = [], []
    for m, model in enumerate(models):
        for i, (name, status, description) in enumerate(SPECS):
            failed = failures_per_spec if status == "fail" else 0
            specs.append(dict(model=model, schema="IFC4", index=i, name=name, identifier=f"S{i}",
                              description=description, instructions=None, ifc_versions=["IFC4"], status=status,
                              applicable=failed + 2, passed=2, failed=failed, min_occurs=1, max_occurs=None))
            rows += [dict(model=model, specification=i, identifier=f"S{i}", guid=guid(m, i, n), entity="IfcWall",
                          name=f"{HOSTILE} {n}", requirement=0, facet="property",
                          reason="missing" if n % 2 else 'value "x" </script> does not match',
                          value=None if n % 2 else f"v{n}<") for n in range(failed)]
    # The checker may list failures in any order: the writers group them.
    rows = rows[1::2] + rows[0::2]
    return Report({"title": "Checks " + HOSTILE, "version": "1"}, pa.Table.from_pylist(specs),
                  pa.Table.from_pylist(rows))
