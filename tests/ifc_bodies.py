"""The body items of a product as analyse_drift chooses them, read through IfcOpenShell."""

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
