"""Shared pieces of the robustness tests: the function list, a small model that
reaches every code path, generators of hostile files, and a canonical form of
results for comparisons where row order is not defined."""

import math
import random
import subprocess
import sys
import textwrap

import pytest

from conftest import FUNCTIONS, ifc_text

# One storey with a wall (extrusion), a slab (triangulated face set) and a
# column (mapped item), each with a property set, quantities, a material and
# a classification.
MINI_DATA = """
#1=IFCPROJECT('0YvctVUKr0kugbFTf53O9L',$,'Mini',$,$,$,$,(#20),#30);
#2=IFCSITE('1YvctVUKr0kugbFTf53O9L',$,'Site',$,$,#50,$,$,.ELEMENT.,$,$,$,$,$);
#3=IFCBUILDING('2YvctVUKr0kugbFTf53O9L',$,'Building',$,$,#51,$,$,.ELEMENT.,$,$,$);
#4=IFCBUILDINGSTOREY('3YvctVUKr0kugbFTf53O9L',$,'Ground',$,$,#52,$,$,.ELEMENT.,0.);
#5=IFCRELAGGREGATES('4YvctVUKr0kugbFTf53O9L',$,$,$,#1,(#2));
#6=IFCRELAGGREGATES('5YvctVUKr0kugbFTf53O9L',$,$,$,#2,(#3));
#7=IFCRELAGGREGATES('6YvctVUKr0kugbFTf53O9L',$,$,$,#3,(#4));
#8=IFCRELCONTAINEDINSPATIALSTRUCTURE('7YvctVUKr0kugbFTf53O9L',$,$,$,(#100,#200,#300),#4);
#20=IFCGEOMETRICREPRESENTATIONCONTEXT($,'Model',3,1.E-05,#43,$);
#30=IFCUNITASSIGNMENT((#31));
#31=IFCSIUNIT(*,.LENGTHUNIT.,.MILLI.,.METRE.);
#40=IFCCARTESIANPOINT((0.,0.,0.));
#41=IFCDIRECTION((0.,0.,1.));
#42=IFCDIRECTION((1.,0.,0.));
#43=IFCAXIS2PLACEMENT3D(#40,#41,#42);
#44=IFCCARTESIANPOINT((1000.,2000.,0.));
#45=IFCAXIS2PLACEMENT3D(#44,#41,#42);
#50=IFCLOCALPLACEMENT($,#43);
#51=IFCLOCALPLACEMENT(#50,#43);
#52=IFCLOCALPLACEMENT(#51,#43);
#53=IFCLOCALPLACEMENT(#52,#45);
#60=IFCCARTESIANPOINT((0.,0.));
#61=IFCAXIS2PLACEMENT2D(#60,$);
#62=IFCRECTANGLEPROFILEDEF(.AREA.,$,#61,4000.,200.);
#63=IFCEXTRUDEDAREASOLID(#62,#43,#41,3000.);
#64=IFCSHAPEREPRESENTATION(#20,'Body','SweptSolid',(#63));
#65=IFCPRODUCTDEFINITIONSHAPE($,$,(#64));
#70=IFCCARTESIANPOINTLIST3D(((0.,0.,0.),(1000.,0.,0.),(1000.,1000.,0.),(0.,1000.,0.),(0.,0.,200.),(1000.,0.,200.),(1000.,1000.,200.),(0.,1000.,200.)));
#71=IFCTRIANGULATEDFACESET(#70,$,.T.,((1,3,2),(1,4,3),(5,6,7),(5,7,8),(1,2,6),(1,6,5),(2,3,7),(2,7,6),(3,4,8),(3,8,7),(4,1,5),(4,5,8)),$);
#72=IFCSHAPEREPRESENTATION(#20,'Body','Tessellation',(#71));
#73=IFCPRODUCTDEFINITIONSHAPE($,$,(#72));
#80=IFCCIRCLEPROFILEDEF(.AREA.,$,#61,150.);
#81=IFCEXTRUDEDAREASOLID(#80,#43,#41,2800.);
#82=IFCSHAPEREPRESENTATION(#20,'Body','SweptSolid',(#81));
#83=IFCREPRESENTATIONMAP(#43,#82);
#84=IFCCARTESIANTRANSFORMATIONOPERATOR3D($,$,#40,1.,$);
#85=IFCMAPPEDITEM(#83,#84);
#86=IFCSHAPEREPRESENTATION(#20,'Body','MappedRepresentation',(#85));
#87=IFCPRODUCTDEFINITIONSHAPE($,$,(#86));
#100=IFCWALL('0O2Fr$t4X7Zf8NOew3FLOH',$,'Wall \\X2\\00E4\\X0\\',$,$,#53,#65,'W1',.STANDARD.);
#200=IFCSLAB('1O2Fr$t4X7Zf8NOew3FLOH',$,'Slab',$,$,#53,#73,$,.FLOOR.);
#300=IFCCOLUMN('2O2Fr$t4X7Zf8NOew3FLOH',$,'Column',$,$,#53,#87,$,.COLUMN.);
#400=IFCPROPERTYSET('3O2Fr$t4X7Zf8NOew3FLOH',$,'Pset_Common',$,(#401,#402,#403,#404));
#401=IFCPROPERTYSINGLEVALUE('IsExternal',$,IFCBOOLEAN(.T.),$);
#402=IFCPROPERTYSINGLEVALUE('Width',$,IFCLENGTHMEASURE(200.),$);
#403=IFCPROPERTYSINGLEVALUE('Reference',$,IFCIDENTIFIER('W-01'),$);
#404=IFCPROPERTYSINGLEVALUE('Note',$,$,$);
#405=IFCRELDEFINESBYPROPERTIES('4O2Fr$t4X7Zf8NOew3FLOH',$,$,$,(#100,#200,#300),#400);
#410=IFCELEMENTQUANTITY('5O2Fr$t4X7Zf8NOew3FLOH',$,'Qto_Base',$,$,(#411,#412,#413));
#411=IFCQUANTITYLENGTH('Length',$,$,4000.,$);
#412=IFCQUANTITYAREA('Area',$,#31,12.5,$);
#413=IFCQUANTITYVOLUME('Volume',$,$,2.4,$);
#414=IFCRELDEFINESBYPROPERTIES('6O2Fr$t4X7Zf8NOew3FLOH',$,$,$,(#100,#200),#410);
#420=IFCMATERIAL('Concrete',$,'Structural');
#421=IFCMATERIAL('Plaster',$,$);
#422=IFCMATERIALLAYER(#420,180.,$,'Core',$,'LoadBearing',$);
#423=IFCMATERIALLAYER(#421,20.,$,'Finish',$,$,$);
#424=IFCMATERIALLAYERSET((#422,#423),'Wall 200',$);
#425=IFCMATERIALLAYERSETUSAGE(#424,.AXIS2.,.POSITIVE.,0.,$);
#426=IFCRELASSOCIATESMATERIAL('7O2Fr$t4X7Zf8NOew3FLOH',$,$,$,(#100),#425);
#427=IFCMATERIALLIST((#420,#421));
#428=IFCRELASSOCIATESMATERIAL('8O2Fr$t4X7Zf8NOew3FLOH',$,$,$,(#200),#427);
#429=IFCRELASSOCIATESMATERIAL('9O2Fr$t4X7Zf8NOew3FLOH',$,$,$,(#300),#420);
#430=IFCCLASSIFICATION('CSI',$,$,'MasterFormat','Edition 2020',$,$);
#431=IFCCLASSIFICATIONREFERENCE('http://example.org/03',$,'03 30 00','Concrete',#430,$,$);
#432=IFCRELASSOCIATESCLASSIFICATION('AO2Fr$t4X7Zf8NOew3FLOH',$,$,$,(#100,#200,#300),#431);
"""

