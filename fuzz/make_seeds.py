"""Builds the fuzzing seed corpus into fuzz/build/seeds (never committed).

Seeds are the hand-written files of fuzz/seeds, the regression inputs, the
small corpus models whole, the IDS test models whole (the only models with
bounded, table and complex properties), and from every corpus model (a)
windows of consecutive DATA statements and (b) reference closures: a product
with its placement chain and geometry, or a relationship with what it links
(a type object with its sets and occurrences too), each a small
self-contained model under the model's own header.
"""

import hashlib
import pathlib
import random
import re
import sys

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
CORPUS = ROOT.parent / "shared" / "corpus"
IDS = ROOT.parent / "shared" / "ids" / "testcases"
OUT = HERE / "build" / "seeds"

WHOLE_LIMIT = 64 * 1024
CLOSURE_LIMIT = 300
WINDOW = 150
PER_MODEL = 8
STATEMENT = re.compile(rb"#(\d+)\s*=\s*([A-Za-z0-9_]+)\s*\((.*)\)\s*;\s*$", re.S)
REF = re.compile(rb"#(\d+)")
ROOTS = (
    b"IFCRELDEFINESBYPROPERTIES",
    b"IFCRELDEFINESBYTYPE",
    b"IFCRELASSOCIATESMATERIAL",
    b"IFCRELASSOCIATESCLASSIFICATION",
    b"IFCRELAGGREGATES",
    b"IFCRELCONTAINEDINSPATIALSTRUCTURE",
)


def split_model(data):
    at = data.find(b"DATA;")
    if at < 0:
        return None
    header = data[: at + 5] + b"\n"
    end = data.find(b"ENDSEC;", at)
    body = data[at + 5 : end if end > 0 else len(data)]
    statements = {}
    order = []
    for line in body.split(b";\n"):
        line = line.strip() + b";"
        m = STATEMENT.match(line)
        if m:
            i = int(m.group(1))
            statements[i] = (m.group(2).upper(), line)
            order.append(i)
    return header, statements, order


def closure(statements, start):
    seen, queue = [], [start]
    known = set()
    while queue and len(seen) < CLOSURE_LIMIT:
        i = queue.pop(0)
        if i in known or i not in statements:
            continue
        known.add(i)
        seen.append(i)
        queue.extend(int(r) for r in REF.findall(statements[i][1].split(b"=", 1)[1]))
    return sorted(seen)


def model(header, lines):
    return header + b"\n".join(lines) + b"\nENDSEC;\nEND-ISO-10303-21;\n"


def seeds_of(path, rng):
    data = path.read_bytes()
    if len(data) <= WHOLE_LIMIT:
        yield data
    parts = split_model(data)
    if not parts:
        return
    header, statements, order = parts
    for k in range(PER_MODEL):
        start = (len(order) * k) // PER_MODEL
        yield model(header, [statements[i][1] for i in order[start : start + WINDOW]])
    products = [i for i in order if b"IFCPRODUCTDEFINITIONSHAPE" in b"".join(
        statements.get(int(r), (b"", b""))[0] for r in REF.findall(statements[i][1].split(b"=", 1)[1])[-2:])]
    rels = [i for i in order if statements[i][0] in ROOTS]
    for pool in (products, rels):
        for i in rng.sample(pool, min(PER_MODEL, len(pool))):
            yield model(header, [statements[j][1] for j in closure(statements, i)])


def main():
    rng = random.Random(8)
    OUT.mkdir(parents=True, exist_ok=True)
    sources = sorted((HERE / "seeds").glob("*")) + sorted((HERE / "regressions").glob("*"))
    count = 0
    for src in sources:
        if src.is_file():
            (OUT / ("hand-" + src.name)).write_bytes(src.read_bytes())
            count += 1
    for path in sorted(CORPUS.glob("*.ifc")):
        for seed in seeds_of(path, rng):
            name = hashlib.sha1(seed).hexdigest()[:16]
            (OUT / f"{path.stem}-{name}").write_bytes(seed)
            count += 1
    for path in sorted(IDS.glob("*/*.ifc")):
        data = path.read_bytes()
        if len(data) <= WHOLE_LIMIT:
            (OUT / f"ids-{hashlib.sha1(data).hexdigest()[:16]}").write_bytes(data)
            count += 1
    print(f"{count} seeds in {OUT}", file=sys.stderr)


if __name__ == "__main__":
    main()
