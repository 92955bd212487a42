"""How the statement scan reads whole files, the same for the index and the extractors: which
statements reach them (where a quoted string ends: the statement-end check of tests/cpp/test_lexer.cpp)."""
import pytest

from quarnel import _core

PREAMBLE = """#1=IFCPROPERTYSET('3Ib9mCFyj6FBcWLR$7wNrZ',$,'S',$,(#101,#102,#103));
#2=IFCRELDEFINESBYPROPERTIES('0vDLa2Ym5BXvbfnvWbvBaz',$,$,$,(#9),#1);
#9=IFCWALL('2O2Fr$t4X7Zf8NOew3FLOH',$,$,$,$,$,$,$);
"""
HEADER = "ISO-10303-21;\nHEADER;\nFILE_NAME('a','b',(''),(''),'c','d','e');\nFILE_SCHEMA(('IFC4'));\nENDSEC;\n"


def item(i, value="'v'"):
    """Property p{i} of the wall, and a slab named p{i}: one seen by the extractors, one by the index."""
    return f"#{100 + i}=IFCPROPERTYSINGLEVALUE('p{i}',$,{value},$);#{200 + i}=IFCSLAB('s{i}',$,'p{i}',$,$,$,$,$,$);"


def seen(path):
    """The items both readers saw; they must agree."""
    props = sorted(_core.extract_psets(path)["prop_name"])
    slabs = sorted(filter(None, _core.index_ifc(path)["products"]["name"]))
    assert props == slabs, (props, slabs)
    return props


@pytest.mark.parametrize("between, expected", [
    ("\n", ["p1", "p2", "p3"]),
    ("\n/* a comment; with #5=IFCWALL('x'); inside */\n", ["p1", "p2", "p3"]),
    ("/**/ /* second */", ["p1", "p2", "p3"]),
    ("\n#50=(IFCA() IFCB());\n", ["p1", "p2", "p3"]),
    ("\n#51=IFCWALL('x') junk;\n", ["p1", "p2", "p3"]),
    ("\n#52 = IFCLABEL ( 'x' ) ;\n", ["p1", "p2", "p3"]),
    ("\n#54=IFCLABEL('ENDSEC;');\n", ["p1", "p2", "p3"]),
    ("\n#99999999999999999999=IFCLABEL('x');\n", ["p1", "p2", "p3"]),
    ("\nENDSEC;\n", ["p1"]),
    ("\nJUNK;\n", ["p1"]),
    ("\n/* never closed ", ["p1"]),
    ("\n#56=IFCLABEL('never closed);\n", ["p1"]),
], ids=["plain", "comment", "two-comments", "complex-instance", "trailing-junk", "spaces", "endsec-in-string",
        "id-beyond-64-bits", "endsec", "other-statement", "open-comment", "open-string"])
def test_statements_between_instances(write_ifc, between, expected):
    assert seen(write_ifc(PREAMBLE + item(1) + between + item(2) + "\n" + item(3))) == expected


@pytest.mark.parametrize("text, expected", [
    (HEADER + "DATA;\n" + PREAMBLE + item(1) + "\nENDSEC;\nEND-ISO-10303-21;\n", ["p1"]),
    (PREAMBLE + item(1), ["p1"]),
    (HEADER + "END-ISO-10303-21;\n", []),
    (HEADER + "DATA ;\n" + PREAMBLE + item(1) + "\nENDSEC;\n", ["p1"]),
    (HEADER + "DATA\xa0\x85;\n" + PREAMBLE + item(1) + "\nENDSEC;\n", ["p1"]),
    (HEADER + "MYDATA;\n" + PREAMBLE + item(1) + "\nENDSEC;\n", []),
    (HEADER + "DATA;\n   \n\nENDSEC;\n", []),
    (HEADER + "DATA;\n" + PREAMBLE + item(1) + "\nENDSEC;\nDATA;\n" + item(2) + "\nENDSEC;\n", ["p1"]),
    (HEADER + "DATA;\n" + PREAMBLE + item(1) + "\n" + item(2, "'x"), ["p1"]),
    (HEADER.replace("'c'", "'see DATA; below'") + "DATA;\n" + PREAMBLE + item(1) + "\nENDSEC;\n", ["p1"]),
    # an unescaped quote throws the header's quoting off: the plain search still finds DATA;
    (HEADER.replace("'c'", "'\\S\\''") + "DATA;\n" + PREAMBLE + item(1) + "\nENDSEC;\n", ["p1"]),
    (HEADER.replace("FILE_SCHEMA", "/* don't DATA; */ FILE_SCHEMA") + "DATA;\n" + PREAMBLE + item(1), ["p1"]),
], ids=["whole-file", "statements-only", "no-data", "space-before-semicolon", "latin1-spaces", "not-a-word",
        "empty-section", "second-section", "unterminated-statement", "data-in-header-string",
        "broken-header-quoting", "data-in-header-comment"])
def test_data_section(write_ifc, text, expected):
    assert seen(write_ifc(text, raw=True)) == expected


@pytest.mark.parametrize("data", [
    b"\x00\xff" * 5000,
    bytes(range(256)) * 100,
    b"#123456789012345678901234567890=IFCWALL('a');",
    b"#1=IFCWALL('\xff\xfe\x00\x00',\x00,$);",
    b"DATA;#1=",
    b"DATA;#",
    b"#1=IFCPROPERTYSINGLEVALUE('\\X2\\",
], ids=["binary", "all-bytes", "long-id", "nul-bytes",
        "truncated-header", "lone-hash", "open-escape"])
def test_hostile_content_gives_no_rows(write_ifc, data):
    assert seen(write_ifc(data, raw=True)) == []


def test_truncated_model(write_ifc):
    full = (HEADER + "DATA;\n" + PREAMBLE + item(1) + "\n" + item(2) + "\n" + item(3) + "\nENDSEC;\n").encode()
    cuts = [write_ifc(full[:n], raw=True) for n in range(0, len(full) + 7, 7)]
    for count in (lambda p: len(_core.extract_psets(p)["guid"]), lambda p: len(list(filter(None, _core.index_ifc(p)["products"]["name"])))):
        counts = [count(path) for path in cuts]
        assert counts == sorted(counts) and counts[-1] == 3


def test_bytes_sprinkled_into_attribute_text(write_ifc):
    for b in range(256):
        data = (PREAMBLE + item(1) + "\n" + item(2, "'a" + chr(b) + "b'")).encode("latin-1")
        assert len(_core.extract_psets(write_ifc(data, raw=True))["guid"]) == (1 if b == 0x27 else 2)
