"""The tables the checks of each facet read, and the columns of them: known without pyarrow, so
that the command's own process can start reading a model before its imports."""

from __future__ import annotations

from typing import Dict, Iterable, List

from quarnel.registry import TABLES

# Each reference with those above it, every name a material association gives.
CLASSIFICATIONS = "classification_references"
MATERIALS = "material_names"
# The tables each facet reads, read together in one pass over a model; the objects themselves
# (their entities, predefined types, types and names) come from OBJECT_TABLES.
TABLES_OF = {"entity": (), "attribute": ("attributes",), "property": ("properties", "element_quantities"),
             "classification": (CLASSIFICATIONS,), "material": (MATERIALS,), "partOf": ("relations",)}
OBJECT_TABLES = ("attributes", "relations")
# The columns the checks read of each table (the others are never built); a table not named here
# is read whole. type_counts gives only its metadata (schema, unit scale).
COLUMNS = {"type_counts": ("entity",),
           "attributes": ("step_id", "guid", "entity", "attribute", "value", "kind", "value_type", "number"),
           "relations": ("relation", "relating_guid", "related_guid"),
           "properties": ("guid", "pset_name", "prop_name", "value", "value_type", "number"),
           "element_quantities": ("guid", "qto_name", "quantity_name", "value", "number", "quantity_type"),
           MATERIALS: ("guid", "name", "category"),
           CLASSIFICATIONS: ("guid", "step_id", "identification", "system_name")}
COLUMNS["all_attributes"] = COLUMNS["attributes"]


def columns_of(names: Iterable[str]) -> Dict[str, List[str]]:
    """The columns to build of each of these tables (those the checks read)."""
    return {n: [c for c in COLUMNS[n] if c in TABLES[n].column_names] for n in names if n in COLUMNS}
