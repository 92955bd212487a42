"""Running the quarnel command as a user does, and reading its tables back."""

import os
import subprocess
import sys
from collections import Counter

import pytest

import quarnel

from conftest import CORPUS, SAMPLE

CORPUS_PAIR = [CORPUS / "ac20-fzk-haus.ifc", CORPUS / "duplex.ifc"]

FUNCTIONS = tuple(quarnel._core.__all__[:-1])  # the seven functions, without __version__


def models():
    """The sample and two corpus models (the corpus ones skipped when ../shared is absent)."""
    corpus_mark = pytest.mark.skipif(not CORPUS.is_dir(), reason="../shared/corpus is not present")
    return [pytest.param(str(SAMPLE), id="sample")] + [
        pytest.param(str(p), id=p.name, marks=corpus_mark) for p in CORPUS_PAIR
    ]


def run(*args, cwd=None, check=None, script=False, columns=None):
    """Run `python -m quarnel ARGS` (or the installed `quarnel` script) without a terminal.

    COLUMNS is passed only when given: without it, previews are not fitted to any width."""
    env = {k: v for k, v in os.environ.items() if k not in ("COLUMNS", "LINES")}
    if columns:
        env["COLUMNS"] = str(columns)
    if script:
        command = [os.path.join(os.path.dirname(sys.executable), "quarnel")]
    else:
        command = [sys.executable, "-m", "quarnel"]
    proc = subprocess.run(command + [str(a) for a in args], cwd=cwd, capture_output=True, text=True,
                          stdin=subprocess.DEVNULL, timeout=300, env=env)
    assert "Traceback" not in proc.stderr, proc.stderr
    if check is not None:
        assert proc.returncode == check, (proc.returncode, proc.stdout, proc.stderr)
    return proc


def rows(columns):
    """A table's rows as a multiset of tuples (row order follows hash maps and is not compared)."""
    return Counter(zip(*columns.values()))


def as_csv_text(value):
    return "" if value is None else str(value)
