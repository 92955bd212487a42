"""Counts non-blank, non-comment lines of the tests (tests/, tests/cpp included) and of the
product code (src/: the C++ core and the Python package), and prints their ratio. Generated
files (a "made by tools/..." line among their first lines: the stubs, the schema tables) count on
neither side.

    python tools/count_lines.py [ROOT]

A comment line starts with `#` (Python) or `//` (C++); block comments, docstrings and the lines
of multi-line strings count as code."""

import pathlib
import sys

SUFFIXES = {".py": "#", ".pyi": "#", ".cpp": "//", ".hpp": "//", ".h": "//"}


def count(folder: pathlib.Path) -> int:
    total = 0
    for path in sorted(folder.rglob("*")):
        marker = SUFFIXES.get(path.suffix)
        if not marker or not path.is_file():
            continue
        lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
        if any("made by tools/" in line.lower() for line in lines[:5]):
            continue
        for line in lines:
            text = line.strip()
            if text and not text.startswith(marker):
                total += 1
    return total


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    tests, product = count(root / "tests"), count(root / "src")
    print(f"tests   {tests:6,}\nproduct {product:6,}\nratio   {tests / product:.2f}")


if __name__ == "__main__":
    main()
