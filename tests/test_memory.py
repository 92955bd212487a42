"""Memory: nothing grows across many calls, failing calls drop every reference
they took, and a file whose results do not fit in memory raises MemoryError
instead of aborting the process. QUARNEL_STRESS_CALLS sets the number of calls
per function (default 4,000)."""

import gc
import os
import subprocess
import sys
import textwrap

import pytest

import quarnel
import quarnel._core
from conftest import FUNCTIONS, SANITIZED, failing_calls, rss_bytes
from hostile_files import MINI, mini  # noqa: F401 (mini: a fixture)

CALLS = int(os.environ.get("QUARNEL_STRESS_CALLS", "4000"))


@pytest.mark.parametrize("name", FUNCTIONS)
def test_nothing_grows_over_many_calls(mini, name):
    """Every object a call creates belongs to its result (the allocator's block count comes back
    once the results are dropped), and RSS stays flat."""
    f = getattr(quarnel, name)
    for _ in range(200):  # interpreter caches warm up
        f(mini)
    grown, blocks = [], []
    for _ in range(2):  # a leak grows in every round; heap fragmentation left by earlier tests settles in one
        gc.collect()
        before, before_blocks = rss_bytes(), sys.getallocatedblocks()
        for _ in range(CALLS):
            f(mini)
        gc.collect()
        blocks.append(sys.getallocatedblocks() - before_blocks)
        grown.append(rss_bytes() - before)
        if grown[-1] < 4 << 20:
            break
    # One object kept per call would be CALLS blocks; a leak of one small result per call tens of MB.
    assert blocks[0] < 250, f"{name}: {blocks[0]} blocks more after {CALLS} calls"
    # The sanitizer's allocator keeps freed memory in quarantine.
    assert SANITIZED or grown[-1] < 4 << 20, f"{name}: RSS grew by {grown} bytes over rounds of {CALLS} calls"


@pytest.mark.parametrize("name", FUNCTIONS)
def test_failing_calls_keep_reference_counts(name, tmp_path):
    f = getattr(quarnel._core, name)  # the native frame itself, without the path-converting wrapper
    for what, args, kwargs, error, _ in failing_calls(tmp_path):
        # None's count moves with everything else the interpreter does: its leaks show as blocks.
        objects = [o for o in list(args) + list(kwargs.values()) if o is not None]

        def fail(times):
            for _ in range(times):
                try:
                    f(*args, **kwargs)
                except error:
                    pass
            gc.collect(0)  # young objects only: a full collection walks the whole suite's heap

        fail(100)  # interpreter caches warm up
        counts = [sys.getrefcount(o) for o in objects]
        # The rest of the suite's heap moves too: a leak shows in both rounds. (No loop: its
        # counter would hold a reference to the small ints the calls pass.)
        marks = [sys.getallocatedblocks()]
        fail(500)
        marks.append(sys.getallocatedblocks())
        fail(500)
        marks.append(sys.getallocatedblocks())
        assert [sys.getrefcount(o) for o in objects] == counts, what
        # One object kept per call would be 500 blocks a round.
        assert min(b - a for a, b in zip(marks, marks[1:])) < 250, (what, marks)


OUT_OF_MEMORY = textwrap.dedent(
    """
    import resource, sys, quarnel
    path, names = sys.argv[1], sys.argv[2:]
    size = int(open("/proc/self/status").read().split("VmSize:")[1].split()[0]) * 1024
    resource.setrlimit(resource.RLIMIT_AS, (size + (256 << 20), resource.RLIM_INFINITY))
    for name in names:
        try:
            getattr(quarnel, name)(path)
        except MemoryError:
            print(name, "MemoryError")
        else:
            print(name, "dict")
    """
)


@pytest.mark.skipif(SANITIZED, reason="the sanitizer needs an unlimited address space")
def test_results_beyond_memory_raise_memoryerror(tmp_path):
    """Two million related objects in each kind of relationship, with the
    address space capped: every call returns or raises MemoryError; none aborts."""
    refs = ",".join(["#100"] * 2_000_000)
    data = MINI.replace("(#100,#200,#300)", f"({refs})").replace("(#100,#200)", f"({refs})")
    path = tmp_path / "wide.ifc"
    path.write_text(data, encoding="latin-1")
    proc = subprocess.run([sys.executable, "-c", OUT_OF_MEMORY, str(path), *FUNCTIONS],
                          capture_output=True, text=True, timeout=600)
    assert proc.returncode == 0, proc.stderr[-2000:]
    assert len(proc.stdout.splitlines()) == len(FUNCTIONS)
