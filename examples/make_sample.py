"""Write examples/sample_building.ifc, the small IFC4 model used by the examples and tests.

The model is generated, not drawn: a three-storey building in millimetres with layered
walls, slabs, columns, mapped doors, windows and furniture, a polygonal roof, a triangulated
sculpture, a faceted-brep plinth, property sets, element quantities, materials of every kind
and classification references. One column's body sits 50 m from its placement and one
cabinet 4 m from its own, so `quarnel drift` has an "error" and a "warn" to report.

Deterministic (same bytes on every run) and free of third-party dependencies:

    python examples/make_sample.py [OUT.ifc]
"""

import hashlib
import pathlib
import sys

IFC64 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_$"


def guid(name):
    """A stable 22-character GlobalId derived from a name (IFC base64 of a 128-bit number)."""
    n = int.from_bytes(hashlib.md5(name.encode("utf-8")).digest(), "big")
    chars = [IFC64[n >> 126]]
    for shift in range(120, -1, -6):
        chars.append(IFC64[(n >> shift) & 63])
    return "".join(chars)


def fmt(value):
    """STEP text of one attribute value."""
    if value is None:
        return "$"
    if isinstance(value, Raw):
        return value.text
    if isinstance(value, Ref):
        return f"#{value.id}"
    if isinstance(value, bool):
        return ".T." if value else ".F."
    if isinstance(value, int):
        return f"{value}"
    if isinstance(value, float):
        text = repr(value)
        if "e" in text or "E" in text:
            mantissa, exponent = text.lower().split("e")
            if "." not in mantissa:
                mantissa += "."
            return f"{mantissa}E{int(exponent)}"
        return text if "." in text else text + "."
    if isinstance(value, str):
        return "'" + value.replace("'", "''") + "'"
    if isinstance(value, (list, tuple)):
        return "(" + ",".join(fmt(v) for v in value) + ")"
    raise TypeError(value)


class Raw:
    """Verbatim STEP text: enumerations, typed values, derived '*'."""

    def __init__(self, text):
        self.text = text


class Ref:
    def __init__(self, id_):
        self.id = id_


def enum(name):
    return Raw(f".{name}.")


def typed(type_name, value):
    return Raw(f"{type_name}({fmt(value)})")


STAR = Raw("*")


class Model:
    def __init__(self):
        self.lines = []
        self.points = {}
        self.directions = {}

    def add(self, type_name, *attributes):
        self.lines.append(f"{type_name}({','.join(fmt(a) for a in attributes)})")
        return Ref(len(self.lines))

    def point(self, *xyz):
        key = tuple(float(v) for v in xyz)
        if key not in self.points:
            self.points[key] = self.add("IFCCARTESIANPOINT", list(key))
        return self.points[key]

    def direction(self, *xyz):
        key = tuple(float(v) for v in xyz)
        if key not in self.directions:
            self.directions[key] = self.add("IFCDIRECTION", list(key))
        return self.directions[key]

    def axis3(self, x=0.0, y=0.0, z=0.0, axis=None, ref=None):
        return self.add(
            "IFCAXIS2PLACEMENT3D",
            self.point(x, y, z),
            self.direction(*axis) if axis else None,
            self.direction(*ref) if ref else None,
        )

    def text(self, header):
        body = "\n".join(f"#{i}={line};" for i, line in enumerate(self.lines, start=1))
        return header + body + "\nENDSEC;\nEND-ISO-10303-21;\n"


HEADER = """ISO-10303-21;
HEADER;
FILE_DESCRIPTION(('ViewDefinition [ReferenceView_V1.2]'),'2;1');
FILE_NAME('sample_building.ifc','2026-01-01T00:00:00',('quarnel'),('quarnel project'),'quarnel make_sample','quarnel sample generator 0.1','');
FILE_SCHEMA(('IFC4'));
ENDSEC;
DATA;
"""

STOREYS = [("Ground Floor", 0.0), ("First Floor", 3200.0), ("Second Floor", 6400.0)]
STOREY_HEIGHT = 3200.0
LENGTH, WIDTH = 12000.0, 8000.0   # outer footprint of the building, mm
WALL_T = 300.0
SLAB_T = 250.0


