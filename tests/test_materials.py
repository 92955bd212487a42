from collections import Counter

import pytest

import quarnel

from conftest import WALL, corpus, corpus_params, open_with_ifcopenshell, related, rows_after_guid


CONCRETE = "#5=IFCMATERIAL('Concrete',$,'Structural');"
BRICK = "#6=IFCMATERIAL('Brick');"
THREE_LAYERS = """
#11=IFCMATERIALLAYER(#5,12.5,$,$,$,$,$);
#12=IFCMATERIALLAYER(#6,200.,$,$,$,$,$);
#13=IFCMATERIALLAYER(#5,50.,$,'Finish',$,'Cladding',$);
"""
LAYER_2 = ("layer", 2, "Finish", 50.0, "Cladding")


@pytest.mark.parametrize("definitions, expected", [
    (f"{CONCRETE}#50=IFCMATERIAL('Concrete',$,'Structural');", [("direct", -1, "Concrete", None, "Structural")]),
    # IFC2X3 materials have only a name.
    ("#50=IFCMATERIAL('Brick');", [("direct", -1, "Brick", None, None)]),
    ("#50=IFCMATERIAL('',$,'');", [("direct", -1, "", None, "")]),
    ("#50=IFCMATERIAL($,$,5.);", [("direct", -1, None, None, None)]),
    (f"{CONCRETE}{BRICK}{THREE_LAYERS}#40=IFCMATERIALLAYERSET((#11,#12,#13),'Wall',$);"
     "#50=IFCMATERIALLAYERSETUSAGE(#40,.AXIS2.,.POSITIVE.,0.,$);",
     [("layer", 0, "Concrete", 12.5, "Structural"), ("layer", 1, "Brick", 200.0, None), LAYER_2]),
    # The layer's own name wins over its material's; $ falls back to the material's.
    (f"{CONCRETE}#11=IFCMATERIALLAYER(#5,200.,$,'Core',$,$,$);#12=IFCMATERIALLAYER(#5,200.,$,$,$,$,$);"
     "#50=IFCMATERIALLAYERSET((#11,#12),$,$);",
     [("layer", 0, "Core", 200.0, "Structural"), ("layer", 1, "Concrete", 200.0, "Structural")]),
    # An empty layer name is a name.
    (f"{CONCRETE}#11=IFCMATERIALLAYER(#5,1.,$,'',$,'',$);#50=IFCMATERIALLAYERSET((#11),$,$);", [("layer", 0, "", 1.0, "")]),
    # IFC2X3 layers have three attributes.
    (f"{CONCRETE}#11=IFCMATERIALLAYER(#5,0.2,$);#50=IFCMATERIALLAYERSET((#11),$);", [("layer", 0, "Concrete", 0.2, "Structural")]),
    # Thickness as written: no unit scale; anything but a number is absent.
    (f"{CONCRETE}#11=IFCMATERIALLAYER(#5,IFCPOSITIVELENGTHMEASURE(2.),$);#50=IFCMATERIALLAYERSET((#11),$);",
     [("layer", 0, "Concrete", None, "Structural")]),
    # A layer name or category that is no string falls back to the material's.
    (f"{CONCRETE}#11=IFCMATERIALLAYER(#5,1.,.F.,5.,$,#5,$);#50=IFCMATERIALLAYERSET((#11),$,$);",
     [("layer", 0, "Concrete", 1.0, "Structural")]),
    (f"{CONCRETE}{THREE_LAYERS}#50=IFCMATERIALLAYERSET($,$,$);", []),
    # A layer without a material, or with one that is no material (dangling).
    (f"{CONCRETE}#11=IFCMATERIALLAYER($,1.,$);#50=IFCMATERIALLAYERSET((#11),$);", [("layer", 0, None, 1.0, None)]),
    (f"{CONCRETE}#11=IFCMATERIALLAYER(#77,1.,$);#50=IFCMATERIALLAYERSET((#11),$);", [("layer", 0, None, 1.0, None)]),
    # Positions count every listed id, dangling and foreign ones included.
    (f"{CONCRETE}{BRICK}{THREE_LAYERS}#50=IFCMATERIALLAYERSET((#11,#99,#13,#5,'x',#12),$,$);",
     [("layer", 0, "Concrete", 12.5, "Structural"), LAYER_2, ("layer", 4, "Brick", 200.0, None)]),
    # A layer set that lists itself: only its real layers give rows.
    (f"{CONCRETE}{THREE_LAYERS}#50=IFCMATERIALLAYERSET((#50,#11),$,$);", [("layer", 1, "Concrete", 12.5, "Structural")]),
    (f"{CONCRETE}{THREE_LAYERS}#50=IFCMATERIALLAYERSET((#11,#11),$,$);",
     [("layer", 0, "Concrete", 12.5, "Structural"), ("layer", 1, "Concrete", 12.5, "Structural")]),
    (f"{CONCRETE}{BRICK}#50=IFCMATERIALLIST((#5,#6));", [("list", 0, "Concrete", None, "Structural"), ("list", 1, "Brick", None, None)]),
    (f"{CONCRETE}#9=IFCMATERIALLAYER(#5,1.,$);#50=IFCMATERIALLIST((#9,#99,#5));", [("list", 2, "Concrete", None, "Structural")]),
    # Empty lists and sets, a list when no material exists, a set when no layer exists: no row at all.
    (f"{CONCRETE}#50=IFCMATERIALLIST(());", []),
    (f"{CONCRETE}#50=IFCMATERIALLIST(#5);", []),
    ("#9=IFCMATERIALLAYER($,1.,$);#50=IFCMATERIALLIST((#9));", []),
    (f"{CONCRETE}{THREE_LAYERS}#50=IFCMATERIALLAYERSET((),$,$);", []),
    (f"{CONCRETE}#50=IFCMATERIALLAYERSET((#5),$,$);", []),
    (f"{CONCRETE}{THREE_LAYERS}#40=IFCMATERIALLAYERSET((),$,$);#50=IFCMATERIALLAYERSETUSAGE(#40,.AXIS2.,.POSITIVE.,0.);", []),
    # Kinds that are not resolved, and usages that lead nowhere: one placeholder row (a dangling
    # definition: test_relationships).
    ("#50=IFCMATERIALCONSTITUENTSET('S',$,(#51));#51=IFCMATERIALCONSTITUENT('C',$,#5,$,$);", [("unknown", -1, None, None, None)]),
    (f"{CONCRETE}{THREE_LAYERS}#40=IFCMATERIALLAYERSET((#11),$);#41=IFCMATERIALLAYERSETUSAGE(#40,.AXIS2.,.POSITIVE.,0.);"
     "#50=IFCMATERIALLAYERSETUSAGE(#41,.AXIS2.,.POSITIVE.,0.);", [("unknown", -1, None, None, None)]),
    ("#50=IFCMATERIALLAYERSETUSAGE(#50,.AXIS2.,.POSITIVE.,0.);", [("unknown", -1, None, None, None)]),
    (f"{THREE_LAYERS}#40=IFCMATERIALLAYERSET((#11),$);#50=IFCMATERIALLAYERSETUSAGE((#40),.AXIS2.,.POSITIVE.,0.);", [("unknown", -1, None, None, None)]),
])
def test_rows_of_one_association(write_ifc, definitions, expected):
    r = quarnel.extract_materials(write_ifc(related("materials", definitions)))
    assert rows_after_guid(r, "materials") == expected
    assert set(r["guid"]) <= {WALL}


