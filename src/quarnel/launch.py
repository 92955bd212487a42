"""The command line as its own process (the `quarnel` script, `python -m quarnel`).

What this process may do that a library call may not is done here, before pyarrow and the
command's modules are imported: keep pandas out, tune the heap, and start reading the model of
an IDS check, whose read lets go of the interpreter lock while the imports and the reading of
the IDS hold it. At the end the process leaves without the interpreter's teardown, which frees
every object of the run one by one."""

import os
import sys


class WithoutPandas:
    """An import finder that says pandas is not installed."""

    def find_spec(self, name, path=None, target=None):
        if name == "pandas" or name.startswith("pandas."):
            raise ImportError("pandas is not used by this command")
        return None


# Commands that never hand a table to pandas. pyarrow imports pandas, when it is installed, at the first
# array it makes from Python objects: 0.3-0.6 s and 30 MB of a short check.
WITHOUT_PANDAS = ("ids", "diff")
# Commands whose process may tune the heap, with the size from which blocks get mappings of their own.
LEAN_HEAP = {"ids": 128 * 1024, "diff": 64 * 1024}


def script() -> int:
    command = sys.argv[1] if len(sys.argv) > 1 else None
    if command in WITHOUT_PANDAS and "pandas" not in sys.modules:
        sys.meta_path.insert(0, WithoutPandas())
    if command == "ids":
        from quarnel.ids.cli import ReadAhead

        ReadAhead.early(sys.argv[2:])
    if command in LEAN_HEAP:
        import pyarrow as pa

        # Their checks make and drop full-length temporaries step after step: the C library's
        # allocator hands them back at once, where Arrow's pool keeps them (some 40 MB of the
        # peak of an IDS check of office_a x 10).
        pa.set_memory_pool(pa.system_memory_pool())
        _fixed_mmap_threshold(LEAN_HEAP[command])
    from quarnel.cli import main

    status = main()
    if command in LEAN_HEAP and status is not None:
        # Every file is written and closed, every thread joined: what is left is the teardown.
        for stream in (sys.stdout, sys.stderr):
            try:
                stream.flush()
            except (OSError, ValueError):  # a reader gone away, a stream closed
                pass
        os._exit(status)
    return status


def _fixed_mmap_threshold(size: int) -> None:
    """Blocks of `size` and more mapped on their own, so that freeing one gives it back. glibc
    raises the threshold after each large block freed, and then keeps the temporaries of the
    next step in its heap (some 50 MB of the peak of an IDS check of office_a x 50)."""
    import ctypes

    try:
        mallopt = ctypes.CDLL(None).mallopt
    except (AttributeError, OSError, TypeError):  # not glibc
        return
    M_MMAP_THRESHOLD = -3
    mallopt(M_MMAP_THRESHOLD, size)
