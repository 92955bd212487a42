from collections import Counter

import pytest

from conftest import WALL, related, table_rows
from quarnel import _core

SLAB = "1kTvXnbbzCWw8lcMd1dR4o"


def model_with_value(nominal):
    # NominalValue last, so that a token with an open parenthesis stays one piece.
    return related("psets", f"#2=IFCPROPERTYSINGLEVALUE('P',$,{nominal});"
                   "#3=IFCPROPERTYSET('3Ib9mCFyj6FBcWLR$7wNrZ',$,'Pset_Test',$,(#2));", "#3")


def single_value(write_ifc, nominal):
    result = _core.extract_psets(write_ifc(model_with_value(nominal)))
    assert result["guid"] == [WALL]
    return result["value"][0], result["value_type"][0]


@pytest.mark.parametrize("nominal, value, value_type", [
    ("IFCLENGTHMEASURE(200.)", "200", "IfcLengthmeasure"),
    ("IFCBOOLEAN(.T.)", "True", "IfcBoolean"),
    ("IFCBOOLEAN(.F.)", "False", "IfcBoolean"),
    ("IFCBOOLEAN(.U.)", "U", "IfcBoolean"),
    ("IFCLOGICAL(.U.)", "UNKNOWN", "IfcLogical"),
    ("IFCLOGICAL(.T.)", "True", "IfcLogical"),
    ("IFCLABEL('')", "", "IfcLabel"),
    ("IFCTEXT($)", None, "IfcText"),
    ("$", None, None),
    (".T.", "T", None),
    ("5", "5", None),
    ("#42", "#42", None),
    ("(1.,2.)", "(1.,2.)", None),
    ("IFCREAL(-0.)", "0", "IfcReal"),
    ("IFCREAL(1.5E-7)", "0.00000015", "IfcReal"),
    ("IFCREAL(2.5E20)", "25" + "0" * 19, "IfcReal"),
    ("IFCREAL(1.0E15)", "1000000000000000", "IfcReal"),
    ("IFCREAL(-3.)", "-3", "IfcReal"),
    ("IFCREAL(123.456)", "123.456", "IfcReal"),
    ("IFCREAL(1.E400)", "inf", "IfcReal"),
    ("IFCREAL(-1.E400)", "-inf", "IfcReal"),
    ("IFCREAL(1.E-400)", "0", "IfcReal"),
    ("IFCREAL(+inf)", "inf", "IfcReal"),
    ("IFCREAL(-Infinity)", "-inf", "IfcReal"),
    ("IFCREAL(-nan)", "NaN", "IfcReal"),
    ("IFCREAL(inf)", "inf", "IfcReal"),  # unsigned words are no number: kept as written
    ("IFCLABEL('a(b)')", "a(b)", "IfcLabel"),
    ("IFCLABEL('x'", "IFCLABEL('x'", None),
    ("ifclabel('x')", "x", "IfcLabel"),
    ("\x85IFCLABEL('y')\xa0", "y", "IfcLabel"),
    ("IFC(1.)", "1", "Ifc"),
    ("IFCIDENTIFIER(#007)", "#7", "IfcIdentifier"),
    ("IFCLABEL((1,'a'))", "(1,'a')", "IfcLabel"),  # a list keeps its text
    ("IFC\xc4X('v')", "v", "Ifc\u00c4x"),  # the type keeps its Latin-1 bytes
    ("(\xff)", None, None),  # text that is not UTF-8 is absent
    (".\xff.", None, None),
    # Untyped values, escapes and spaces around them.
    ("-.5", "-0.5", None),
    (r"'\X2\D83DDE00\X0\'", "\U0001F600", None),
    (r"'\X2\00E400FC\X0\x'", "\u00e4\u00fcx", None),
    (r"'\X\4G'", "\\X\\4G", None),
    (r"'\P\x'", "\\P\\x", None),
    ("\x85'x'\xa0", "x", None),  # Latin-1 spaces around a value
    ("'\xc3\xa4'", "\u00c3\u00a4", None),
])
def test_nominal_value_rendering(write_ifc, nominal, value, value_type):
    assert single_value(write_ifc, nominal) == (value, value_type)


FULL = f"""
#1=IFCWALL('{WALL}',$,'Wall',$,$,$,$,$);
#2=IFCSLAB('{SLAB}',$,'Slab',$,$,$,$,$);
#10=IFCPROPERTYSINGLEVALUE('Height',$,IFCLENGTHMEASURE(3000.),$);
#11=IFCPROPERTYSINGLEVALUE($,$,IFCLABEL('anon'),$);
#12=IFCPROPERTYENUMERATEDVALUE('Kind',$,(.A.),$);
#13=IFCPROPERTYSINGLEVALUE('Short');
#14=IFCQUANTITYLENGTH('Length',$,$,5.,$);
#20=IFCPROPERTYSET('3Ib9mCFyj6FBcWLR$7wNrZ',$,'Pset_A',$,(#10,#11,#12,#13,#99,#10));
#21=IFCELEMENTQUANTITY('1Ib9mCFyj6FBcWLR$7wNrZ',$,'Qto',$,$,(#14));
#22=IFCPROPERTYSET('2Ib9mCFyj6FBcWLR$7wNrZ',$,$,$,#10);
#30=IFCRELDEFINESBYPROPERTIES('0vDLa2Ym5BXvbfnvWbvBaz',$,$,$,(#1,#2,#1,#77),#20);
#31=IFCRELDEFINESBYPROPERTIES('1vDLa2Ym5BXvbfnvWbvBaz',$,$,$,(#1),#21);
#32=IFCRELDEFINESBYPROPERTIES('2vDLa2Ym5BXvbfnvWbvBaz',$,$,$,#2,#22);
#33=IFCRELDEFINESBYPROPERTIES('3vDLa2Ym5BXvbfnvWbvBaz',$,$,$,(#1),$);
#34=IFCRELDEFINESBYPROPERTIES('4vDLa2Ym5BXvbfnvWbvBaz',$,$,$,(#1));
"""


def test_join(write_ifc):
    result = _core.extract_psets(write_ifc(FULL))
    per_object = [
        ("Pset_A", "Height", "3000", "IfcLengthmeasure"),
        ("Pset_A", "", "anon", "IfcLabel"),
        ("Pset_A", "Short", None, None),
        ("Pset_A", "Height", "3000", "IfcLengthmeasure"),
    ]
    # The wall is listed twice, so its rows come twice; #77 does not exist;
    # the enumerated property, the dangling #99 and the quantity set give nothing;
    # a set whose HasProperties is a bare reference has no properties.
    expected = Counter({(WALL,) + r: 2 for r in per_object[:3]})
    expected[(WALL,) + per_object[0]] = 4
    for r in per_object[:3]:
        expected[(SLAB,) + r] += 1
    expected[(SLAB,) + per_object[0]] += 1
    assert table_rows(result, "psets") == expected
    # Rows follow the lists.
    assert [n for g, n in zip(result["guid"], result["prop_name"]) if g == WALL][:4] == ["Height", "", "Short", "Height"]


@pytest.mark.parametrize("first, present", [
    (r"'\X\41" + WALL[1:] + "'", True),  # decoded first: 22 characters
    (f"'{WALL}X'", False),
    (f" '{WALL}' ", True),
])
def test_global_id_of_related_object(write_ifc, first, present):
    result = _core.extract_psets(write_ifc(model_with_value("IFCLABEL('v'),$").replace(f"'{WALL}'", first)))
    assert len(result["guid"]) == (1 if present else 0)
    if present:
        assert len(result["guid"][0]) == 22
