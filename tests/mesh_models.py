"""Builders for small hand-written geometry models used by the drift tests."""

import quarnel._core as core

DEGREES = (
    "#1=IFCUNITASSIGNMENT((#2));#2=IFCCONVERSIONBASEDUNIT(#3,.PLANEANGLEUNIT.,'DEGREE',#4);"
    "#4=IFCMEASUREWITHUNIT(IFCPLANEANGLEMEASURE(0.017453292519943295),#5);"
    "#5=IFCSIUNIT(*,.PLANEANGLEUNIT.,$,.RADIAN.);"
)


def fmt(v):
    """A STEP number (NaN and infinities in the signed spelling the lexer accepts)."""
    if isinstance(v, str):
        return v
    v = float(v)
    if v != v:
        return "+nan"
    if v in (float("inf"), float("-inf")):
        return "+inf" if v > 0 else "-inf"
    return repr(v)


class Model:
    """Collects DATA statements with automatic ids; helpers return '#id' references."""

    def __init__(self, first_id=100):
        self.lines = []
        self.next_id = first_id

    def add(self, text):
        ref = f"#{self.next_id}"
        self.next_id += 1
        self.lines.append(f"{ref}={text};")
        return ref

    def raw(self, line):
        self.lines.append(line)

    def text(self):
        return "\n".join(self.lines)

    # resources
    def point(self, *coords):
        return self.add(f"IFCCARTESIANPOINT(({','.join(fmt(c) for c in coords)}))")

    def direction(self, *ratios):
        return self.add(f"IFCDIRECTION(({','.join(fmt(c) for c in ratios)}))")

    def axis3d(self, location=(0, 0, 0), axis=None, ref=None):
        loc = self.point(*location)
        a = self.direction(*axis) if axis is not None else "$"
        r = self.direction(*ref) if ref is not None else "$"
        return self.add(f"IFCAXIS2PLACEMENT3D({loc},{a},{r})")

    def local_placement(self, parent="$", relative=None):
        relative = relative if relative is not None else self.axis3d()
        return self.add(f"IFCLOCALPLACEMENT({parent},{relative})")

    def point_list(self, points):
        body = ",".join("(" + ",".join(fmt(c) for c in p) + ")" for p in points)
        return self.add(f"IFCCARTESIANPOINTLIST3D(({body}))")

    def triangles(self, points, faces):
        pl = points if isinstance(points, str) else self.point_list(points)
        body = ",".join("(" + ",".join(str(i) for i in f) + ")" for f in faces)
        return self.add(f"IFCTRIANGULATEDFACESET({pl},$,$,({body}),$)")

    def polygons(self, points, faces, pn_index=None):
        pl = points if isinstance(points, str) else self.point_list(points)
        refs = [self.add(f"IFCINDEXEDPOLYGONALFACE(({','.join(str(i) for i in f)}))") for f in faces]
        pn = "(" + ",".join(str(i) for i in pn_index) + ")" if pn_index is not None else "$"
        return self.add(f"IFCPOLYGONALFACESET({pl},$,({','.join(refs)}),{pn})")

    def bound(self, point_refs, orientation=".T.", outer=True):
        loop = self.add(f"IFCPOLYLOOP(({','.join(point_refs)}))")
        return self.add(f"{'IFCFACEOUTERBOUND' if outer else 'IFCFACEBOUND'}({loop},{orientation})")

    def face(self, point_refs, orientation=".T.", outer=True):
        return self.add(f"IFCFACE(({self.bound(point_refs, orientation, outer)}))")

    def shell(self, faces, closed=True, kind=None):
        return self.add(f"{kind or ('IFCCLOSEDSHELL' if closed else 'IFCOPENSHELL')}(({','.join(faces)}))")

    def cube_faces(self, size=1.0, origin=(0, 0, 0), flip=()):
        """Six outward-wound quads on eight shared point entities."""
        ox, oy, oz = origin
        s = size
        p = [self.point(ox + x * s, oy + y * s, oz + z * s) for z in (0, 1) for y in (0, 1) for x in (0, 1)]
        quads = [(0, 2, 3, 1), (4, 5, 7, 6), (0, 1, 5, 4), (2, 6, 7, 3), (0, 4, 6, 2), (1, 3, 7, 5)]
        return [self.face([p[i] for i in q], ".F." if k in flip else ".T.") for k, q in enumerate(quads)]

    def cube_brep(self, size=1.0, origin=(0, 0, 0), flip=()):
        return self.add(f"IFCFACETEDBREP({self.shell(self.cube_faces(size, origin, flip))})")

    def representation_map(self, items, origin="$"):
        return self.add(f"IFCREPRESENTATIONMAP({origin},{self.shape(items)})")

    def mapped_item(self, source, target="$"):
        return self.add(f"IFCMAPPEDITEM({source},{target})")

    def operator(self, axis1=None, axis2=None, origin=(0, 0, 0), scale="$", axis3=None, scale2=None,
                 scale3=None, non_uniform=False):
        d = lambda v: self.direction(*v) if v is not None else "$"
        n = lambda v: fmt(v) if v is not None else "$"
        attrs = [d(axis1), d(axis2), self.point(*origin), n(scale) if scale != "$" else "$", d(axis3)]
        if non_uniform:
            attrs += [n(scale2), n(scale3)]
            return self.add(f"IFCCARTESIANTRANSFORMATIONOPERATOR3DNONUNIFORM({','.join(attrs)})")
        return self.add(f"IFCCARTESIANTRANSFORMATIONOPERATOR3D({','.join(attrs)})")

    # products
    def shape(self, items, identifier="Body"):
        return self.add(f"IFCSHAPEREPRESENTATION($,'{identifier}','Brep',({','.join(items)}))")

    def product(self, items=None, placement="$", representation=None, type_name="IFCWALL",
                guid="'2O2Fr$t4X7Zf8NOew3FLOH'"):
        if representation is None:
            representation = self.add(f"IFCPRODUCTDEFINITIONSHAPE($,$,({self.shape(items)}))")
        return self.add(f"{type_name}({guid},$,'w',$,$,{placement},{representation},$,$)")


def drift(write_ifc, model):
    return core.analyse_drift(write_ifc(model.text() if isinstance(model, Model) else model))


def rows(result):
    """The per-product columns as a list of dicts, one per row."""
    keys = [k for k, v in result.items() if isinstance(v, list)]
    return [dict(zip(keys, values)) for values in zip(*(result[k] for k in keys))]


def one_row(result):
    r = rows(result)
    assert len(r) == 1, r
    return r[0]


def item_row(write_ifc, build, units="", placed=False):
    """The one row of a model (after the DATA `units`) whose one product holds the item or items
    build(model) returns, placed by an identity local placement if `placed`."""
    m = Model()
    m.raw(units)
    items = build(m)
    m.product(items if isinstance(items, list) else [items], placement=m.local_placement() if placed else "$")
    return one_row(drift(write_ifc, m))


def box_centre(row):
    return (row["centroid_x"], row["centroid_y"], row["centroid_z"])


def point_product(model, placement, point=(0.0, 0.0, 0.0)):
    """A product whose mesh is one vertex (a degenerate triangle), so its box centre is
    exactly where its placement maps `point`."""
    return model.product([model.triangles([point], [(1, 1, 1)])], placement=placement)
