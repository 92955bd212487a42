"""The complete element tables against IfcOpenShell's element utilities, model by model.

Normalisation: every value becomes a plain Python value (numbers as floats rounded to 9
significant digits, IfcBoolean and IfcLogical as True/False/"UNKNOWN", texts as texts), every
property a set of (set, property path, position, bound, value) rows, so the order of rows and
repeated rows do not count. IfcOpenShell's own faults, left out of the comparison:
- get_psets drops IfcPropertyReferenceValue properties (it has no branch for them);
- get_psets keeps one value per set and property name: a set that names a property twice, or
  two sets of one name on one object, keep only the last value there;
- get_psets(psets_only=True) leaves out the predefined property sets (IfcDoorLiningProperties
  and the like) of IFC2X3, which has no IfcPreDefinedPropertySet: get_property_definition gives
  their attributes here, as get_psets does for IFC4;
- get_container does not see the containment of products whose entity has no
  ContainedInStructure attribute (ports), though the file states it.
For spatial elements the walk starts at their own container or aggregate, where get_container
gives None for every element above the storeys.
"""
from collections import Counter

import pytest

from conftest import corpus, corpus_params, open_with_ifcopenshell
import quarnel

ifcopenshell = pytest.importorskip("ifcopenshell")
element_util = pytest.importorskip("ifcopenshell.util.element")

BOUNDS = {"LowerBoundValue": "lower", "UpperBoundValue": "upper", "SetPointValue": "set point"}
TRUTH = {"True": True, "False": False, "UNKNOWN": "UNKNOWN"}


def plain(value):
    if isinstance(value, ifcopenshell.entity_instance):
        if value.id():  # a referenced record, as the tables write it
            return f"#{value.id()}"
        value = value.wrappedValue
    if isinstance(value, bool) or value is None:
        return value
    if isinstance(value, (int, float)):
        return float(f"{value:.9g}")
    return value


def oracle_rows(name, value, out, path=None):
    """The rows of one property as get_psets gives it."""
    path = f"{path}.{name}" if path else name
    if isinstance(value, dict) and "properties" in value:  # complex property or quantity
        for inner, v in value["properties"].items():
            if inner != "id":
                oracle_rows(inner, v, out, path)
    elif isinstance(value, dict) and value.get("type") == "IfcPropertyBoundedValue":
        bounds = [(BOUNDS[k], plain(value.get(k))) for k in BOUNDS if value.get(k) is not None]
        out.update((path, None, bound, v) for bound, v in bounds or [(None, None)])
    elif isinstance(value, dict) and value.get("type") == "IfcPropertyTableValue":
        rows = [(path, i, role, plain(v)) for role, key in (("defining", "DefiningValues"), ("defined", "DefinedValues"))
                for i, v in enumerate(value.get(key) or ())]
        out.update(rows or [(path, None, None, None)])
    elif isinstance(value, (list, tuple)):
        out.update([(path, i, None, plain(v)) for i, v in enumerate(value)] or [(path, None, None, None)])
    else:
        out.add((path, None, None, plain(value)))


def quarnel_value(value, value_type, number):
    if number is not None:
        return float(f"{number:.9g}")
    if value_type in ("IfcBoolean", "IfcLogical") and value in TRUTH:
        return TRUTH[value]
    return value


def objects(model):
    return [o for o in model.by_type("IfcObjectDefinition") if isinstance(getattr(o, "GlobalId", None), str)
            and (o.is_a("IfcObject") or o.is_a("IfcTypeObject"))]


def sets_by_object(table, set_column, name_column, value_of):
    out = {}
    for row in table.to_pylist():
        key = (row[set_column],)
        index = row.get("value_index")
        out.setdefault(row["guid"], set()).add(
            key + (row[name_column], index, row.get("role"), value_of(row)))
    return out


