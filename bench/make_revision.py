"""Makes a second revision of a model the way a design team's next export differs from the last:
a share of property values edited, elements deleted, elements moved by 0.5 m, copies of
elements added with new GlobalIds. Writes the new model and a JSON file of what it changed.

    python bench/make_revision.py OLD.ifc NEW.ifc EXPECTED.json [--seed 7]

Edits are made so that each one is seen by exactly one object: a property value is replaced in
a property set only that object uses, a moved element gets a placement of its own, deleted and
copied elements are ones referred to from lists only (never a wall hosting an opening).
"""
import argparse
import json
import random
import re

LINE = re.compile(r"^#(\d+)\s*=\s*([A-Za-z0-9_]+)\s*\((.*)\)\s*;\s*$")
REF = re.compile(r"#(\d+)")
GUID_CHARS = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_$"
# Classes a copy, a deletion or a move may touch: products that stand in a storey.
ELEMENTS = {"IFCWALLSTANDARDCASE", "IFCWALL", "IFCDOOR", "IFCWINDOW", "IFCCOVERING", "IFCFLOWTERMINAL",
            "IFCFURNISHINGELEMENT", "IFCBUILDINGELEMENTPROXY", "IFCSLAB", "IFCBEAM", "IFCCOLUMN", "IFCSTAIR",
            "IFCRAILING", "IFCMEMBER", "IFCPLATE", "IFCROOF", "IFCSTAIRFLIGHT", "IFCCURTAINWALL", "IFCFLOWSEGMENT"}


def split_args(text):
    """The top-level arguments of a STEP statement, as text."""
    out, depth, start, i, n = [], 0, 0, 0, len(text)
    while i < n:
        c = text[i]
        if c == "'":
            i += 1
            while i < n:
                if text[i] == "'":
                    if i + 1 < n and text[i + 1] == "'":
                        i += 2
                        continue
                    break
                i += 1
        elif c == "(":
            depth += 1
        elif c == ")":
            depth -= 1
        elif c == "," and depth == 0:
            out.append(text[start:i])
            start = i + 1
        i += 1
    out.append(text[start:])
    return out


def unquote(text):
    return text[1:-1].replace("''", "'") if text.startswith("'") else None


def edited_value(value):
    """A different value of the same type: IFCLABEL('a') -> IFCLABEL('a rev'), numbers + 1.5."""
    m = re.match(r"^([A-Z0-9_]+)\((.*)\)$", value)
    if not m:
        return None
    kind, inner = m.groups()
    if inner.startswith("'"):
        return f"{kind}('{inner[1:-1]} rev')"
    if inner in (".T.", ".F.", ".U."):
        return f"{kind}({'.F.' if inner == '.T.' else '.T.'})"
    try:
        if re.fullmatch(r"-?\d+", inner):
            return f"{kind}({int(inner) + 1})"
        return f"{kind}({float(inner) + 1.5!r})".replace("e", "E")
    except ValueError:
        return None


