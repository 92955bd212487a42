"""Generated models (random, seeded) of the shapes real exports have and the corpus lacks, each
with the rows its tables must hold, worked out here from the model as it is written:
- spatial trees: storeys that are part of storeys (mezzanines), spaces in spaces, sites and
  buildings holding elements themselves, parts of elements, doors filling openings in them;
- property sets: complex properties nested and followed by siblings, members two complex
  properties share, sets many objects share, types whose sets many occurrences inherit and
  some override.
The lines are shuffled: a file refers forward as often as back."""

import random
from collections import Counter

ELEMENT_COLUMNS = ("guid", "entity", "name", "storey_guid", "storey_name", "building_guid", "site_guid")
TYPED_ELEMENT_COLUMNS = ("guid", "entity", "name", "type_guid", "type_entity", "type_name")
PROPERTY_COLUMNS = ("guid", "entity", "pset_name", "prop_name", "value", "value_type", "number", "kind", "source",
                    "type_guid", "value_index", "role")
# Elements and their attributes after the eight every product starts with.
ELEMENTS = (("IfcWall", "$"), ("IfcSlab", "$"), ("IfcBeam", "$"), ("IfcCovering", "$"), ("IfcFurnishingElement", ""))
SET_NAMES = ("Pset_WallCommon", "Pset_Acoustics", "Pset_Custom")
PROP_NAMES = ("FireRating", "IsExternal", "Width", "Layers", "Reference")


def refs(ids):
    return "(" + ",".join(f"#{i}" for i in ids) + ")"


class Builder:
    """Numbers the records and GlobalIds of a model as they are added."""

    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.lines = []

    def add(self, record):
        self.lines.append(f"#{len(self.lines) + 1}={record};")
        return len(self.lines)

    def guid(self):
        return f"G{len(self.lines) + 1:021d}"

    def relate(self, relation, one, many, many_first=False):
        """One relationship for all of `many`, or one each (exports do both)."""
        for group in [many] if self.rng.random() < 0.7 else [[m] for m in many]:
            ends = (refs(group), f"#{one}") if many_first else (f"#{one}", refs(group))
            self.add(f"{relation}('{self.guid()}',$,$,$,{ends[0]},{ends[1]})")

    def data(self):
        lines = list(self.lines)
        self.rng.shuffle(lines)
        return "\n".join(lines)


def spatial_model(seed, elements=200):
    """(DATA, multiset of ELEMENT_COLUMNS rows of `elements`): each product's nearest storey,
    building and site above it, going up by containment where the product has one, else by the
    whole it is part of or the opening it fills or voids."""
    b = Builder(seed)
    rng = b.rng
    entity, guid_of, name_of, up = {}, {}, {}, {}

    def product(kind, name, attributes):
        guid = b.guid()
        i = b.add(f"{kind.upper()}('{guid}',$,'{name}',$,$,$,$,${',' if attributes else ''}{attributes})")
        entity[i], guid_of[i], name_of[i] = kind, guid, name
        return i

    def parts(whole, kind, name, attributes, most, least=0):
        made = [product(kind, f"{name} {k}", attributes) for k in range(rng.randint(least, most))]
        if made:
            b.relate("IFCRELAGGREGATES", whole, made)
            up.update((m, whole) for m in made)
        return made

    project = b.add(f"IFCPROJECT('{b.guid()}',$,'Project',$,$,$,$,$,$)")
    structures = parts(project, "IfcSite", "Site", ".ELEMENT.,$,$,$,$,$", 2, 1)  # where elements may stand
    for site in list(structures):
        for building in parts(site, "IfcBuilding", "Building", ".ELEMENT.,$,$,$", 2, 1):
            structures.append(building)
            # Storey names repeat from building to building, as "Level 1" does.
            pending = [(s, 0) for s in parts(building, "IfcBuildingStorey", "Level", ".ELEMENT.,0.", 3)]
            while pending:
                storey, depth = pending.pop()
                structures.append(storey)
                if depth < 2:
                    mezzanines = parts(storey, "IfcBuildingStorey", name_of[storey] + " mezzanine", ".PARTIAL.,1.", 2)
                    pending += [(m, depth + 1) for m in mezzanines]
                for space in parts(storey, "IfcSpace", "Room", ".ELEMENT.,.INTERNAL.,$", 3):
                    structures += [space] + parts(space, "IfcSpace", "Zone", ".PARTIAL.,.INTERNAL.,$", 2)
    placed = {}
    for k in range(elements):
        kind, attributes = rng.choice(ELEMENTS)
        element = product(kind, f"{kind} {k}", attributes)
        if rng.random() < 0.1:
            parts(element, "IfcPlate", f"Plate {k}", "$", 3)  # not contained themselves
        elif rng.random() < 0.1:
            opening = product("IfcOpeningElement", f"Opening {k}", ".OPENING.")
            door = product("IfcDoor", f"Door {k}", "$,$,$,$,$")
            up[opening], up[door] = element, opening
            b.add(f"IFCRELVOIDSELEMENT('{b.guid()}',$,$,$,#{element},#{opening})")
            b.add(f"IFCRELFILLSELEMENT('{b.guid()}',$,$,$,#{opening},#{door})")
        placed.setdefault(rng.choice(structures), []).append(element)
    for container, held in placed.items():
        b.relate("IFCRELCONTAINEDINSPATIALSTRUCTURE", container, held, many_first=True)
        up.update((e, container) for e in held)
    mezzanine = any(entity[c] == entity.get(up[c]) == "IfcBuildingStorey" for c in placed)
    assert mezzanine or elements < 100, "no mezzanine holds elements"

    rows = Counter()
    for i, guid in guid_of.items():
        above, node = {}, i
        while node in up:
            node = up[node]
            above.setdefault(entity.get(node), node)
        storey, building, site = (above.get(k) for k in ("IfcBuildingStorey", "IfcBuilding", "IfcSite"))
        rows[(guid, entity[i], name_of[i], guid_of.get(storey), name_of.get(storey), guid_of.get(building),
              guid_of.get(site))] += 1
    return b.data(), rows