MINI = ifc_text(MINI_DATA)


@pytest.fixture(scope="module")
def mini(tmp_path_factory):
    """The path of MINI, written once per module."""
    path = tmp_path_factory.mktemp("mini") / "mini.ifc"
    path.write_text(MINI, encoding="latin-1")
    return str(path)


def canonical(value):
    """A comparable form of a result: timings dropped, the parallel lists of a
    dict taken as a multiset of rows, NaN made equal to itself."""
    if isinstance(value, dict):
        scalars = {}
        columns = {}
        for key, item in value.items():
            if key.endswith("_ms"):
                continue
            if isinstance(item, list):
                columns[key] = [canonical(x) for x in item]
            else:
                scalars[key] = canonical(item)
        rows = sorted(zip(*columns.values()), key=repr) if columns else []
        return (tuple(sorted(scalars.items(), key=repr)), tuple(columns), tuple(rows),
                tuple(len(c) for c in columns.values()))
    if isinstance(value, float):
        return ("nan",) if math.isnan(value) else value
    return value


def data_file(statements):
    """A whole file, as bytes, around DATA statements given as str or bytes lines."""
    return ifc_text("\n".join(s if isinstance(s, str) else s.decode("latin-1") for s in statements)).encode("latin-1")


def _geometry_tail(placement):
    """A wall with an extrusion placed by `placement`, and the entities it needs."""
    return ["#900001=IFCCARTESIANPOINT((0.,0.,0.));", "#900002=IFCDIRECTION((0.,0.,1.));",
            "#900003=IFCAXIS2PLACEMENT3D(#900001,#900002,$);", "#900004=IFCCARTESIANPOINT((0.,0.));",
            "#900005=IFCAXIS2PLACEMENT2D(#900004,$);", "#900006=IFCRECTANGLEPROFILEDEF(.AREA.,$,#900005,2.,1.);",
            "#900007=IFCEXTRUDEDAREASOLID(#900006,#900003,#900002,3.);",
            "#900008=IFCSHAPEREPRESENTATION($,'Body','SweptSolid',(#900007));",
            "#900009=IFCPRODUCTDEFINITIONSHAPE($,$,(#900008));",
            f"#900010=IFCWALL('0O2Fr$t4X7Zf8NOew3FLOH',$,'W',$,$,#{placement},#900009,$,$);"]


