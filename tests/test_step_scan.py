"""How the statement scan reads whole files: what reaches the entity table."""
import os

import pytest

from conftest import CORPUS_MODELS, corpus, corpus_params
from quarnel import _core

WALL = "2O2Fr$t4X7Zf8NOew3FLOH"
PREAMBLE = f"""#1=IFCWALL('{WALL}',$,$,$,$,$,$,$);
#2=IFCPROPERTYSET('3Ib9mCFyj6FBcWLR$7wNrZ',$,'S',$,(#101,#102,#103,#104));
#3=IFCRELDEFINESBYPROPERTIES('0vDLa2Ym5BXvbfnvWbvBaz',$,$,$,(#1),#2);
"""


def prop(i, value="'v'"):
    return f"#{100 + i}=IFCPROPERTYSINGLEVALUE('p{i}',$,{value},$);"


def names(path):
    return sorted(_core.extract_psets(path)["prop_name"])


HEADER = "ISO-10303-21;\nHEADER;\nFILE_NAME('a','b',(''),(''),'c','d','e');\nFILE_SCHEMA(('IFC4'));\nENDSEC;\n"


@pytest.mark.parametrize(
    "between, expected",
    [
        ("\n", ["p1", "p2", "p3"]),
        ("\n/* a comment; with #5=IFCWALL(); inside */\n", ["p1", "p2", "p3"]),
        ("/**/", ["p1", "p2", "p3"]),
        ("\n#50=(IFCA() IFCB());\n", ["p1", "p2", "p3"]),
        ("\n#51=IFCWALL('x') junk;\n", ["p1", "p2", "p3"]),
        ("\n#52 = IFCWALL ( 'x' ) ;\n", ["p1", "p2", "p3"]),
        ("\n#53=IFCLABEL('a;b');\n", ["p1", "p2", "p3"]),
        ("\n#54=IFCLABEL('ENDSEC;');\n", ["p1", "p2", "p3"]),
        ("\n#55=IFCLABEL('it''s;');\n", ["p1", "p2", "p3"]),
        ("\n#99999999999999999999=IFCWALL();\n", ["p1", "p2", "p3"]),
        ("\nENDSEC;\n", ["p1"]),
        ("\nJUNK;\n", ["p1"]),
        ("\n/* never closed ", ["p1"]),
    ],
    ids=[
        "plain", "comment", "empty-comment", "complex-instance", "trailing-junk", "spaces",
        "semicolon-in-string", "endsec-in-string", "doubled-quote", "id-beyond-64-bits",
        "endsec", "other-statement", "open-comment",
    ],
)
def test_statements_between_instances(write_ifc, between, expected):
    data = PREAMBLE + prop(1) + between + prop(2) + "\n" + prop(3)
    assert names(write_ifc(data)) == expected


def test_later_statement_with_same_id_wins(write_ifc):
    data = PREAMBLE + prop(1) + "\n#101=IFCPROPERTYSINGLEVALUE('again',$,'w',$);"
    result = _core.extract_psets(write_ifc(data))
    assert (result["prop_name"], result["value"]) == (["again"], ["w"])


def test_type_names_keep_their_case(write_ifc):
    # The extractors ignore case; the stored name is as written.
    data = PREAMBLE + prop(1).replace("IFCPROPERTYSINGLEVALUE", "IfcPropertySingleValue")
    assert names(write_ifc(data)) == ["p1"]


