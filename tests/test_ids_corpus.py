"""IDS verdicts on real models against ifctester's, object by object: every specification's
status and applicable count, and which objects fail (tools/ids_cross_check.py)."""
import importlib.util

import pytest

from conftest import CORPUS, ROOT, corpus

_spec = importlib.util.spec_from_file_location("ids_cross_check", ROOT / "tools" / "ids_cross_check.py")
cross_check = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(cross_check)

# Metres with square metres; millimetres with square metres and degrees (Revit, Tekla); feet,
# square and cubic feet.
MODELS = ["office_a_20110811.ifc", "ifc4_samplehouse.ifc", "largebuilding.ifc", "issue_021_mini_project.ifc",
          "ifc2s3_duplex_electrical.ifc"]


@corpus
@pytest.mark.parametrize("ids", ["office_a.ids", "units.ids"])
@pytest.mark.parametrize("model", MODELS)
def test_verdicts_are_ifctesters(ids, model):
    pytest.importorskip("ifctester")
    assert cross_check.compare(ROOT / "bench" / ids, CORPUS / model, []) == []
