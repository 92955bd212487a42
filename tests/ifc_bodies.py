"""The body items of a product as analyse_drift chooses them, read through IfcOpenShell."""

from conftest import open_with_ifcopenshell

NOT_MESHED = ("IfcSite", "IfcBuilding", "IfcBuildingStorey", "IfcProject")


def body_items(product):
    """Items of the representation analyse_drift chooses: 'Body'/'Facetation', else the first."""
    if product.Representation is None:
        return []
    reps = list(product.Representation.Representations or [])
    chosen = next(
        (r for r in reps if (r.RepresentationIdentifier or "").lower() in ("body", "facetation")),
        reps[0] if reps else None,
    )
    if chosen is None or not chosen.is_a("IfcShapeRepresentation"):
        return []
    return list(chosen.Items or [])


def source_items(items):
    """The items with every mapped item replaced by the items it maps (each map once)."""
    out, pending, seen = [], list(items), set()
    while pending:
        item = pending.pop()
        if item.is_a("IfcMappedItem"):
            source = item.MappingSource
            if source.id() in seen:
                continue
            seen.add(source.id())
            pending.extend(source.MappedRepresentation.Items or [])
        else:
            out.append(item)
    return out


open_model = open_with_ifcopenshell


def geometry_settings():
    """World coordinates, no opening subtraction, the file's own length unit (as analyse_drift reports)."""
    import ifcopenshell.geom

    settings = ifcopenshell.geom.settings()
    settings.set("use-world-coords", True)
    settings.set("disable-opening-subtractions", True)
    settings.set("convert-back-units", True)
    return settings


def box_centre(verts):
    """Centre of the axis-aligned box of a flat x y z vertex list."""
    return [(min(verts[a::3]) + max(verts[a::3])) / 2 for a in range(3)]


def model_size(drift):
    """The largest extent of all meshed products together, for tolerances."""
    n = len(drift["guid"])
    return max(
        max(drift[f"centroid_{a}"][i] + drift["max_extent"][i] for i in range(n))
        - min(drift[f"centroid_{a}"][i] - drift["max_extent"][i] for i in range(n))
        for a in "xyz"
    )