def placement_chain(length, forward=True):
    """`length` local placements, each relative to the previous one, and a wall at the end.
    With forward=False the statements are written child first."""
    lines = ["#1=IFCLOCALPLACEMENT($,#900003);"]
    lines += [f"#{k}=IFCLOCALPLACEMENT(#{k - 1},#900003);" for k in range(2, length + 1)]
    if not forward:
        lines.reverse()
    return data_file(lines + _geometry_tail(length))


def cyclic_placements():
    return data_file([f"#{k}=IFCLOCALPLACEMENT(#{parent},#900003);" for k, parent in enumerate((2, 3, 1, 4, 3), 1)]
                     + _geometry_tail(5) + ["#900011=IFCSLAB('1O2Fr$t4X7Zf8NOew3FLOH',$,'S',$,$,#4,#900009,$,$);"])


def self_containing_maps():
    """A representation map holding itself, two maps holding each other, and a
    mapped item standing directly in its own map's representation."""
    mapped = "IFCSHAPEREPRESENTATION($,'Body','MappedRepresentation',"
    return data_file(["#1=IFCLOCALPLACEMENT($,#900003);"] + _geometry_tail(1)[:-1] + [
        f"#10=IFCREPRESENTATIONMAP(#900003,#11);#11={mapped}(#12,#900007));#12=IFCMAPPEDITEM(#10,#13);",
        "#13=IFCCARTESIANTRANSFORMATIONOPERATOR3D($,$,#900001,1.,$);",
        f"#20=IFCREPRESENTATIONMAP(#900003,#21);#21={mapped}(#32));#22=IFCMAPPEDITEM(#20,#13);",
        f"#30=IFCREPRESENTATIONMAP(#900003,#31);#31={mapped}(#22,#22));#32=IFCMAPPEDITEM(#30,#13);",
        f"#40={mapped}(#12,#22,#32));#41=IFCPRODUCTDEFINITIONSHAPE($,$,(#40,#11,#21));",
        "#42=IFCWALL('0O2Fr$t4X7Zf8NOew3FLOH',$,'W',$,$,#1,#41,$,$);",
        "#43=IFCCOLUMN('1O2Fr$t4X7Zf8NOew3FLOH',$,'C',$,$,#1,#41,$,$);"])


