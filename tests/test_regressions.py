"""Inputs that once crashed, hung or broke an invariant of the native core
(found by the fuzzers in fuzz/): each goes through every function and every
Arrow table and must come back as a dict."""

import pytest

from conftest import FUNCTIONS, ROOT
from hostile_files import run_isolated

REGRESSIONS = sorted(p for p in (ROOT / "fuzz" / "regressions").glob("*") if p.is_file())


@pytest.mark.skipif(not REGRESSIONS, reason="no regression inputs")
@pytest.mark.parametrize("path", REGRESSIONS, ids=lambda p: p.name)
def test_regression_input(path):
    report = run_isolated([path], FUNCTIONS + ("read_tables",))
    assert all(count == 1 for count in report.values())
