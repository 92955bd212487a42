"""Writes src/quarnel/_core.pyi, the type stubs of the native module, from the table catalogue
(`quarnel._arrow.catalogue()`): every result's keys in order, every column's type.

    python tools/gen_stubs.py [--check]

With --check nothing is written: the exit status says whether the file is current."""

import argparse
import pathlib
import sys

STUBS = pathlib.Path(__file__).resolve().parent.parent / "src" / "quarnel" / "_core.pyi"
TYPES = {"int": "int", "float": "float", "str": "str", "dict": "str"}
FACTS = {"int": "int", "float": "float", "str": "str", "optional float": "Optional[float]", "optional str": "Optional[str]"}
HEADER = '''"""Types of the native module: every function takes a path (str) and returns one of these dicts.

Tables are dicts of equal-length lists; absent values are None. Keys come in the order listed.
Made by tools/gen_stubs.py from the table catalogue: do not edit.
"""

from typing import Dict, List, Optional, TypedDict

__version__: str
__all__: List[str]
'''


def render(catalogue) -> str:
    tables = {t[0]: t for t in catalogue["tables"]}
    facts = dict(catalogue["facts"])
    out, written = [HEADER], set()

    def column_type(kind, nullable):
        return f"List[Optional[{TYPES[kind]}]]" if nullable else f"List[{TYPES[kind]}]"

    def table_class(name):
        _, _, stub, columns, _ = tables[name]
        if stub not in written:
            written.add(stub)
            lines = [f"    {c}: {column_type(k, n)}" for c, k, n, in_dict, _ in columns if in_dict]
            out.append(f"\nclass {stub}(TypedDict):\n" + "\n".join(lines) + "\n")
        return stub

    for function, stub, entries in catalogue["functions"]:
        base, lines = "TypedDict", []
        for what, name in entries:
            if what == "columns":
                base = table_class(name)
            elif what == "nested":
                lines.append(f"    {name}: {table_class(name)}")
            elif what == "mapping":
                key, value = (TYPES[column[1]] for column in tables[name][3][:2])
                lines.append(f"    {name}: Dict[{key}, {value}]")
            elif what == "fact":
                lines.append(f"    {name}: {FACTS[facts[name]]}")
            else:  # marshal, total: timings of the call
                lines.append(f"    {name}: float")
        out.append(f"\nclass {stub}({base}):\n" + "\n".join(lines) + "\n")
    out.append("\n" + "".join(f"def {function}(path: str) -> {stub}: ...\n" for function, stub, _ in catalogue["functions"]))
    return "".join(out)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--check", action="store_true")
    args = ap.parse_args()
    from quarnel import _arrow

    text = render(_arrow.catalogue())
    if args.check:
        current = STUBS.read_text() == text
        print("current" if current else f"{STUBS} is out of date: run tools/gen_stubs.py")
        return 0 if current else 1
    STUBS.write_text(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
