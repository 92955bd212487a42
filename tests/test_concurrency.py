"""Eight threads calling every function (and the Arrow face) at once, on the same and on different
files: each result must equal the single-threaded one (rows compared as
multisets). QUARNEL_STRESS_ROUNDS raises the number of rounds."""

import os
import random
import threading

import pytest

import quarnel
from conftest import CORPUS, CORPUS_MODELS, FUNCTIONS
from hostile_files import canonical, mini  # noqa: F401 (mini: a fixture)

THREADS = 8
ROUNDS = int(os.environ.get("QUARNEL_STRESS_ROUNDS", "3"))
# Small and mid-sized models with geometry, properties, materials and classifications.
MODELS = [
    "ifc4_samplehouse_1_roof.ifc",
    "ifcopenhouse_ifc4.ifc",
    "simplewall.ifc",
    "ifc4_basinfacetedbrep.ifc",
    "issue_044_test_ifccompositeprofiledef.ifc",
    "tallbuilding.ifc",
]


# The seven functions and the Arrow face.
CALLS = {name: getattr(quarnel, name) for name in FUNCTIONS}
CALLS["read_tables"] = lambda path: {n: t.to_pydict() for n, t in quarnel.read_tables(path, "all").items()}


@pytest.fixture(scope="module")
def workload(mini):
    names = list(CALLS)
    paths = [str(mini)] + [str(CORPUS / m) for m in MODELS if (CORPUS / m) in CORPUS_MODELS]
    expected = {(n, p): canonical(CALLS[n](p)) for n in names for p in paths}
    return names, paths, expected


def run_threads(jobs_per_thread, expected):
    """Runs each thread's (function, path) jobs, all threads released together
    at the start of every round; returns the mismatches and errors."""
    failures = []
    barrier = threading.Barrier(THREADS)

    def worker(jobs):
        try:
            for round_jobs in jobs:
                barrier.wait()
                for name, path in round_jobs:
                    got = canonical(CALLS[name](path))
                    if got != expected[(name, path)]:
                        failures.append(f"{name}({os.path.basename(path)}) differs")
        except Exception as exc:  # reported, not swallowed: the test fails on it
            barrier.abort()
            failures.append(f"{type(exc).__name__}: {exc}")

    threads = [threading.Thread(target=worker, args=(jobs,)) for jobs in jobs_per_thread]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return failures


def test_same_file_all_functions_at_once(workload):
    names, paths, expected = workload
    # Round r: every thread works on the same file, each with another function.
    jobs = [
        [[(names[(t + r) % len(names)], paths[r % len(paths)])] * 2 for r in range(ROUNDS * len(paths))]
        for t in range(THREADS)
    ]
    assert run_threads(jobs, expected) == []


def test_mixed_files_and_functions(workload):
    names, paths, expected = workload
    rng = random.Random(8)
    pairs = [(n, p) for n in names for p in paths]
    jobs = [[rng.sample(pairs, len(pairs)) for _ in range(ROUNDS)] for _ in range(THREADS)]
    assert run_threads(jobs, expected) == []