@pytest.mark.parametrize(
    "text, expected",
    [
        (HEADER + "DATA;\n" + PREAMBLE + prop(1) + "\nENDSEC;\nEND-ISO-10303-21;\n", ["p1"]),
        (PREAMBLE + prop(1), ["p1"]),  # no header at all
        (HEADER + "END-ISO-10303-21;\n", []),  # no DATA section
        (HEADER + "DATA ;\n" + PREAMBLE + prop(1) + "\nENDSEC;\n", ["p1"]),
        (HEADER + "DATA\xa0\x85;\n" + PREAMBLE + prop(1) + "\nENDSEC;\n", ["p1"]),
        (HEADER + "MYDATA;\n" + PREAMBLE + prop(1) + "\nENDSEC;\n", []),
        (HEADER + "DATA;\n   \n\nENDSEC;\n", []),
        (HEADER + "DATA;\n" + PREAMBLE + prop(1) + "\n" + prop(2, "'x"), ["p1"]),  # never ends
        (
            HEADER.replace("'c'", "'see DATA; below'") + "DATA;\n" + PREAMBLE + prop(1) + "\nENDSEC;\n",
            ["p1"],
        ),
        (
            # an unescaped quote throws the header's quoting off: the plain search still finds DATA;
            HEADER.replace("'c'", "'\\S\\''") + "DATA;\n" + PREAMBLE + prop(1) + "\nENDSEC;\n",
            ["p1"],
        ),
        (
            HEADER.replace("FILE_SCHEMA", "/* don't DATA; */ FILE_SCHEMA") + "DATA;\n" + PREAMBLE + prop(1),
            ["p1"],
        ),
    ],
    ids=[
        "whole-file", "statements-only", "no-data", "space-before-semicolon", "latin1-spaces",
        "not-a-word", "empty-section", "unterminated-statement", "data-in-header-string",
        "broken-header-quoting", "data-in-header-comment",
    ],
)
def test_data_section(write_ifc, text, expected):
    assert names(write_ifc(text, raw=True)) == expected


@pytest.mark.parametrize(
    "data",
    [
        b"\x00\xff" * 5000,
        bytes(range(256)) * 100,
        b"#1=IFCWALL(" + b"(" * 100_000 + b");",
        b"#1=IFCWALL(" + b"(" * 100_000 + b")" * 100_000 + b");",
        b"#1=IFCLABEL('" + b"x" * 10_000_000 + b"');",
        b"#123456789012345678901234567890=IFCWALL('a');",
        b"#1=IFCWALL('\xff\xfe\x00\x00',\x00,$);",
        b"DATA;#1=",
        b"DATA;#",
        b"#1=IFCPROPERTYSINGLEVALUE('\\X2\\",
    ],
    ids=["binary", "all-bytes", "deep-open", "deep-balanced", "10mb-string", "long-id", "nul-bytes",
         "truncated-header", "lone-hash", "open-escape"],
)
def test_hostile_content_gives_a_result(write_ifc, data):
    result = _core.extract_psets(write_ifc(data, raw=True))
    assert result["size_bytes"] == len(data)
    assert len({len(result[c]) for c in ("guid", "pset_name", "prop_name", "value", "value_type")}) == 1


def test_truncated_model(write_ifc):
    full = (HEADER + "DATA;\n" + PREAMBLE + prop(1) + "\n" + prop(2) + "\n" + prop(3) + "\nENDSEC;\n").encode()
    counts = [len(_core.extract_psets(write_ifc(full[:n], raw=True))["guid"]) for n in range(0, len(full), 7)]
    assert max(counts) <= 3 and counts[-1] == 3


def test_bytes_sprinkled_into_attribute_text(write_ifc):
    for b in range(256):
        data = (PREAMBLE + prop(1) + "\n" + prop(2, "'a" + chr(b) + "b'")).encode("latin-1")
        result = _core.extract_psets(write_ifc(data, raw=True))
        assert len(result["guid"]) == (1 if b == 0x27 else 2)


@corpus
@pytest.mark.parametrize("path", corpus_params())
def test_corpus_models(path):
    result = _core.extract_psets(path)
    columns = [result[c] for c in ("guid", "pset_name", "prop_name", "value", "value_type")]
    assert len({len(c) for c in columns}) == 1
    raw = open(path, "rb").read()
    for guid in set(result["guid"]):
        assert len(guid) == 22
        assert f"'{guid}'".encode() in raw
    assert result["size_bytes"] == os.path.getsize(path)


@corpus
def test_corpus_has_rows():
    with_rows = [p for p in CORPUS_MODELS if _core.extract_psets(str(p))["guid"]]
    assert len(with_rows) >= len(CORPUS_MODELS) // 2
