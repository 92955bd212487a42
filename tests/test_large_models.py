"""Large models are read in parts on several threads: the rows must be those one thread gives,
in the same order."""
import subprocess
import sys
from collections import Counter

import pytest

import quarnel
from conftest import CORPUS, ROOT

COPIES = 9  # about 37 MB and 570,000 instances: enough for the scan and the passes to split
SOURCE = CORPUS / "office_a_20110811.ifc"
pytestmark = pytest.mark.skipif(not SOURCE.is_file(), reason="../shared/corpus is not present")


@pytest.fixture(scope="module")
def scaled(tmp_path_factory):
    out = tmp_path_factory.mktemp("large") / f"office_a_x{COPIES}.ifc"
    subprocess.run([sys.executable, str(ROOT.parent / "shared" / "tools" / "scale_ifc.py"), str(SOURCE),
                    str(COPIES), str(out)], check=True)
    return str(out)


def same_in_every_copy(value):
    # The scaler rewrites the first two characters of the first attribute of a statement when it
    # is 22 characters long: GlobalIds, and the odd property name of that length.
    return value[2:] if isinstance(value, str) and len(value) == 22 else value


def rows(result, names):
    return [tuple(map(same_in_every_copy, row)) for row in zip(*(result[n] for n in names))]


@pytest.mark.parametrize("function, names", [
    ("extract_psets", ["guid", "pset_name", "prop_name", "value", "value_type"]),
    ("extract_quantities", ["guid", "qto_name", "quantity_name", "value", "quantity_type"]),
    ("extract_materials", ["guid", "role", "layer_index", "material_name", "layer_thickness_mm", "category"]),
])
def test_each_copy_gives_the_rows_of_the_original_in_order(scaled, function, names):
    one = rows(getattr(quarnel, function)(str(SOURCE)), names)
    many = rows(getattr(quarnel, function)(scaled), names)
    assert one, "the source model should have rows"
    assert len(many) == COPIES * len(one)
    for k in range(COPIES):
        assert many[k * len(one):(k + 1) * len(one)] == one, f"copy {k}"


def test_extract_all_agrees_with_the_single_calls_on_a_large_model(scaled):
    everything = quarnel.extract_all(scaled)
    single = quarnel.extract_psets(scaled)
    for name in ("guid", "pset_name", "prop_name", "value", "value_type"):
        assert everything["psets"][name] == single[name]
    assert Counter(len(g) for g in single["guid"]) == Counter({22: len(single["guid"])})
