"""Running the quarnel command as a user does, and reading its tables back."""

import json
import math
from collections import Counter

import pyarrow.csv as pcsv
import pyarrow.parquet as pq
import pytest

from quarnel.cli import main

from conftest import CORPUS, SAMPLE, ifc_text


# Texts that need JSON and CSV escapes, and a drift row whose centre and ratio are not numbers
# (the mesh spans y from -inf to inf once in single precision).
AWKWARD = ifc_text("""
#1=IFCWALL('2O2Fr$t4X7Zf8NOew3FLOH',$,'w',$,$,#12,#16,$,$);
#2=IFCPROPERTYSINGLEVALUE('Say "hi", twice',$,IFCTEXT('back\\\\slash "quoted"\\X2\\000A0009\\X0\\end'),$);
#3=IFCPROPERTYSINGLEVALUE('Plain',$,IFCLABEL('x'),$);
#4=IFCPROPERTYSET('3O2Fr$t4X7Zf8NOew3FLOH',$,'P\\X2\\000A\\X0\\s',$,(#2,#3));
#5=IFCRELDEFINESBYPROPERTIES('4O2Fr$t4X7Zf8NOew3FLOH',$,$,$,(#1),#4);
#10=IFCCARTESIANPOINT((0.,0.,0.));
#11=IFCAXIS2PLACEMENT3D(#10,$,$);
#12=IFCLOCALPLACEMENT($,#11);
#13=IFCCARTESIANPOINTLIST3D(((0.,-1.E39,0.),(1.,1.E39,0.),(0.,0.,1.)));
#14=IFCTRIANGULATEDFACESET(#13,$,$,((1,2,3)),$);
#15=IFCSHAPEREPRESENTATION($,'Body','Tessellation',(#14));
#16=IFCPRODUCTDEFINITIONSHAPE($,$,(#15));
""")


@pytest.fixture(params=["sample", "awkward", "corpus"])
def model(request, write_ifc):
    """The sample, AWKWARD and a corpus model (skipped when ../shared is absent)."""
    if request.param == "corpus":
        if not CORPUS.is_dir():
            pytest.skip("../shared/corpus is not present")
        return str(CORPUS / "duplex.ifc")
    return str(SAMPLE) if request.param == "sample" else write_ifc(AWKWARD, raw=True)


def cli(capsys, *args):
    """Run the command in this process: (exit status, standard output, standard error)."""
    try:
        status = main([str(a) for a in args])
    except SystemExit as done:  # usage errors and --help
        status = done.code
    out = capsys.readouterr()
    return status, out.out, out.err


def strict_json(text):
    """JSON Lines parsed strictly: NaN and Infinity are not JSON."""
    def refuse(constant):
        raise ValueError(f"not JSON: {constant}")
    return [json.loads(line, parse_constant=refuse) for line in text.splitlines()]


def same(value, fmt):
    """A value as it reads back from a file of `fmt`: JSON has no non-finite numbers; CSV tells
    neither null from empty text nor from NaN; NaN made comparable."""
    if isinstance(value, float) and not math.isfinite(value):
        if fmt == "jsonl" or (fmt == "csv" and value != value):
            return None
        return "nan" if value != value else value
    return None if fmt == "csv" and value == "" else value


def rows(table, fmt="parquet"):
    """A table's rows as a multiset (rows from hash maps have no order)."""
    columns = table.to_pydict() if hasattr(table, "to_pydict") else table
    return Counter(tuple(same(v, fmt) for v in row) for row in zip(*columns.values()))


def read_back(path, fmt, schema):
    """The rows of a written file; `schema` types the CSV columns."""
    if fmt == "parquet":
        return pq.read_table(path)
    if fmt == "jsonl":
        records = strict_json(open(path, encoding="utf-8").read())
        assert all(list(r) == schema.names for r in records)
        return {name: [r[name] for r in records] for name in schema.names}
    types = {f.name: f.type.value_type if hasattr(f.type, "value_type") else f.type for f in schema}
    return pcsv.read_csv(path, parse_options=pcsv.ParseOptions(newlines_in_values=True),
                         convert_options=pcsv.ConvertOptions(column_types=types))
