"""Builds the native modules of a checkout incrementally and stages the package beside them, so
the tests run against the tree without installing it (the build and stage of tools/mutate.py).

    python tools/stage.py [--tree DIR]        # then: PYTHONPATH=DIR/build/mutate/stage pytest ...

Prints the PYTHONPATH to use; exits 1 when the build fails."""

import argparse
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from mutate import Stage  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tree", default=str(pathlib.Path(__file__).resolve().parent.parent))
    args = ap.parse_args()
    stage = Stage(pathlib.Path(args.tree).resolve(), sys.executable)
    if not (stage.build / "CMakeCache.txt").exists():
        stage.configure()
    elif not stage.compile():
        sys.exit("build failed: cmake --build " + str(stage.build))
    stage.link()
    print(stage.stage)


if __name__ == "__main__":
    main()
