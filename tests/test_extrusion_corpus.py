"""Extruded bodies of the corpus models, direct or through mapped items, cross-checked with
IfcOpenShell's geometry iterator."""

import collections

import pytest

import quarnel._core as core
from ifc_bodies import NOT_MESHED, body_items, box_centre, geometry_settings, model_size, open_model, source_items
from conftest import corpus, corpus_params

# Profiles analyse_drift builds, each centred on its box as IfcOpenShell centres it, and the
# outline curves it reads (arcs drawn as chords of 11.25 degrees).
PARAMETERISED = {
    "IfcRectangleProfileDef", "IfcRoundedRectangleProfileDef", "IfcCircleProfileDef",
    "IfcCircleHollowProfileDef", "IfcEllipseProfileDef", "IfcIShapeProfileDef", "IfcLShapeProfileDef",
    "IfcTShapeProfileDef", "IfcUShapeProfileDef", "IfcZShapeProfileDef", "IfcRectangleHollowProfileDef",
    "IfcCShapeProfileDef", "IfcTrapeziumProfileDef", "IfcAsymmetricIShapeProfileDef",
}
ARBITRARY = {"IfcArbitraryClosedProfileDef", "IfcArbitraryProfileDefWithVoids"}
CURVES = {"IfcPolyline", "IfcIndexedPolyCurve", "IfcCompositeCurve", "IfcTrimmedCurve", "IfcCircle", "IfcEllipse"}
PER_KIND = 25  # products compared per kind of profile and model


def is_built(item):
    area = item.SweptArea
    if area.is_a() in PARAMETERISED:
        return True
    return area.is_a() in ARBITRARY and area.OuterCurve.is_a() in CURVES


def extruded_products(model):
    """Every product whose body is only extrusions of built profiles, directly or through
    mapped items."""
    found = []
    for product in model.by_type("IfcProduct"):
        items = source_items(body_items(product))
        if product.is_a() in NOT_MESHED or not items or not all(i.is_a("IfcExtrudedAreaSolid") for i in items):
            continue
        if all(map(is_built, items)):
            found.append(product)
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
    expected = {p.GlobalId: "mapped" if body_items(p)[-1].is_a("IfcMappedItem") else "extrusion" for p in products}
    assert [(g, source.get(g), label) for g, label in expected.items() if source.get(g) != label] == []
    row_of = {g: i for i, g in enumerate(ours["guid"])}
    size = model_size(ours)

    # A spread of each kind of profile, in a fixed order.
    by_kind = collections.defaultdict(list)
    for product in products:
        items = body_items(product)
        signature = (items[-1].is_a("IfcMappedItem"),) + tuple(sorted({i.SweptArea.is_a() for i in source_items(items)}))
        by_kind[signature].append(product)
    chosen = []
    for signature in sorted(by_kind):
        group = sorted(by_kind[signature], key=lambda p: p.GlobalId)
        chosen += group[:: max(1, len(group) // PER_KIND)]

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
        checked += 1
        if max(abs(a - b) for a, b in zip(mine, centre)) > 1e-3 * size:
            disagree.append((guid, mine, centre))
    assert disagree == []
    assert checked