def build():
    m = Model()
    org = m.add("IFCORGANIZATION", None, "quarnel", "Sample models", None, None)
    owner = m.add(
        "IFCOWNERHISTORY",
        m.add(
            "IFCPERSONANDORGANIZATION",
            m.add("IFCPERSON", "jdoe", "Doe", "Jane", None, None, None, None, None),
            org,
            None,
        ),
        m.add("IFCAPPLICATION", org, "0.1", "quarnel sample generator", "quarnel-sample"),
        None, enum("ADDED"), 1767225600, None, None, 1767225600,
    )
    world = m.axis3()
    context = m.add("IFCGEOMETRICREPRESENTATIONCONTEXT", None, "Model", 3, 1.0e-5, world, m.direction(0.0, 1.0))
    body_ctx = m.add("IFCGEOMETRICREPRESENTATIONSUBCONTEXT", "Body", "Model", STAR, STAR, STAR, STAR,
                     context, None, enum("MODEL_VIEW"), None)
    units = m.add(
        "IFCUNITASSIGNMENT",
        [
            m.add("IFCSIUNIT", STAR, enum("LENGTHUNIT"), enum("MILLI"), enum("METRE")),
            m.add("IFCSIUNIT", STAR, enum("AREAUNIT"), None, enum("SQUARE_METRE")),
            m.add("IFCSIUNIT", STAR, enum("VOLUMEUNIT"), None, enum("CUBIC_METRE")),
            m.add("IFCSIUNIT", STAR, enum("MASSUNIT"), enum("KILO"), enum("GRAM")),
            m.add("IFCSIUNIT", STAR, enum("PLANEANGLEUNIT"), None, enum("RADIAN")),
        ],
    )
    project = m.add("IFCPROJECT", guid("project"), owner, "Quarnel Sample Building", "Generated sample model",
                    None, "Sample Building", "Design", [context], units)

    site_pl = m.add("IFCLOCALPLACEMENT", None, m.axis3())
    site = m.add("IFCSITE", guid("site"), owner, "Sample Site", None, None, site_pl, None, None,
                 enum("ELEMENT"), [51, 30, 0], [0, 7, 0], 12.0, None, None)
    bldg_pl = m.add("IFCLOCALPLACEMENT", site_pl, m.axis3())
    building = m.add("IFCBUILDING", guid("building"), owner, "Sample Building", None, None, bldg_pl, None,
                     None, enum("ELEMENT"), 0.0, 0.0, None)
    m.add("IFCRELAGGREGATES", guid("agg project"), owner, None, None, project, [site])
    m.add("IFCRELAGGREGATES", guid("agg site"), owner, None, None, site, [building])

    def body(items, kind):
        rep = m.add("IFCSHAPEREPRESENTATION", body_ctx, "Body", kind, items)
        return m.add("IFCPRODUCTDEFINITIONSHAPE", None, None, [rep])

    rect_cache = {}

    def rectangle(x, y, centred=False):
        key = (x, y, centred)
        if key not in rect_cache:
            position = None if centred else m.add("IFCAXIS2PLACEMENT2D", m.point(x / 2, y / 2), None)
            rect_cache[key] = m.add("IFCRECTANGLEPROFILEDEF", enum("AREA"), None, position, x, y)
        return rect_cache[key]

    def box(x, y, z, dx=0.0, dy=0.0, dz=0.0):
        """An extrusion of an x by y rectangle (corner at dx, dy) to height z, starting at dz."""
        return m.add("IFCEXTRUDEDAREASOLID", rectangle(x, y), m.axis3(dx, dy, dz),
                     m.direction(0.0, 0.0, 1.0), z)

    # Materials and classifications shared across storeys.
    concrete = m.add("IFCMATERIAL", "Concrete C30/37", None, "Concrete")
    brick = m.add("IFCMATERIAL", "Brick", None, "Masonry")
    insulation = m.add("IFCMATERIAL", "Mineral Wool", None, "Insulation")
    plaster = m.add("IFCMATERIAL", "Gypsum Plaster", None, "Finishes")
    glass = m.add("IFCMATERIAL", "Float Glass", None, "Glass")
    aluminium = m.add("IFCMATERIAL", "Aluminium", None, "Metal")
    oak = m.add("IFCMATERIAL", "Oak", None, "Wood")
    steel = m.add("IFCMATERIAL", "Steel S355", None, "Metal")
    ext_layers = m.add("IFCMATERIALLAYERSET", [
        m.add("IFCMATERIALLAYER", brick, 115.0, enum("F"), "Outer leaf", None, "LoadBearing", None),
        m.add("IFCMATERIALLAYER", insulation, 120.0, enum("F"), "Insulation", None, "Insulation", None),
        m.add("IFCMATERIALLAYER", concrete, 50.0, None, "Inner leaf", None, "LoadBearing", None),
        m.add("IFCMATERIALLAYER", plaster, 15.0, None, "Finish", None, "Finish", None),
    ], "Exterior Wall 300", None)
    int_layers = m.add("IFCMATERIALLAYERSET", [
        m.add("IFCMATERIALLAYER", plaster, 12.5, None, "Finish A", None, "Finish", None),
        m.add("IFCMATERIALLAYER", brick, 100.0, None, "Core", None, "LoadBearing", None),
        m.add("IFCMATERIALLAYER", plaster, 12.5, None, "Finish B", None, "Finish", None),
    ], "Interior Wall 125", None)
    ext_usage = m.add("IFCMATERIALLAYERSETUSAGE", ext_layers, enum("AXIS2"), enum("POSITIVE"), 0.0, None)
    int_usage = m.add("IFCMATERIALLAYERSETUSAGE", int_layers, enum("AXIS2"), enum("POSITIVE"), -62.5, None)
    window_mats = m.add("IFCMATERIALLIST", [glass, aluminium])
    uniclass = m.add("IFCCLASSIFICATION", "NBS", "2015", None, "Uniclass 2015", "Unified classification",
                     "https://www.thenbs.com/our-tools/uniclass", None)
    omniclass = m.add("IFCCLASSIFICATION", "CSI", "2012", None, "OmniClass Table 23", None, None, None)

    def uniclass_ref(code, name):
        return m.add("IFCCLASSIFICATIONREFERENCE", None, code, name, uniclass, None, None)

    class_refs = {
        "wall": uniclass_ref("EF_25_10", "Walls"),
        "slab": uniclass_ref("EF_30_20", "Floors"),
        "column": uniclass_ref("EF_20_10", "Columns"),
        "door": uniclass_ref("EF_25_30_25", "Doors"),
        "window": uniclass_ref("EF_25_30_97", "Windows"),
        "roof": uniclass_ref("EF_30_10", "Roofs"),
        "furniture": m.add("IFCCLASSIFICATIONREFERENCE", None, "23-21 11 00", "Furniture", omniclass, None, None),
    }

    # Shared mapped geometry: doors, windows, furniture.
    def rep_map(items, kind):
        rep = m.add("IFCSHAPEREPRESENTATION", body_ctx, "Body", kind, items)
        return m.add("IFCREPRESENTATIONMAP", m.axis3(), rep)

    door_map = rep_map([box(900.0, 60.0, 2100.0, dy=120.0)], "SweptSolid")
    window_map = rep_map([box(1500.0, 80.0, 1300.0, dy=110.0), box(1500.0, 200.0, 50.0, dy=50.0)],
                         "SweptSolid")
    table_map = rep_map([box(1600.0, 900.0, 40.0, dz=710.0)] + [
        box(60.0, 60.0, 710.0, dx=x, dy=y) for x, y in ((0, 0), (1540, 0), (0, 840), (1540, 840))
    ], "SweptSolid")
    chair_points = m.add("IFCCARTESIANPOINTLIST3D", [
        [0.0, 0.0, 0.0], [450.0, 0.0, 0.0], [450.0, 450.0, 0.0], [0.0, 450.0, 0.0],
        [0.0, 0.0, 450.0], [450.0, 0.0, 450.0], [450.0, 450.0, 450.0], [0.0, 450.0, 450.0],
        [0.0, 450.0, 900.0], [450.0, 450.0, 900.0],
    ], None)
    chair = m.add("IFCTRIANGULATEDFACESET", chair_points, None, True, [
        [1, 3, 2], [1, 4, 3], [5, 6, 7], [5, 7, 8], [1, 2, 6], [1, 6, 5], [2, 3, 7], [2, 7, 6],
        [4, 1, 5], [4, 5, 8], [8, 7, 10], [8, 10, 9], [4, 8, 9], [3, 10, 7], [3, 4, 9], [3, 9, 10],
    ], None)
    chair_map = rep_map([chair], "Tessellation")
    cabinet_map = rep_map([box(800.0, 450.0, 900.0)], "SweptSolid")

    def mapped(source, x=0.0, y=0.0, z=0.0):
        target = m.add("IFCCARTESIANTRANSFORMATIONOPERATOR3D", None, None, m.point(x, y, z), None, None)
        return m.add("IFCMAPPEDITEM", source, target)

    storey_objects = []
    by_material = {}
    by_class = {}
    psets = []      # (pset name, [(prop name, value)], [objects])
    quantities = []  # (qto name, [quantity entity], object)

    def assign(obj, material, cls):
        by_material.setdefault(material.id, (material, []))[1].append(obj)
        by_class.setdefault(class_refs[cls].id, (class_refs[cls], []))[1].append(obj)

    def q(kind, name, value, unit=None):
        return m.add(f"IFCQUANTITY{kind.upper()}", name, None, unit, value, None)

    wall_common = {}
    for level, (storey_name, elevation) in enumerate(STOREYS):
        tag = storey_name.split()[0][0] + storey_name.split()[1][0]
        st_pl = m.add("IFCLOCALPLACEMENT", bldg_pl, m.axis3(0.0, 0.0, elevation))
        storey = m.add("IFCBUILDINGSTOREY", guid(storey_name), owner, storey_name, None, None, st_pl, None,
                       None, enum("ELEMENT"), elevation)
        storey_objects.append(storey)
        contained = []

        space = m.add("IFCSPACE", guid(f"{storey_name} space"), owner, f"{level}.01", None, None,
                      m.add("IFCLOCALPLACEMENT", st_pl, m.axis3(WALL_T, WALL_T, SLAB_T)),
                      body([box(LENGTH - 2 * WALL_T, WIDTH - 2 * WALL_T, STOREY_HEIGHT - SLAB_T)],
                           "SweptSolid"),
                      "Open plan office", enum("ELEMENT"), enum("INTERNAL"), None)
        m.add("IFCRELAGGREGATES", guid(f"agg {storey_name}"), owner, None, None, storey, [space])
        psets.append(("Pset_SpaceCommon", [
            ("Reference", typed("IFCIDENTIFIER", f"{level}.01")),
            ("IsExternal", typed("IFCBOOLEAN", Raw(".F."))),
            ("NetPlannedArea", typed("IFCAREAMEASURE", (LENGTH - 2 * WALL_T) * (WIDTH - 2 * WALL_T) / 1e6)),
        ], [space]))

        # Slab: direct material.
        slab = m.add("IFCSLAB", guid(f"{storey_name} slab"), owner, f"Floor slab {tag}", None,
                     "Floor:Concrete 250", m.add("IFCLOCALPLACEMENT", st_pl, m.axis3()),
                     body([box(LENGTH, WIDTH, SLAB_T)], "SweptSolid"), f"S-{tag}", enum("FLOOR"))
        contained.append(slab)
        assign(slab, concrete, "slab")
        psets.append(("Pset_SlabCommon", [
            ("Reference", typed("IFCIDENTIFIER", "Concrete 250")),
            ("LoadBearing", typed("IFCBOOLEAN", Raw(".T."))),
            ("IsExternal", typed("IFCBOOLEAN", Raw(".F."))),
            ("FireRating", typed("IFCLABEL", "REI 90")),
        ], [slab]))
        quantities.append(("Qto_SlabBaseQuantities", [
            q("Length", "Width", WIDTH), q("Length", "Length", LENGTH), q("Length", "Depth", SLAB_T),
            q("Area", "GrossArea", LENGTH * WIDTH / 1e6),
            q("Volume", "GrossVolume", LENGTH * WIDTH * SLAB_T / 1e9),
            q("Weight", "GrossWeight", LENGTH * WIDTH * SLAB_T / 1e9 * 2400.0),
        ], slab))

        # Four exterior walls, each placed at its start point and turned along its axis.
        walls = []
        runs = [
            ("South", 0.0, 0.0, (1.0, 0.0, 0.0), LENGTH),
            ("East", LENGTH, 0.0, (0.0, 1.0, 0.0), WIDTH),
            ("North", LENGTH, WIDTH, (-1.0, 0.0, 0.0), LENGTH),
            ("West", 0.0, WIDTH, (0.0, -1.0, 0.0), WIDTH),
        ]
        for side, x, y, ref, run in runs:
            pl = m.add("IFCLOCALPLACEMENT", st_pl, m.axis3(x, y, SLAB_T, axis=(0.0, 0.0, 1.0), ref=ref))
            height = STOREY_HEIGHT - SLAB_T
            wall = m.add("IFCWALL", guid(f"{storey_name} wall {side}"), owner, f"Exterior wall {side} {tag}",
                         None, "Basic Wall:Exterior 300", pl, body([box(run, WALL_T, height)], "SweptSolid"),
                         f"W-{tag}-{side[0]}", enum("STANDARD"))
            walls.append((wall, side, pl, run))
            assign(wall, ext_usage, "wall")
            quantities.append(("Qto_WallBaseQuantities", [
                q("Length", "Length", run), q("Length", "Width", WALL_T), q("Length", "Height", height),
                q("Area", "NetSideArea", run * height / 1e6),
                q("Volume", "NetVolume", run * height * WALL_T / 1e9),
            ], wall))
        wall_common.setdefault("exterior", []).extend(w for w, *_ in walls)
        contained.extend(w for w, *_ in walls)

        # One interior wall across the plan.
        pl = m.add("IFCLOCALPLACEMENT", st_pl, m.axis3(LENGTH / 2, WALL_T, SLAB_T, axis=(0.0, 0.0, 1.0),
                                                       ref=(0.0, 1.0, 0.0)))
        iwall = m.add("IFCWALL", guid(f"{storey_name} wall interior"), owner, f"Interior wall {tag}", None,
                      "Basic Wall:Interior 125", pl,
                      body([box(WIDTH - 2 * WALL_T, 125.0, STOREY_HEIGHT - SLAB_T, dy=-62.5)], "SweptSolid"),
                      f"W-{tag}-I", enum("PARTITIONING"))
        contained.append(iwall)
        assign(iwall, int_usage, "wall")
        wall_common.setdefault("interior", []).append(iwall)

        # Doors and windows: mapped items in the placement frame of their wall.
        wall_south, _, south_pl, _ = walls[0]
        wall_north, _, north_pl, _ = walls[2]
        for i, (host_pl, offset) in enumerate(((south_pl, 2000.0), (north_pl, 5000.0))):
            if level > 0 and i == 0:
                continue
            door = m.add("IFCDOOR", guid(f"{storey_name} door {i}"), owner, f"Door {tag}-{i + 1}", None,
                         "Single Flush 900x2100",
                         m.add("IFCLOCALPLACEMENT", host_pl, m.axis3(offset, 0.0, 0.0)),
                         body([mapped(door_map)], "MappedRepresentation"), f"D-{tag}-{i + 1}",
                         2100.0, 900.0, enum("DOOR"), enum("SINGLE_SWING_LEFT"), None)
            contained.append(door)
            assign(door, oak, "door")
            psets.append(("Pset_DoorCommon", [
                ("Reference", typed("IFCIDENTIFIER", "Single Flush 900x2100")),
                ("FireRating", typed("IFCLABEL", "EI 30" if i == 0 else "EI 60")),
                ("IsExternal", typed("IFCBOOLEAN", Raw(".T."))),
                ("HandicapAccessible", typed("IFCBOOLEAN", Raw(".T." if level == 0 else ".F."))),
                ("SelfClosing", typed("IFCBOOLEAN", Raw(".F."))),
            ], [door]))
            quantities.append(("Qto_DoorBaseQuantities", [
                q("Length", "Width", 900.0), q("Length", "Height", 2100.0),
                q("Area", "Area", 0.9 * 2.1),
            ], door))
        for wi, (host, host_pl, run) in enumerate(((wall_south, south_pl, LENGTH), (wall_north, north_pl, LENGTH))):
            for k, offset in enumerate((600.0, 3600.0, 7500.0, 10000.0)):
                if host is wall_south and level == 0 and k == 1:
                    continue  # the door is there
                window = m.add("IFCWINDOW", guid(f"{storey_name} window {wi} {k}"), owner,
                               f"Window {tag}-{wi * 4 + k + 1}", None, "Fixed 1500x1300",
                               m.add("IFCLOCALPLACEMENT", host_pl, m.axis3(offset, 0.0, 900.0)),
                               body([mapped(window_map)], "MappedRepresentation"), f"WIN-{tag}-{wi * 4 + k + 1}",
                               1300.0, 1500.0, enum("WINDOW"), enum("SINGLE_PANEL"), None)
                contained.append(window)
                assign(window, window_mats, "window")
                quantities.append(("Qto_WindowBaseQuantities", [
                    q("Length", "Width", 1500.0), q("Length", "Height", 1300.0), q("Area", "Area", 1.95),
                ], window))
                wall_common.setdefault("windows", []).append(window)

        # Columns on a grid inside the plan; one on the first floor has drifted 50 m east.
        for c, (x, y) in enumerate(((3000.0, 4000.0), (9000.0, 4000.0))):
            drifted = level == 1 and c == 1
            extrusion = m.add("IFCEXTRUDEDAREASOLID", rectangle(400.0, 400.0, centred=True),
                              m.axis3(50000.0 if drifted else 0.0, 0.0, 0.0), m.direction(0.0, 0.0, 1.0),
                              STOREY_HEIGHT - SLAB_T)
            column = m.add("IFCCOLUMN", guid(f"{storey_name} column {c}"), owner, f"Column {tag}-{c + 1}", None,
                           "Concrete Column 400x400",
                           m.add("IFCLOCALPLACEMENT", st_pl, m.axis3(x, y, SLAB_T)),
                           body([extrusion], "SweptSolid"), f"C-{tag}-{c + 1}", enum("COLUMN"))
            contained.append(column)
            assign(column, concrete, "column")
            psets.append(("Pset_ColumnCommon", [
                ("Reference", typed("IFCIDENTIFIER", "400x400")),
                ("LoadBearing", typed("IFCBOOLEAN", Raw(".T."))),
                ("Slope", typed("IFCPLANEANGLEMEASURE", 0.0)),
            ], [column]))
            quantities.append(("Qto_ColumnBaseQuantities", [
                q("Length", "Length", STOREY_HEIGHT - SLAB_T),
                q("Area", "CrossSectionArea", 0.16),
                q("Volume", "NetVolume", 0.16 * (STOREY_HEIGHT - SLAB_T) / 1000.0),
                q("Weight", "NetWeight", 0.16 * (STOREY_HEIGHT - SLAB_T) / 1000.0 * 2400.0),
            ], column))

        # Furniture: a table with two chairs and a cabinet, all mapped.
        furniture = []
        for n, (source, x, y, name) in enumerate((
            (table_map, 4200.0, 2000.0, "Table"),
            (chair_map, 4400.0, 1300.0, "Chair"),
            (chair_map, 5000.0, 1300.0, "Chair"),
            (cabinet_map, 1000.0, 6500.0, "Cabinet"),
        )):
            # The second-floor cabinet's geometry was moved 4 m away from where it is placed.
            dx = 4000.0 if (level == 2 and name == "Cabinet") else 0.0
            item = m.add("IFCFURNITURE", guid(f"{storey_name} furniture {n}"), owner, f"{name} {tag}-{n + 1}",
                         None, name, m.add("IFCLOCALPLACEMENT", st_pl, m.axis3(x, y, SLAB_T)),
                         body([mapped(source, dx)], "MappedRepresentation"), None,
                         enum("TABLE" if name == "Table" else "CHAIR" if name == "Chair" else "NOTDEFINED"))
            furniture.append(item)
            assign(item, oak, "furniture")
        contained.extend(furniture)
        psets.append(("Pset_FurnitureTypeCommon", [
            ("Reference", typed("IFCIDENTIFIER", "Office set")),
            ("Style", typed("IFCLABEL", "Modern")),
            ("NominalHeight", typed("IFCPOSITIVELENGTHMEASURE", 750.0)),
            ("IsBuiltIn", typed("IFCBOOLEAN", Raw(".F."))),
        ], furniture))
        quantities.append(("Qto_FurnitureCount", [q("Count", "Seats", 2.0)], furniture[0]))

        if level == 0:
            # A faceted-brep plinth at the entrance and a triangulated sculpture in the hall.
            corners = [(0, 0, 0), (1200, 0, 0), (1200, 600, 0), (0, 600, 0),
                       (0, 0, 150), (1200, 0, 150), (1200, 600, 150), (0, 600, 150)]
            pts = [m.point(*map(float, p)) for p in corners]
            faces = [(0, 3, 2, 1), (4, 5, 6, 7), (0, 1, 5, 4), (1, 2, 6, 5), (2, 3, 7, 6), (3, 0, 4, 7)]
            shell = m.add("IFCCLOSEDSHELL", [
                m.add("IFCFACE", [m.add("IFCFACEOUTERBOUND", m.add("IFCPOLYLOOP", [pts[i] for i in f]), True)])
                for f in faces
            ])
            plinth = m.add("IFCBUILDINGELEMENTPROXY", guid("plinth"), owner, "Entrance plinth", None, "Plinth",
                           m.add("IFCLOCALPLACEMENT", st_pl, m.axis3(1400.0, -600.0, 100.0)),
                           body([m.add("IFCFACETEDBREP", shell)], "Brep"), "P-1", enum("ELEMENT"))
            contained.append(plinth)
            assign(plinth, concrete, "slab")

            tet = m.add("IFCCARTESIANPOINTLIST3D", [
                [-400.0, -400.0, 0.0], [400.0, -400.0, 0.0], [0.0, 400.0, 0.0], [0.0, 0.0, 1800.0]], None)
            sculpture = m.add("IFCBUILDINGELEMENTPROXY", guid("sculpture"), owner, "Hall sculpture", None,
                              "Sculpture", m.add("IFCLOCALPLACEMENT", st_pl, m.axis3(8000.0, 6000.0, SLAB_T)),
                              body([m.add("IFCTRIANGULATEDFACESET", tet, None, True,
                                          [[1, 3, 2], [1, 2, 4], [2, 3, 4], [3, 1, 4]], None)],
                                   "Tessellation"), "ART-1", enum("USERDEFINED"))
            contained.append(sculpture)
            assign(sculpture, steel, "furniture")
            psets.append(("Pset_Artwork", [
                ("Artist", typed("IFCLABEL", "A. N. Other")),
                ("Year", typed("IFCINTEGER", 2024)),
                ("InsuredValue", typed("IFCMONETARYMEASURE", 12500.0)),
                ("OnLoan", typed("IFCBOOLEAN", Raw(".F."))),
                ("Notes", typed("IFCTEXT", "Stainless steel, brushed finish")),
                ("Height", typed("IFCLENGTHMEASURE", 1800.0)),
                ("Plaque", None),
            ], [sculpture]))

        if level == len(STOREYS) - 1:
            # A flat roof with a parapet upstand, as a polygonal face set.
            top = STOREY_HEIGHT
            outline = [(0.0, 0.0), (LENGTH, 0.0), (LENGTH, WIDTH), (0.0, WIDTH)]
            coords = [[x, y, top] for x, y in outline] + [[x, y, top + 300.0] for x, y in outline]
            roof_pts = m.add("IFCCARTESIANPOINTLIST3D", coords, None)
            roof_faces = [m.add("IFCINDEXEDPOLYGONALFACE", list(f)) for f in (
                (1, 4, 3, 2), (5, 6, 7, 8), (1, 2, 6, 5), (2, 3, 7, 6), (3, 4, 8, 7), (4, 1, 5, 8))]
            roof = m.add("IFCROOF", guid("roof"), owner, "Flat roof", None, "Flat roof 300",
                         m.add("IFCLOCALPLACEMENT", st_pl, m.axis3()),
                         body([m.add("IFCPOLYGONALFACESET", roof_pts, True, roof_faces, None)], "Tessellation"),
                         "R-1", enum("FLAT_ROOF"))
            contained.append(roof)
            assign(roof, concrete, "roof")
            psets.append(("Pset_RoofCommon", [
                ("Reference", typed("IFCIDENTIFIER", "Flat roof 300")),
                ("IsExternal", typed("IFCBOOLEAN", Raw(".T."))),
                ("ThermalTransmittance", typed("IFCTHERMALTRANSMITTANCEMEASURE", 0.18)),
            ], [roof]))
            quantities.append(("Qto_RoofBaseQuantities", [
                q("Area", "GrossArea", LENGTH * WIDTH / 1e6), q("Area", "ProjectedArea", LENGTH * WIDTH / 1e6),
            ], roof))

        m.add("IFCRELCONTAINEDINSPATIALSTRUCTURE", guid(f"contained {storey_name}"), owner,
              f"{storey_name} content", None, contained, storey)

    m.add("IFCRELAGGREGATES", guid("agg building"), owner, None, None, building, storey_objects)

    psets.append(("Pset_WallCommon", [
        ("Reference", typed("IFCIDENTIFIER", "Exterior 300")),
        ("IsExternal", typed("IFCBOOLEAN", Raw(".T."))),
        ("LoadBearing", typed("IFCBOOLEAN", Raw(".T."))),
        ("FireRating", typed("IFCLABEL", "REI 60")),
        ("ThermalTransmittance", typed("IFCTHERMALTRANSMITTANCEMEASURE", 0.24)),
        ("AcousticRating", typed("IFCLABEL", "Rw 52 dB")),
    ], wall_common["exterior"]))
    psets.append(("Pset_WallCommon", [
        ("Reference", typed("IFCIDENTIFIER", "Interior 125")),
        ("IsExternal", typed("IFCBOOLEAN", Raw(".F."))),
        ("LoadBearing", typed("IFCBOOLEAN", Raw(".F."))),
        ("FireRating", typed("IFCLABEL", "EI 30")),
    ], wall_common["interior"]))
    psets.append(("Pset_WindowCommon", [
        ("Reference", typed("IFCIDENTIFIER", "Fixed 1500x1300")),
        ("IsExternal", typed("IFCBOOLEAN", Raw(".T."))),
        ("ThermalTransmittance", typed("IFCTHERMALTRANSMITTANCEMEASURE", 1.1)),
        ("GlazingAreaFraction", typed("IFCPOSITIVERATIOMEASURE", 0.82)),
        ("NumberOfPanes", typed("IFCINTEGER", 3)),
    ], wall_common["windows"]))
    psets.append(("Pset_BuildingCommon", [
        ("BuildingID", typed("IFCIDENTIFIER", "QS-001")),
        ("NumberOfStoreys", typed("IFCINTEGER", len(STOREYS))),
        ("YearOfConstruction", typed("IFCLABEL", "2026")),
        ("IsLandmarked", typed("IFCBOOLEAN", Raw(".F."))),
        ("GrossPlannedArea", typed("IFCAREAMEASURE", LENGTH * WIDTH * len(STOREYS) / 1e6)),
    ], [building]))

    for n, (name, props, objects) in enumerate(psets):
        values = [m.add("IFCPROPERTYSINGLEVALUE", pname, None, value, None) for pname, value in props]
        pset = m.add("IFCPROPERTYSET", guid(f"pset {n} {name}"), owner, name, None, values)
        m.add("IFCRELDEFINESBYPROPERTIES", guid(f"rel pset {n}"), owner, None, None, objects, pset)
    for n, (name, items, obj) in enumerate(quantities):
        qto = m.add("IFCELEMENTQUANTITY", guid(f"qto {n} {name}"), owner, name, None, None, items)
        m.add("IFCRELDEFINESBYPROPERTIES", guid(f"rel qto {n}"), owner, None, None, [obj], qto)
    for n, (material, objects) in enumerate(by_material.values()):
        m.add("IFCRELASSOCIATESMATERIAL", guid(f"rel material {n}"), owner, None, None, objects, material)
    for n, (ref, objects) in enumerate(by_class.values()):
        m.add("IFCRELASSOCIATESCLASSIFICATION", guid(f"rel class {n}"), owner, None, None, objects, ref)
    return m.text(HEADER)


def main(argv):
    out = pathlib.Path(argv[1]) if len(argv) > 1 else pathlib.Path(__file__).with_name("sample_building.ifc")
    text = build()
    out.write_bytes(text.encode("ascii"))
    print(f"wrote {out} ({len(text.encode('ascii')):,} bytes)")


if __name__ == "__main__":
    main(sys.argv)