def new_guid(rng):
    return "".join(rng.choice(GUID_CHARS[:4] if i == 0 else GUID_CHARS) for i in range(22))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("expected")
    ap.add_argument("--seed", type=int, default=7)
    ap.add_argument("--edit", type=float, default=0.01, help="share of property values edited")
    ap.add_argument("--delete", type=float, default=0.005, help="share of elements deleted")
    ap.add_argument("--move", type=float, default=0.005, help="share of elements moved by 0.5 m")
    ap.add_argument("--copy", type=float, default=0.005, help="share of elements copied")
    args = ap.parse_args()
    rng = random.Random(args.seed)

    with open(args.old, encoding="utf-8", errors="surrogateescape") as f:
        lines = f.read().split("\n")
    stmt = {}  # id -> (line number, entity, args)
    for no, line in enumerate(lines):
        m = LINE.match(line)
        if m:
            stmt[int(m.group(1))] = (no, m.group(2).upper(), m.group(3))
    next_id = max(stmt) + 1
    added_lines = []

    def add(entity, arguments):
        nonlocal next_id
        added_lines.append(f"#{next_id}={entity}({arguments});")
        next_id += 1
        return next_id - 1

    def set_args(i, parts):
        no, entity, _ = stmt[i]
        text = ",".join(parts)
        stmt[i] = (no, entity, text)
        lines[no] = f"#{i}={entity}({text});"

    # Who refers to whom, and whether only from inside lists.
    refs = {}  # id -> count of statements referring to it
    single = set()  # ids referred to outside a list somewhere
    for i, (_, entity, a) in stmt.items():
        for part in split_args(a):
            inside_list = part.startswith("(")
            for r in REF.findall(part):
                r = int(r)
                refs[r] = refs.get(r, 0) + 1
                if not inside_list:
                    single.add(r)
    guid_of = {i: unquote(split_args(a)[0]) for i, (_, e, a) in stmt.items() if e in ELEMENTS}
    elements = sorted(guid_of)

    # Property values an object owns alone: (object, pset, property index).
    values = []
    for i, (_, entity, a) in stmt.items():
        if entity != "IFCRELDEFINESBYPROPERTIES":
            continue
        parts = split_args(a)
        related, pset = REF.findall(parts[4]), int(parts[5][1:])
        if len(related) != 1 or refs.get(pset) != 1 or stmt[pset][1] != "IFCPROPERTYSET":
            continue
        obj = int(related[0])
        if obj not in guid_of:
            continue
        for k, p in enumerate(REF.findall(split_args(stmt[pset][2])[4])):
            p = int(p)
            if stmt[p][1] == "IFCPROPERTYSINGLEVALUE" and edited_value(split_args(stmt[p][2])[2]):
                values.append((obj, pset, k))

    movable = [e for e in elements]
    listed_only = [e for e in elements if e not in single]
    rng.shuffle(listed_only)
    n_delete = round(len(elements) * args.delete)
    n_copy = round(len(elements) * args.copy)
    deleted = set(listed_only[:n_delete])
    copied = listed_only[n_delete:n_delete + n_copy]
    rng.shuffle(movable)
    moved = [e for e in movable if e not in deleted][:round(len(elements) * args.move)]
    live = [v for v in values if v[0] not in deleted]
    edits = rng.sample(live, min(len(live), round(len(values) * args.edit)))

    expected = {"deleted": sorted(guid_of[e] for e in deleted), "added": [], "placement": [], "property": []}

    for obj, pset, k in edits:
        parts = split_args(stmt[pset][2])
        props = REF.findall(parts[4])
        old = split_args(stmt[int(props[k])][2])
        new_prop = add("IFCPROPERTYSINGLEVALUE", ",".join([old[0], old[1], edited_value(old[2]), old[3]]))
        props[k] = str(new_prop)
        parts[4] = "(" + ",".join("#" + p for p in props) + ")"
        set_args(pset, parts)
        expected["property"].append([guid_of[obj], unquote(parts[2]) + "." + unquote(old[0])])

    for e in moved:
        parts = split_args(stmt[e][2])
        placement = int(parts[5][1:])
        rel_to, axis = split_args(stmt[placement][2])
        axis_parts = split_args(stmt[int(axis[1:])][2])
        xyz = [float(v) for v in split_args(stmt[int(axis_parts[0][1:])][2])[0][1:-1].split(",")]
        xyz[0] += 0.5  # along the local x axis: 0.5 m in the world whatever the rotation
        point = add("IFCCARTESIANPOINT", "(" + ",".join(repr(v) for v in xyz + [0.0] * (3 - len(xyz))) + ")")
        axis_parts[0] = f"#{point}"
        new_axis = add("IFCAXIS2PLACEMENT3D", ",".join(axis_parts))
        parts[5] = f"#{add('IFCLOCALPLACEMENT', f'{rel_to},#{new_axis}')}"
        set_args(e, parts)
        expected["placement"].append(guid_of[e])

    copies_of = {}
    for e in copied:
        parts = split_args(stmt[e][2])
        guid = new_guid(rng)
        parts[0] = f"'{guid}'"
        copies_of[e] = add(stmt[e][1], ",".join(parts))
        expected["added"].append(guid)

    # Lists that name a deleted element lose it (and a relation left with none goes); the
    # storey that holds a copied element holds its copy too.
    dropped = set()
    for i, (no, entity, a) in list(stmt.items()):
        if not entity.startswith("IFCREL"):
            continue
        parts = split_args(a)
        changed = False
        for j, part in enumerate(parts):
            if not part.startswith("(") or "#" not in part:
                continue
            ids = [int(r) for r in REF.findall(part)]
            keep = [r for r in ids if r not in deleted]
            if entity == "IFCRELCONTAINEDINSPATIALSTRUCTURE":
                keep += [copies_of[r] for r in ids if r in copies_of]
            if keep != ids:
                changed = True
                if not keep:
                    dropped.add(i)
                parts[j] = "(" + ",".join(f"#{r}" for r in keep) + ")"
        if i in dropped:
            lines[no] = ""
        elif changed:
            set_args(i, parts)
    for e in deleted:
        lines[stmt[e][0]] = ""

    end = max(no for no, line in enumerate(lines) if line.strip() == "ENDSEC;")
    lines[end:end] = added_lines
    with open(args.new, "w", encoding="utf-8", errors="surrogateescape") as f:
        f.write("\n".join(line for line in lines if line != ""))
    with open(args.expected, "w") as f:
        json.dump(expected, f)
    print(json.dumps({k: len(v) for k, v in expected.items()} | {"property_values": len(values),
                                                                 "elements": len(elements)}))


if __name__ == "__main__":
    main()