def test_many_associations(write_ifc):
    # Enough entries to make every map grow past its initial room.
    n = 5000
    lines = [f"#1=IFCWALL('{WALL}',$,$,$,$,$,$,$);"]
    for i in range(n):
        b = 10 + i * 4
        lines.append(f"#{b}=IFCMATERIAL('M{i}',$,'C{i}');")
        lines.append(f"#{b + 1}=IFCMATERIALLAYER(#{b},{i}.5,$);")
        lines.append(f"#{b + 2}=IFCMATERIALLAYERSET((#{b + 1},#{b + 1}),$);")
        lines.append(f"#{b + 3}=IFCRELASSOCIATESMATERIAL('REL{i:019d}',$,$,$,(#1),#{b + 2});")
    r = quarnel.extract_materials(write_ifc("\n".join(lines)))
    assert Counter(zip(r["material_name"], r["layer_thickness_mm"])) == Counter(
        {(f"M{i}", i + 0.5): 2 for i in range(n)}
    )


M5 = ("material", None, "Concrete", "Structural")


@pytest.mark.parametrize("definitions, relating, expected", [
    (CONCRETE, "#5", [M5]),
    (CONCRETE + BRICK + "#20=IFCMATERIALLIST((#5,#99,#6));", "#20",
     [("list", None, None, None), ("material", 0, "Concrete", "Structural"), ("material", 2, "Brick", None)]),
    (CONCRETE + BRICK + THREE_LAYERS + "#20=IFCMATERIALLAYERSET((#11,#12,#13),'Wall set',$);"
     "#21=IFCMATERIALLAYERSETUSAGE(#20,.AXIS2.,.POSITIVE.,0.,$);", "#21",
     [("layer set", None, "Wall set", None), ("layer", 0, None, None), ("material", 0, "Concrete", "Structural"),
      ("layer", 1, None, None), ("material", 1, "Brick", None), ("layer", 2, "Finish", "Cladding"),
      ("material", 2, "Concrete", "Structural")]),
    (CONCRETE + "#11=IFCMATERIALPROFILEWITHOFFSETS('Web',$,#5,$,$,'Steel',(1.));"
     "#20=IFCMATERIALPROFILESET('Beam',$,(#11),$);#21=IFCMATERIALPROFILESET('End',$,(),$);"
     "#22=IFCMATERIALPROFILESETUSAGETAPERING(#20,$,$,#21,$);", "#22",
     [("profile set", None, "Beam", None), ("profile", 0, "Web", "Steel"), ("material", 0, "Concrete", "Structural"),
      ("profile set", None, "End", None)]),
    (CONCRETE + "#11=IFCMATERIALCONSTITUENT('Mix',$,#5,0.5,'Core');#20=IFCMATERIALCONSTITUENTSET('Slab',$,(#11,#5));",
     "#20", [("constituent set", None, "Slab", None), ("constituent", 0, "Mix", "Core"),
             ("material", 0, "Concrete", "Structural")]),
    ("#20=IFCMATERIALCONSTITUENTSET('',$,$);", "#20", [("constituent set", None, None, None)]),
    # A usage of itself, a dangling id and anything but a material give nothing.
    ("#21=IFCMATERIALLAYERSETUSAGE(#21,.AXIS2.,.POSITIVE.,0.,$);", "#21", []),
    (CONCRETE, "#77", []),
    (CONCRETE, "#1", []),
])
def test_material_names(write_ifc, definitions, relating, expected):
    rows = quarnel.read_table(write_ifc(related("materials", definitions, relating=relating)), "material_names").to_pylist()
    assert {r["guid"] for r in rows} <= {WALL}
    assert [(r["part"], r["index"], r["name"], r["category"]) for r in rows] == expected


@corpus
@pytest.mark.parametrize("path", corpus_params())
def test_material_names_name_the_materials_ifcopenshell_finds(path):
    from ifcopenshell.util.element import get_materials

    model = open_with_ifcopenshell(path)
    theirs = {(o.GlobalId, m.Name or None) for rel in model.by_type("IfcRelAssociatesMaterial")
              for o in rel.RelatedObjects if hasattr(o, "GlobalId")
              for m in get_materials(o, should_inherit=False) if m is not None}
    rows = quarnel.read_table(path, "material_names").to_pylist()
    assert {(r["guid"], r["name"]) for r in rows if r["part"] == "material"} == theirs
