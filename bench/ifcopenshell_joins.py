"""The four extractor joins done with IfcOpenShell, for comparison (run by bench_extract_all.py).

usage: ifcopenshell_joins.py MODEL.ifc -> one JSON line: seconds (open included), peak RSS, row counts."""
import json
import resource
import sys
import time

import ifcopenshell

SIMPLE_QUANTITIES = {
    "IfcQuantityLength", "IfcQuantityArea", "IfcQuantityVolume",
    "IfcQuantityCount", "IfcQuantityWeight", "IfcQuantityTime",
}


def objects(rel):
    return [o for o in (rel.RelatedObjects or ()) if getattr(o, "GlobalId", None)]


def psets_and_quantities(f):
    psets, quantities = [], []
    for rel in f.by_type("IfcRelDefinesByProperties"):
        d = rel.RelatingPropertyDefinition
        if not isinstance(d, ifcopenshell.entity_instance):
            continue
        kind = d.is_a()
        if kind == "IfcPropertySet":
            props = [p for p in (d.HasProperties or ()) if p.is_a() == "IfcPropertySingleValue"]
            for o in objects(rel):
                for p in props:
                    v = p.NominalValue
                    psets.append((o.GlobalId, d.Name, p.Name, None if v is None else str(v.wrappedValue),
                                  None if v is None else v.is_a()))
        elif kind == "IfcElementQuantity":
            qs = [q for q in (d.Quantities or ()) if q.is_a() in SIMPLE_QUANTITIES]
            for o in objects(rel):
                for q in qs:
                    quantities.append((o.GlobalId, d.Name, q.Name, str(q[3]), q.is_a()[11:],
                                       q.Unit.id() if q.Unit else None))
    return psets, quantities


def materials(f):
    rows = []
    for rel in f.by_type("IfcRelAssociatesMaterial"):
        m = rel.RelatingMaterial
        kind = m.is_a()
        if kind == "IfcMaterial":
            found = [("direct", -1, m.Name, None, getattr(m, "Category", None))]
        elif kind == "IfcMaterialList":
            found = [("list", i, x.Name, None, getattr(x, "Category", None)) for i, x in enumerate(m.Materials)]
        elif kind in ("IfcMaterialLayerSetUsage", "IfcMaterialLayerSet"):
            layer_set = m.ForLayerSet if kind == "IfcMaterialLayerSetUsage" else m
            found = []
            for i, layer in enumerate(layer_set.MaterialLayers):
                mat = layer.Material
                name = getattr(layer, "Name", None) or (mat.Name if mat else None)
                category = getattr(layer, "Category", None) or (getattr(mat, "Category", None) if mat else None)
                found.append(("layer", i, name, layer.LayerThickness, category))
        else:
            found = [("unknown", -1, None, None, None)]
        for o in objects(rel):
            rows.extend((o.GlobalId,) + row for row in found)
    return rows


def classifications(f):
    rows = []
    for rel in f.by_type("IfcRelAssociatesClassification"):
        c = rel.RelatingClassification
        if c.is_a() == "IfcClassificationReference":
            s = c.ReferencedSource
            s = s if s is not None and s.is_a() == "IfcClassification" else None
            row = (s and s.Name, s and s.Edition, c[1], c.Name, c.Location, s and s.Source)
        elif c.is_a() == "IfcClassification":
            row = (c.Name, c.Edition, None, None, None, c.Source)
        else:
            continue
        rows.extend((o.GlobalId,) + row for o in objects(rel))
    return rows


def main():
    start = time.perf_counter()
    f = ifcopenshell.open(sys.argv[1])
    opened = time.perf_counter()
    psets, quantities = psets_and_quantities(f)
    counts = {"psets": len(psets), "quantities": len(quantities), "materials": len(materials(f)),
              "classifications": len(classifications(f))}
    end = time.perf_counter()
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024  # bytes
    print(json.dumps({"seconds": end - start, "open_seconds": opened - start, "peak_rss": peak, "rows": counts}))


if __name__ == "__main__":
    main()