def value(b):
    """A value's token and its (value, value_type, number) in a row."""
    if b.rng.random() < 0.5:
        n = b.rng.randint(-5, 500)
        return f"IFCINTEGER({n})", str(n), "IfcInteger", float(n)
    text = b.rng.choice(["F30", "Matt", "\u00e4\u00f6", "x"])
    encoded = "".join(c if ord(c) < 128 else f"\\X2\\{ord(c):04X}\\X0\\" for c in text)
    return f"IFCLABEL('{encoded}')", text, "IfcLabel", None


def simple_property(b, name):
    """A property of a kind that holds values: its id, kind and rows as
    ((name,), value, value_type, number, value_index, role)."""
    kind = b.rng.choice(("single", "single", "enumerated", "list", "bounded", "table", "reference"))
    values = [value(b) for _ in range(b.rng.randint(1, 3))]
    tokens = "(" + ",".join(v[0] for v in values) + ")"
    if kind == "single":
        record, rows = f"IFCPROPERTYSINGLEVALUE('{name}',$,{values[0][0]},$)", [(*values[0][1:], None, None)]
    elif kind in ("enumerated", "list"):
        record = f"IFCPROPERTY{kind.upper()}VALUE('{name}',$,{tokens},$)"
        rows = [(*v[1:], k, None) for k, v in enumerate(values)]
    elif kind == "bounded":  # upper, lower, set point; the rows lower, upper, set point
        v = [*values, value(b), value(b)]
        record = f"IFCPROPERTYBOUNDEDVALUE('{name}',$,{v[1][0]},{v[0][0]},$,{v[2][0]})"
        rows = [(*v[k][1:], None, role) for k, role in enumerate(("lower", "upper", "set point"))]
    elif kind == "table":
        defined = [value(b) for _ in values]
        record = f"IFCPROPERTYTABLEVALUE('{name}',$,{tokens},({','.join(v[0] for v in defined)}),$,$,$,$)"
        rows = [(*v[1:], k, role) for role, side in (("defining", values), ("defined", defined))
                for k, v in enumerate(side)]
    else:
        material = b.rng.choice(("Concrete", "Brick"))
        record = f"IFCPROPERTYREFERENCEVALUE('{name}',$,$,#{b.add(f'IFCMATERIAL({material!r},$,$)')})"
        rows = [(material, "IfcMaterial", None, None, None)]
    return b.add(record), kind, [((name,), *r) for r in rows]


def complex_property(b, name, depth, shared):
    """A complex property of random members, complex ones among them (followed by siblings as
    often as not), some listed by two complex properties: its id and the rows of its members,
    each with its path of names from the top."""
    members, rows = [], []
    for _ in range(b.rng.randint(1, 4)):
        member = b.rng.choice(["A", "B", "Depth"])
        if depth < 3 and b.rng.random() < 0.4:
            i, inner = complex_property(b, member, depth + 1, shared)
        elif shared and b.rng.random() < 0.2:
            i, inner = b.rng.choice(shared)
        else:
            i, _, inner = simple_property(b, member)
            shared.append((i, inner))
        members.append(i)
        rows += inner
    i = b.add(f"IFCCOMPLEXPROPERTY('{name}',$,'U',{refs(members)})")
    return i, [((name, *path), *rest) for path, *rest in rows]


