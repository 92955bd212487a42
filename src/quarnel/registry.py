"""Every table quarnel can produce: its name, the native call that reads it, its columns and types.

One place for what the command line, batch runs, conversions and the Arrow face agree on.
Column kinds: "int" (int64), "float" (float64), "str" (UTF-8 text) and "dict" (UTF-8 text that
repeats, dictionary-encoded with int32 indices). Every column may hold nulls.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Dict, Optional, Tuple

SEVERITIES = ("ok", "warn", "error")  # drift verdicts, mildest first
SEVERITY_COLOURS = {"ok": "#9aa5b1", "warn": "#f28e2b", "error": "#d62728"}
# How the core judges drift: closer than DRIFT_FLOOR millimetres (DRIFT_FLOOR model units when
# the model gives no length unit) is always "ok"; otherwise the ratio of distance to the
# product's largest extent is "ok" up to WARN_RATIO, "warn" up to ERROR_RATIO, "error" beyond
# (and when it is not a number).
DRIFT_FLOOR = 10.0
WARN_RATIO = 2.0
ERROR_RATIO = 10.0
# Columns only the Arrow tables carry; the dict results of quarnel._core keep their keys.
ARROW_ONLY = {"drift": ("placement",)}


@dataclass(frozen=True)
class Table:
    name: str
    call: str  # the quarnel._core function whose dict result holds the table; "" for Arrow-only tables
    columns: Tuple[Tuple[str, str], ...]  # (name, kind)
    about: str  # what one row is

    @property
    def column_names(self) -> Tuple[str, ...]:
        return tuple(name for name, _ in self.columns)

    @property
    def dict_column_names(self) -> Tuple[str, ...]:
        """The columns the dict result of `call` holds."""
        return tuple(name for name in self.column_names if name not in ARROW_ONLY.get(self.name, ()))

    def kind(self, column: str) -> str:
        for name, kind in self.columns:
            if name == column:
                return kind
        raise KeyError(f"table {self.name!r} has no column {column!r}")


def _table(name: str, call: str, layout: str, about: str = "") -> Table:
    # "a:int b:dict c" -> (("a", "int"), ("b", "dict"), ("c", "str"))
    columns = []
    for item in layout.split():
        column, _, kind = item.partition(":")
        columns.append((column, kind or "str"))
    return Table(name, call, tuple(columns), about)


_SPATIAL = "step_id:int guid"

TABLES: Dict[str, Table] = {t.name: t for t in (
    _table("psets", "extract_psets", "guid pset_name:dict prop_name:dict value value_type:dict",
           "property sets: one row per single-value property of an object"),
    _table("quantities", "extract_quantities",
           "guid qto_name:dict quantity_name:dict value quantity_type:dict unit_step_id:int",
           "element quantities: one row per quantity of an object"),
    _table("materials", "extract_materials",
           "guid role:dict layer_index:int material_name:dict layer_thickness_mm:float category:dict",
           "materials: one row per material, list entry or layer of an object"),
    _table("classifications", "extract_classifications",
           "guid system_name:dict edition:dict identification:dict name:dict location:dict source:dict",
           "classification references: one row per reference"),
    _table("products", "index_ifc",
           "step_id:int guid entity:dict name predefined_type:dict object_type:dict tag",
           "products: one row per product of the model"),
    _table("storeys", "index_ifc", "step_id:int guid name elevation:float building_step_id:int",
           "storeys: one row per building storey"),
    _table("contained_in", "index_ifc", "child:int structure:int",
           "spatial containment: one row per product and the structure that contains it"),
    _table("aggregates", "index_ifc", "child:int parent:int",
           "aggregation: one row per part and the whole it belongs to"),
    _table("storey_building", "index_ifc", "storey:int building:int",
           "storeys and their buildings: one row per pair"),
    _table("sites", "index_ifc", _SPATIAL, "sites: one row per site"),
    _table("buildings", "index_ifc", _SPATIAL, "buildings: one row per building"),
    _table("projects", "index_ifc", _SPATIAL, "projects: one row per project"),
    _table("spaces", "index_ifc", _SPATIAL, "spaces: one row per space"),
    _table("type_counts", "index_ifc", "entity count:int", "products per type: one row per entity type"),
    _table("drift", "analyse_drift",
           "guid entity:dict source:dict triangle_count:int surface_area:float volume_abs:float "
           "placement_x:float placement_y:float placement_z:float "
           "centroid_x:float centroid_y:float centroid_z:float "
           "drift_distance:float max_extent:float drift_ratio:float drift_severity:dict placement:dict",
           "drift: one row per meshed product, how far its geometry lies from its placement"),
    # Long tables keyed by GlobalId: each repeats for every value of its object.
    _table("properties", "",
           "guid:dict entity:dict pset_name:dict prop_name:dict value value_type:dict number:float kind:dict "
           "source:dict type_guid:dict value_index:int role:dict",
           "properties: one row per property value of an object, those inherited from its type included"),
    _table("element_quantities", "",
           "guid:dict entity:dict qto_name:dict quantity_name:dict value number:float quantity_type:dict unit:dict "
           "source:dict type_guid:dict",
           "element_quantities: one row per quantity of an object, those of its type included"),
    _table("elements", "",
           "guid entity:dict name description object_type:dict tag predefined_type:dict "
           "type_guid type_entity:dict type_name:dict storey_guid storey_name:dict building_guid site_guid",
           "elements: one row per product, with its type and where it stands"),
)}

EXTRACT_ALL_TABLES = ("psets", "quantities", "materials", "classifications")
INDEX_TABLES = tuple(name for name, t in TABLES.items() if t.call == "index_ifc")


# What "all" names wherever tables are asked for (read_tables, batch, datasets, Dask): every table
# of a model but drift, which meshes geometry and costs more than the rest together; name it to
# have it.
ALL_TABLES = tuple(name for name in TABLES if name != "drift")


def table_names(tables) -> Tuple[str, ...]:
    """None or "all": ALL_TABLES; else a name or a list of names, each checked."""
    if tables is None or tables == "all":
        return ALL_TABLES
    names = (tables,) if isinstance(tables, str) else tuple(tables)
    for name in names:
        table(name)
    return names


def at_least(severity: str) -> Tuple[str, ...]:
    """The severities as bad as `severity` or worse."""
    return SEVERITIES[SEVERITIES.index(severity):]


def matching(columns) -> Optional[Table]:
    """The table whose columns are exactly these names (in any order), if there is one."""
    names = set(columns)
    for t in TABLES.values():
        if set(t.column_names) == names or set(t.dict_column_names) == names:
            return t
    return None


def table(name: str) -> Table:
    try:
        return TABLES[name]
    except KeyError:
        raise ValueError(f"no table {name!r}; choose one of {', '.join(TABLES)}") from None