def nested_parentheses(depth):
    """`depth` nested parentheses in every attribute kind that is read as a list or value."""
    deep = "(" * depth + ")" * depth
    open_only = "(" * depth
    return data_file(
        MINI_DATA.strip("\n").splitlines()
        + [
            f"#1000=IFCPROPERTYSINGLEVALUE('Deep',$,IFCLABEL({deep}),$);",
            f"#1001=IFCPROPERTYSINGLEVALUE('Deep2',$,{deep},$);",
            "#1002=IFCPROPERTYSET('BO2Fr$t4X7Zf8NOew3FLOH',$,'Deep',$,(#1000,#1001));",
            f"#1003=IFCRELDEFINESBYPROPERTIES('CO2Fr$t4X7Zf8NOew3FLOH',$,$,$,({deep},#100),#1002);",
            f"#1004=IFCCARTESIANPOINTLIST3D({deep});",
            f"#1005=IFCTRIANGULATEDFACESET(#1004,$,.T.,{deep},$);",
            f"#1006=IFCPOLYLOOP({deep});",
            f"#1007=IFCCARTESIANPOINT({deep});",
            f"#1008=IFCSHAPEREPRESENTATION(#20,'Body','Tessellation',(#1005,{deep}));",
            "#1009=IFCPRODUCTDEFINITIONSHAPE($,$,(#1008));",
            "#1010=IFCWALL('DO2Fr$t4X7Zf8NOew3FLOH',$,'Deep',$,$,#53,#1009,$,$);",
            f"#1011=IFCMATERIALLAYERSET({deep},'x',$);",
            f"#1012=IFCRELASSOCIATESMATERIAL('EO2Fr$t4X7Zf8NOew3FLOH',$,$,$,(#1010),{deep});",
            f"#1013=IFCRELAGGREGATES('FO2Fr$t4X7Zf8NOew3FLOH',$,$,$,#1,{deep});",
            f"#1014=IFCPROPERTYSINGLEVALUE('Open',$,IFCLABEL({open_only}),$);",
        ]
    )


def twenty_digit_ids():
    big = "9" * 20
    top = str(2**64 - 1)
    return data_file(
        MINI_DATA.strip("\n").splitlines()
        + [
            f"#{big}=IFCWALL('GO2Fr$t4X7Zf8NOew3FLOH',$,'Overflow',$,$,#{big},#{big},$,$);",
            f"#{top}=IFCWALL('HO2Fr$t4X7Zf8NOew3FLOH',$,'Top',$,$,#53,#65,$,$);",
            f"#{top[:-1]}4=IFCPROPERTYSET('IO2Fr$t4X7Zf8NOew3FLOH',$,'Top',$,(#401,#{big},#{top}));",
            f"#1100=IFCRELDEFINESBYPROPERTIES('JO2Fr$t4X7Zf8NOew3FLOH',$,$,$,(#{top},#{big},#100),#{top[:-1]}4);",
            f"#1101=IFCRELCONTAINEDINSPATIALSTRUCTURE('KO2Fr$t4X7Zf8NOew3FLOH',$,$,$,(#{top},#{big}),#4);",
            f"#00000000000000000001=IFCLOCALPLACEMENT(#{big},#{top});",
        ]
    )


