"""Builds the C++ checks of the core (tests/cpp) and runs them."""
import pathlib
import shutil
import subprocess

import pytest

from conftest import ROOT

SOURCES = sorted((ROOT / "tests" / "cpp").glob("*.cpp"))


@pytest.fixture(scope="module")
def build_dir():
    if not shutil.which("cmake") or not (ROOT / "CMakeLists.txt").exists():
        pytest.skip("cmake or the project sources are not available")
    # Kept between runs (build/ is not tracked): only what changed is compiled again. No
    # optimisation and no debug information: the checks take milliseconds, the compile most of a minute.
    build = ROOT / "build" / "core-tests"
    subprocess.run(
        ["cmake", "-S", str(ROOT), "-B", str(build), "-DQUARNEL_CORE_TESTS=ON", "-DCMAKE_BUILD_TYPE=None"],
        check=True, capture_output=True,
    )
    targets = [p.stem for p in SOURCES]
    subprocess.run(["cmake", "--build", str(build), "-j", "2", "--target", *targets], check=True, capture_output=True)
    return build


@pytest.mark.parametrize("source", SOURCES, ids=[p.stem for p in SOURCES])
def test_core_checks(build_dir, source):
    run = subprocess.run([str(pathlib.Path(build_dir) / source.stem)], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
