"""The placements table against IfcOpenShell's placement resolution on the corpus: every product
with a local placement, where it stands in metres and how its axes turn."""

import math

import pytest

import quarnel
from conftest import CORPUS_MODELS, corpus, open_with_ifcopenshell

SMALL = [str(p) for p in CORPUS_MODELS if p.stat().st_size < 3_000_000]


@corpus
@pytest.mark.parametrize("path", SMALL, ids=[p.rsplit("/", 1)[-1] for p in SMALL])
def test_placements_match_ifcopenshell(path):
    placement = pytest.importorskip("ifcopenshell.util.placement")
    unit = pytest.importorskip("ifcopenshell.util.unit")
    model = open_with_ifcopenshell(path)
    scale = unit.calculate_unit_scale(model)
    table = quarnel.read_table(path, "placements").to_pydict()
    ours = {}
    for i, guid in enumerate(table["guid"]):
        ours.setdefault(guid, []).append(i)
    expected = {}
    for product in model.by_type("IfcProduct"):
        if product.ObjectPlacement is not None and product.ObjectPlacement.is_a("IfcLocalPlacement"):
            expected.setdefault(product.GlobalId, []).append(product)
    assert set(expected) <= set(ours)
    for guid, products in expected.items():
        if len(products) > 1 or len(ours[guid]) > 1:
            continue  # a GlobalId carried twice: which is which is not ours to guess
        m = placement.get_local_placement(products[0].ObjectPlacement)
        i = ours[guid][0]
        where = [m[k][3] * scale for k in range(3)]
        size = max(1.0, *map(abs, where))
        # The core resolves frames in single precision.
        for k, axis in enumerate("xyz"):
            assert table[axis][i] == pytest.approx(where[k], abs=2e-6 * size), (guid, axis)
        for column, c in (("x_axis", 0), ("z_axis", 2)):
            got = [table[f"{column}_{a}"][i] for a in "xyz"]
            want = [m[k][c] / math.sqrt(sum(m[r][c] ** 2 for r in range(3))) for k in range(3)]
            assert got == pytest.approx(want, abs=1e-5), (guid, column)