def comparable(element, psets, qtos_only):
    """get_psets rows, and the (set, property) names IfcOpenShell gets wrong (listed above)."""
    is_type = element.is_a("IfcTypeObject")
    definitions = list(element.HasPropertySets or ()) if is_type else []
    for rel in () if is_type else getattr(element, "IsDefinedBy", ()) or ():
        if rel.is_a("IfcRelDefinesByProperties"):
            d = rel.RelatingPropertyDefinition
            definitions += list(d) if isinstance(d, tuple) else [d]
    element_type = None if is_type else element_util.get_type(element)
    if element_type is not None and element_type != element:
        definitions += list(element_type.HasPropertySets or ())
    seen, skipped = Counter(), set()
    psets = dict(psets)
    for d in filter(None, definitions):
        if not d.is_a("IfcPropertySet") and not d.is_a("IfcElementQuantity"):
            if qtos_only:
                skipped.add(d.Name)
                continue
            attributes = element_util.get_property_definition(d)
            if element.file.schema == "IFC2X3":
                psets[d.Name] = {**psets.get(d.Name, {}), **attributes}
            seen.update((d.Name, a) for a in attributes if a != "id")
            continue
        for m in (d.HasProperties if d.is_a("IfcPropertySet") else d.Quantities) or ():
            if m.is_a("IfcPropertyReferenceValue"):
                skipped.add((d.Name, m.Name))
            seen[(d.Name, m.Name)] += 1
    rows = set()
    for set_name, props in psets.items():
        for prop, value in props.items():
            if prop != "id":
                found = set()
                oracle_rows(prop, value, found)
                rows.update((set_name,) + r for r in found)
    return rows, {k for k, n in seen.items() if n > 1} | skipped


def drop_faults(rows, faulty):
    return {r for r in rows if r[0] not in faulty and (r[0], r[1].split(".")[0]) not in faulty}


@corpus
@pytest.mark.parametrize("path", corpus_params())
@pytest.mark.parametrize("table, qtos_only", [("properties", False), ("element_quantities", True)])
def test_rows_match_get_psets(path, table, qtos_only):
    model = open_with_ifcopenshell(path)
    got = quarnel.read_table(path, table)
    if table == "properties":
        mine = sets_by_object(got, "pset_name", "prop_name",
                              lambda r: quarnel_value(r["value"], r["value_type"], r["number"]))
    else:
        mine = sets_by_object(got, "qto_name", "quantity_name",
                              lambda r: quarnel_value(r["value"], None, r["number"]))
    checked = 0
    for element in objects(model):
        psets = element_util.get_psets(element, psets_only=not qtos_only, qtos_only=qtos_only)
        expected, faulty = comparable(element, psets, qtos_only)
        expected, actual = drop_faults(expected, faulty), drop_faults(mine.get(element.GlobalId, set()), faulty)
        assert actual == expected, element
        checked += len(expected)
    assert checked or not any(mine.values())


def direct_container(model, element):
    if hasattr(element, "ContainedInStructure"):
        return element_util.get_container(element, should_get_direct=True)
    # Products the schema gives no ContainedInStructure (ports, for one): get_container does not
    # see the containment the file states for them.
    rels = [r for r in model.get_inverse(element)
            if r.is_a("IfcRelContainedInSpatialStructure") and element in (r.RelatedElements or ())]
    return min(rels, key=lambda r: r.id()).RelatingStructure if rels else None


def spatial_chain(model, element):
    if element.is_a("IfcSpatialElement") or element.is_a("IfcSpatialStructureElement"):
        node = direct_container(model, element) or element_util.get_aggregate(element)
    elif hasattr(element, "ContainedInStructure"):
        node = element_util.get_container(element)
    else:
        node = direct_container(model, element)
    seen = set()
    while node is not None and node.id() not in seen:
        seen.add(node.id())
        yield node
        node = element_util.get_container(node, should_get_direct=True) or element_util.get_aggregate(node)


def first_of(chain, ifc_class):
    return next((n.GlobalId for n in chain if n.is_a() == ifc_class), None)


@corpus
@pytest.mark.parametrize("path", corpus_params())
def test_elements_match_type_container_aggregate(path):
    model = open_with_ifcopenshell(path)
    rows = {r["guid"]: r for r in quarnel.read_table(path, "elements").to_pylist()}
    products = [p for p in model.by_type("IfcProduct") if isinstance(p.GlobalId, str)]
    assert set(rows) == {p.GlobalId for p in products}
    for p in products:
        row = rows[p.GlobalId]
        element_type = element_util.get_type(p)
        chain = list(spatial_chain(model, p))
        assert (row["entity"], row["type_guid"], row["storey_guid"], row["building_guid"], row["site_guid"]) == (
            p.is_a(), element_type.GlobalId if element_type else None, first_of(chain, "IfcBuildingStorey"),
            first_of(chain, "IfcBuilding"), first_of(chain, "IfcSite")), p