def ids_sharing_low_bits(sets, per_set=10):
    """Every id a multiple of 2^45: `sets` walls, each with a set of `per_set`
    properties. Such ids once all fell into one probe chain of the tables."""
    def at(k):
        return f"#{k << 45}"

    lines = []
    for s in range(sets):
        base = 1 + s * (per_set + 3)
        props = [at(base + i) for i in range(per_set)]
        lines += [f"{p}=IFCPROPERTYSINGLEVALUE('P{i}',$,IFCLABEL('v{s}'),$);" for i, p in enumerate(props)]
        wall, pset, rel = at(base + per_set), at(base + per_set + 1), at(base + per_set + 2)
        guid = f"{s:022d}"
        lines.append(f"{wall}=IFCWALL('{guid}',$,'Wall',$,$,$,$,$,$);")
        lines.append(f"{pset}=IFCPROPERTYSET('{guid}',$,'Set',$,({','.join(props)}));")
        lines.append(f"{rel}=IFCRELDEFINESBYPROPERTIES('{guid}',$,$,$,({wall}),{pset});")
    return data_file(lines)


def huge_string(megabytes, terminated=True):
    """A property value, a name and a header string of `megabytes` MB each."""
    payload = "a" * (megabytes * 1024 * 1024)
    lines = MINI_DATA.strip("\n").splitlines() + [
        f"#1200=IFCPROPERTYSINGLEVALUE('Huge',$,IFCTEXT('{payload}'),$);",
        "#1201=IFCPROPERTYSET('LO2Fr$t4X7Zf8NOew3FLOH',$,'Huge',$,(#1200));",
        "#1202=IFCRELDEFINESBYPROPERTIES('MO2Fr$t4X7Zf8NOew3FLOH',$,$,$,(#100),#1201);",
    ]
    if not terminated:
        lines.append(f"#1203=IFCPROPERTYSINGLEVALUE('Open',$,IFCTEXT('{payload}")
    return data_file(lines)


def sprinkled(data, seed, rate=0.01):
    """`data` with every byte value 0x00-0xFF written over random bytes of its
    DATA section (about `rate` of them), the statement structure mostly kept."""
    rng = random.Random(seed)
    out = bytearray(data)
    start = data.find(b"DATA;") + 5
    positions = rng.sample(range(start, len(data)), max(256, int((len(data) - start) * rate)))
    for k, at in enumerate(positions):
        out[at] = k % 256 if k < 256 else rng.randrange(256)
    return bytes(out)


def strings_with_every_byte():
    """Every byte value inside names, values and GlobalIds."""
    every = bytes(b for b in range(256) if b not in b"'")
    lines = [line.encode("latin-1") for line in MINI_DATA.strip("\n").splitlines()]
    extra = [
        b"#1300=IFCPROPERTYSINGLEVALUE('" + every + b"',$,IFCLABEL('" + every + b"'),$);",
        b"#1301=IFCPROPERTYSINGLEVALUE('raw',$," + every.translate(None, b",);") + b",$);",
        b"#1302=IFCPROPERTYSET('NO2Fr$t4X7Zf8NOew3FLOH',$,'" + every + b"',$,(#1300,#1301));",
        b"#1303=IFCRELDEFINESBYPROPERTIES('OO2Fr$t4X7Zf8NOew3FLOH',$,$,$,(#100),#1302);",
        b"#1304=IFCWALL('\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x80\xff\xc3\xa4\xe4\x85',$,'"
        + every + b"',$,$,#53,#65,$,$);",
        b"#1305=IFCMATERIAL('" + every + b"',$,'" + every + b"');",
        b"#1306=IFCRELASSOCIATESMATERIAL('PO2Fr$t4X7Zf8NOew3FLOH',$,$,$,(#1304,#100),#1305);",
    ]
    return data_file(lines + extra)


RUNNER = textwrap.dedent(
    """
    import json, sys, quarnel
    paths, names = json.loads(sys.argv[1]), json.loads(sys.argv[2])
    report = {}
    for path in paths:
        for name in names:
            result = getattr(quarnel, name)(path)
            if not isinstance(result, dict):
                print(f"{name}({path}) returned {type(result).__name__}", file=sys.stderr)
                sys.exit(3)
            report[name] = report.get(name, 0) + 1
    print(json.dumps(report))
    """
)