def property_model(seed, walls=60, types=4, most_properties=3, sets_per_wall=(0, 2), complex_share=0.35):
    """(DATA, multiset of PROPERTY_COLUMNS rows of `properties`, multiset of
    TYPED_ELEMENT_COLUMNS rows of `elements`): walls, most of one of a few types whose sets they
    inherit, with sets of their own (some shared by many walls) that override the type's
    properties of the same set and name."""
    b = Builder(seed)
    rng, shared = b.rng, []

    def property_set(name):
        ids, rows = [], []
        for prop in rng.sample(PROP_NAMES, rng.randint(1, most_properties)):
            if rng.random() < complex_share:
                (i, made), kind = complex_property(b, prop, 1, shared), "complex"
            else:
                i, kind, made = simple_property(b, prop)
            ids.append(i)
            rows += [(name, ".".join(path), *rest, kind, prop) for path, *rest in made]
        return b.add(f"IFCPROPERTYSET('{b.guid()}',$,'{name}',$,{refs(ids)})"), rows

    rows_of, name_of, guid_of = {}, {}, {}
    for t in range(types):
        sets = [property_set(name) for name in rng.sample(SET_NAMES, rng.randint(0, 2))]
        guid, name_of[guid] = b.guid(), f"WT-{t}"
        t = b.add(f"IFCWALLTYPE('{guid}',$,'WT-{t}',$,$,{refs(s for s, _ in sets) if sets else '$'},$,$,$,.STANDARD.)")
        guid_of[t], rows_of[guid] = guid, [r for _, rows in sets for r in rows]
    walls = {b.guid(): b.add(f"IFCWALL('{b.guid()}',$,'Wall',$,$,$,$,$,$)") for _ in range(walls)}
    own = {guid: [] for guid in walls}
    type_of = {guid: rng.choice(list(guid_of)) for guid in walls if guid_of and rng.random() < 0.8}
    for t in guid_of:
        if typed := [walls[guid] for guid, of in type_of.items() if of == t]:
            b.relate("IFCRELDEFINESBYTYPE", t, typed, many_first=True)
    type_of = {guid: guid_of[t] for guid, t in type_of.items()}
    for _ in range(max(1, len(walls) // 20)):  # sets many walls share
        s, rows = property_set(rng.choice(SET_NAMES))
        sharing = rng.sample(list(walls), rng.randint(1, min(len(walls), 8)))
        b.add(f"IFCRELDEFINESBYPROPERTIES('{b.guid()}',$,$,$,{refs(walls[g] for g in sharing)},#{s})")
        for guid in sharing:
            own[guid] += rows
    for guid, wall in walls.items():
        sets = [property_set(rng.choice(SET_NAMES)) for _ in range(rng.randint(*sets_per_wall))]
        # A wall's sets in one relationship (its relating side a list of sets) or one each.
        for group in [sets] if len(sets) > 1 and rng.random() < 0.5 else [[s] for s in sets]:
            relating = refs(s for s, _ in group) if len(group) > 1 else f"#{group[0][0]}"
            b.add(f"IFCRELDEFINESBYPROPERTIES('{b.guid()}',$,$,$,(#{wall}),{relating})")
        own[guid] += [r for _, rows in sets for r in rows]

    def row(guid, entity, r, source, of):
        pset, prop_name, value_, value_type, number, index, role, kind, _ = r
        return guid, entity, pset, prop_name, value_, value_type, number, kind, source, of, index, role

    properties = Counter()
    for guid, rows in own.items():
        properties.update(row(guid, "IfcWall", r, "occurrence", None) for r in rows)
        overridden = {(r[0], r[8]) for r in rows}
        of = type_of.get(guid)
        properties.update(row(guid, "IfcWall", r, "type", of) for r in rows_of.get(of, ())
                          if (r[0], r[8]) not in overridden)
    for of, rows in rows_of.items():
        properties.update(row(of, "IfcWallType", r, "type", of) for r in rows)
    elements = Counter((guid, "IfcWall", "Wall", type_of.get(guid), "IfcWallType" if guid in type_of else None,
                        name_of.get(type_of.get(guid))) for guid in walls)
    return b.data(), properties, elements


def table_multiset(table, columns):
    """The rows of an Arrow table as a multiset of tuples of `columns`."""
    picked = table.select(list(columns)).to_pydict()
    return Counter(zip(*(picked[c] for c in columns)))
