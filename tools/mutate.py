"""Mutation check: applies small faults to the core and the package one at a time, rebuilds the
native module incrementally and runs the test suite against it; a fault no test notices survives.

    python tools/mutate.py [--tree DIR] [--only NAME ...] [--timeout S] [--report FILE]

DIR (default: this checkout) is mutated in place and restored after every mutation. The module is
built once into DIR/build/mutate with cmake and rebuilt there for each mutation of native code and
again once it is restored (only the changed source recompiles), so that every mutation, Python or
C++, runs against a build of exactly the tree it describes; the suite runs with PYTHONPATH pointing
at DIR/build/mutate/stage, where the package sources are linked beside the built module, so
nothing is installed. The suite stops at the first failure (-x), the mutation's own test files
first."""

from __future__ import annotations

import argparse
import os
import pathlib
import signal
import subprocess
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from mutations import MUTATIONS  # noqa: E402


# Robustness and oracle files that take minutes and look for crashes, leaks and geometry against
# IfcOpenShell rather than for these faults: they run only for a fault that names them.
SLOW = ("test_hostile.py", "test_memory.py", "test_concurrency.py", "test_regressions.py", "test_drift_corpus.py")


def run(command, cwd, timeout=None, env=None):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True, timeout=timeout, env=env)


class Stage:
    def __init__(self, tree: pathlib.Path, python: str):
        self.tree = tree
        self.python = python
        self.build = tree / "build" / "mutate"
        self.stage = self.build / "stage"
        self.checks = sorted(p.stem for p in (tree / "tests" / "cpp").glob("*.cpp"))
        # Every native module the package installs.
        cmake = (tree / "CMakeLists.txt").read_text()
        self.modules = [m for m in ("_core", "_arrow") if f"python_add_library({m} " in cmake]

    def configure(self):
        # The module and the C++ checks of the core share one build of the core.
        proc = run(["cmake", "-S", str(self.tree), "-B", str(self.build), "-DSKBUILD=ON", "-DQUARNEL_CORE_TESTS=ON",
                    "-DCMAKE_BUILD_TYPE=Release", f"-DPython_EXECUTABLE={self.python}"], self.tree)
        if proc.returncode:
            sys.exit("cmake configure failed:\n" + proc.stdout + proc.stderr)
        if not self.compile():
            sys.exit("the unmutated module does not build")
        self.link()
        if self.core_checks():
            sys.exit("the unmutated C++ checks fail")

    def link(self):
        """Links every package source (new ones too) and the built modules into the stage."""
        package = self.stage / "quarnel"
        package.mkdir(parents=True, exist_ok=True)
        for source in (self.tree / "src" / "quarnel").iterdir():
            link = package / source.name
            if not link.exists() and not link.is_symlink():
                link.symlink_to(source)
        xsd = package / "xsd"  # the W3C schema documents the build downloads
        if not xsd.exists() and (self.build / "xsd").is_dir():
            xsd.symlink_to(self.build / "xsd")
        for name in self.modules:
            target = package / f"{name}.abi3.so"
            if not target.exists():
                target.symlink_to(next(self.build.glob(f"{name}*.so")))

    def compile(self) -> bool:
        targets = [*self.modules, *self.checks]
        return run(["nice", "cmake", "--build", str(self.build), "-j", "2", "--target", *targets], self.tree).returncode == 0

    def core_checks(self) -> str:
        """The first failing C++ check of the core (tests/cpp), or "". The suite's own runner of
        them builds the core from scratch each time, so it is left out of the suite here."""
        for name in self.checks:
            if run([str(self.build / name)], self.tree, timeout=300).returncode:
                return f"C++ check {name}"
        return ""

    def suite(self, first, timeout):
        """Runs the fault's own test files, then the rest of the suite (two runs: pytest orders
        the files of one run by path, whatever the order of its arguments)."""
        env = dict(os.environ, PYTHONPATH=str(self.stage), PYTHONDONTWRITEBYTECODE="1")
        own = [f"tests/{name}" for name in first if (self.tree / "tests" / name).exists()]
        base = ["nice", self.python, "-m", "pytest", "-x", "-q", "-p", "no:cacheprovider",
                "--ignore=tests/test_core_cpp.py"]
        skipped = own + [f"tests/{name}" for name in SLOW if name not in first]
        runs = ([own] if own else []) + [["tests", *(f"--ignore={t}" for t in skipped)]]
        deadline = time.monotonic() + timeout
        for args in runs:
            try:
                proc = run(base + args, self.tree, timeout=max(1.0, deadline - time.monotonic()), env=env)
            except subprocess.TimeoutExpired:
                # Neither caught nor passed within the budget: undecided, not counted.
                return "undecided", "the suite ran out of time"
            if proc.returncode:
                failed = [line for line in proc.stdout.splitlines() if line.startswith(("FAILED", "ERROR"))]
                return "caught", (failed or proc.stdout.strip().splitlines()[-1:] or [""])[0]
        return "survived", ""


def main():
    here = pathlib.Path(__file__).resolve().parent.parent
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--tree", type=pathlib.Path, default=here)
    ap.add_argument("--python", default=sys.executable)
    ap.add_argument("--only", nargs="*")
    ap.add_argument("--timeout", type=float, default=600, help="seconds of suite per mutation")
    ap.add_argument("--report", type=pathlib.Path)
    args = ap.parse_args()
    tree = args.tree.resolve()
    stage = Stage(tree, args.python)
    by_name = {m.name: m for m in MUTATIONS}
    unknown = [n for n in args.only or () if n not in by_name]
    if unknown:
        sys.exit(f"no such mutation: {unknown}")
    chosen = [by_name[n] for n in args.only] if args.only else MUTATIONS
    stage.configure()
    # A stopped check still restores the file it mutated.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))

    lines = []

    def say(text):
        print(text, flush=True)
        lines.append(text)
        if args.report:
            args.report.write_text("\n".join(lines) + "\n")

    say(f"mutation check of {tree} ({len(chosen)} mutations)")
    counts = {"caught": 0, "survived": 0, "undecided": 0, "not applicable": 0}
    started = time.monotonic()
    for m in chosen:
        path = tree / m.file
        original = path.read_text() if path.exists() else ""
        if original.count(m.old) != 1:
            counts["not applicable"] += 1
            say(f"{'not applicable':15} {m.name}")
            continue
        t = time.monotonic()
        # Anything outside the package's Python sources is built into the native modules.
        native = path.suffix not in (".py", ".pyi")
        try:
            path.write_text(original.replace(m.old, m.new))
            if native and not stage.compile():
                outcome, detail = "does not build", ""
            elif native and (failed := stage.core_checks()):
                outcome, detail = "caught", failed
            else:
                outcome, detail = stage.suite(m.tests, args.timeout)
        finally:
            path.write_text(original)
            os.utime(path)  # newer than the mutated object: the next build recompiles it
        # The next fault, in Python or C++, runs against a build of the restored tree, not of this fault.
        if native and not stage.compile():
            sys.exit(f"the tree does not build again once {m.name!r} is restored")
        counts["not applicable" if outcome == "does not build" else outcome] += 1
        say(f"{outcome:15} {m.name}  [{time.monotonic() - t:.0f} s] {detail}")
    counted = counts["caught"] + counts["survived"]
    share = 100.0 * counts["caught"] / counted if counted else 0.0
    say(f"caught {counts['caught']} of {counted} ({share:.0f} %), survived {counts['survived']}, "
        f"undecided {counts['undecided']}, not applicable {counts['not applicable']}; "
        f"{time.monotonic() - started:.0f} s")


if __name__ == "__main__":
    main()