def run_isolated(paths, names=FUNCTIONS, timeout=300):
    """Calls every function on every path in a child interpreter, so that a crash
    or a hang fails the test instead of taking the test run down. Returns the
    number of dict results per function."""
    import json

    proc = subprocess.run(
        [sys.executable, "-c", RUNNER, json.dumps([str(p) for p in paths]), json.dumps(list(names))],
        capture_output=True,
        text=True,
        timeout=timeout,
    )
    assert proc.returncode == 0, f"child exited with {proc.returncode}: {proc.stderr[-3000:]}"
    return json.loads(proc.stdout.strip().splitlines()[-1])


def large_profile(points, shape, seed=8):
    """An extruded wall whose profile outline has `points` points: "circle"
    (convex), "comb" (a reflex vertex at every other point) or "random"
    (self-intersecting)."""
    rng = random.Random(seed)
    coords = []
    for k in range(points):
        if shape == "circle":
            a = 2 * math.pi * k / points
            coords.append((math.cos(a) * 1000, math.sin(a) * 1000))
        elif shape == "comb":
            coords.append((k * 1.0, 0.0 if k % 2 else 1000.0))
        else:
            coords.append((rng.uniform(-1000, 1000), rng.uniform(-1000, 1000)))
    if shape == "comb":
        coords += [(points * 1.0, -10.0), (0.0, -10.0)]
    first = 2_000_000
    lines = [f"#{first + k}=IFCCARTESIANPOINT(({x!r},{y!r}));" for k, (x, y) in enumerate(coords)]
    refs = ",".join(f"#{first + k}" for k in range(len(coords)))
    lines += [f"#1999990=IFCPOLYLINE(({refs},#{first}));#1999991=IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,'big',#1999990);",
              "#1999992=IFCARBITRARYPROFILEDEFWITHVOIDS(.AREA.,'holes',#1999990,(#1999990,#1999990));",
              "#1999993=IFCEXTRUDEDAREASOLID(#1999991,#900003,#900002,3.);",
              "#1999994=IFCEXTRUDEDAREASOLID(#1999992,#900003,#900002,3.);",
              "#1999995=IFCSHAPEREPRESENTATION($,'Body','SweptSolid',(#1999993,#1999994));",
              "#1999996=IFCPRODUCTDEFINITIONSHAPE($,$,(#1999995));#1999997=IFCLOCALPLACEMENT($,#900003);",
              "#1999998=IFCSLAB('1O2Fr$t4X7Zf8NOew3FLOH',$,'S',$,$,#1999997,#1999996,$,$);"]
    return data_file(lines + _geometry_tail(1999997))


def mapped_expansion(levels, fanout):
    """Representation maps nested `levels` deep, each holding `fanout` mapped
    items of the next: fanout**levels copies of one extrusion from a file of a
    few kilobytes."""
    lines = ["#1=IFCLOCALPLACEMENT($,#900003);", "#2=IFCCARTESIANTRANSFORMATIONOPERATOR3D($,$,#900001,1.,$);"]
    tail = _geometry_tail(1)
    inner = "#900007"
    for level in range(levels):
        base = 1000 * (level + 1)
        lines.append(f"#{base}=IFCSHAPEREPRESENTATION($,'Body','MappedRepresentation',({inner}));")
        lines.append(f"#{base + 1}=IFCREPRESENTATIONMAP(#900003,#{base});")
        items = []
        for k in range(fanout):
            lines.append(f"#{base + 10 + k}=IFCMAPPEDITEM(#{base + 1},#2);")
            items.append(f"#{base + 10 + k}")
        inner = ",".join(items)
    lines.append(f"#900008=IFCSHAPEREPRESENTATION($,'Body','MappedRepresentation',({inner}));")
    return data_file(lines + tail[:7] + tail[8:])
