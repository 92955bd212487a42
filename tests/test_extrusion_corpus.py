"""Extruded bodies of the corpus models, direct or through mapped items, cross-checked with
IfcOpenShell's geometry iterator."""

import collections

import pytest

import quarnel._core as core
from ifc_bodies import NOT_MESHED, body_items, box_centre, geometry_settings, model_size, open_model, source_items
from conftest import corpus, corpus_params

# Profiles analyse_drift builds; the L, T, U and Z outlines are kept with a corner or the web foot
# at the profile origin, where IfcOpenShell centres them on their box, so their centres differ by
# half the section and are compared only for being meshed.
CENTRED = {
    "IfcRectangleProfileDef", "IfcRoundedRectangleProfileDef", "IfcCircleProfileDef",
    "IfcCircleHollowProfileDef", "IfcEllipseProfileDef", "IfcIShapeProfileDef",
}
CORNER_PLACED = {"IfcLShapeProfileDef", "IfcTShapeProfileDef", "IfcUShapeProfileDef", "IfcZShapeProfileDef"}
ARBITRARY = {"IfcArbitraryClosedProfileDef", "IfcArbitraryProfileDefWithVoids"}
CURVES = {"IfcPolyline", "IfcIndexedPolyCurve"}
PER_KIND = 25  # products compared per kind of profile and model


def profile_kind(item):
    """'centred', 'corner', 'chords' (arcs drawn as chords) or None when not built."""
    area = item.SweptArea
    kind = area.is_a()
    if kind in CENTRED:
        return "centred"
    if kind in CORNER_PLACED:
        return "corner"
    if kind not in ARBITRARY:
        return None
    curves = [area.OuterCurve] + list(getattr(area, "InnerCurves", None) or [])
    if area.OuterCurve.is_a() not in CURVES:
        return None
    arcs = any(c.is_a("IfcIndexedPolyCurve") and any(s.is_a("IfcArcIndex") for s in c.Segments or []) for c in curves)
    return "chords" if arcs else "centred"


def extruded_products(model):
    """(product, kind) for every product whose body is only extrusions of built profiles,
    directly or through mapped items."""
    found = []
    for product in model.by_type("IfcProduct"):
        items = source_items(body_items(product))
        if product.is_a() in NOT_MESHED or not items or not all(i.is_a("IfcExtrudedAreaSolid") for i in items):
            continue
        kinds = {profile_kind(i) for i in items}
        if None in kinds:
            continue
        kind = "corner" if "corner" in kinds else "chords" if "chords" in kinds else "centred"
        found.append((product, kind))
    return found


@corpus
@pytest.mark.parametrize("path", corpus_params())
def test_extrusions_are_meshed_where_ifcopenshell_puts_them(path):
    model = open_model(path)
    import ifcopenshell.geom

    ours = core.analyse_drift(path)
    products = extruded_products(model)
    if not products:
        pytest.skip("no product whose body is only extrusions")

    # Every such product is meshed, labelled by its last item.
    source = dict(zip(ours["guid"], ours["source"]))
    expected = {p.GlobalId: "mapped" if body_items(p)[-1].is_a("IfcMappedItem") else "extrusion" for p, _ in products}
    assert [(g, source.get(g), label) for g, label in expected.items() if source.get(g) != label] == []
    row_of = {g: i for i, g in enumerate(ours["guid"])}
    size = model_size(ours)

    # A spread of each kind of profile, in a fixed order.
    by_kind = collections.defaultdict(list)
    for product, _ in products:
        items = body_items(product)
        signature = (items[-1].is_a("IfcMappedItem"),) + tuple(sorted({i.SweptArea.is_a() for i in source_items(items)}))
        by_kind[signature].append(product)
    chosen = []
    for signature in sorted(by_kind):
        group = sorted(by_kind[signature], key=lambda p: p.GlobalId)
        chosen += group[:: max(1, len(group) // PER_KIND)]
    kind_of = {p.GlobalId: k for p, k in products}

    iterator = ifcopenshell.geom.iterator(geometry_settings(), model, 1, include=chosen)
    theirs = {}
    if iterator.initialize():
        while True:
            shape = iterator.get()
            verts = shape.geometry.verts
            if verts:
                theirs[shape.guid] = box_centre(verts)
            if not iterator.next():
                break

    disagree = []
    checked = 0
    for guid, centre in theirs.items():
        i = row_of[guid]
        mine = (ours["centroid_x"][i], ours["centroid_y"][i], ours["centroid_z"][i])
        if kind_of[guid] != "centred":
            continue
        checked += 1
        if max(abs(a - b) for a, b in zip(mine, centre)) > 1e-3 * size:
            disagree.append((guid, mine, centre))
    assert disagree == []
    if not checked:
        pytest.skip("only corner-placed or arc profiles")
