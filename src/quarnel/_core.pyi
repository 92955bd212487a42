"""Types of the native module: every function takes a path (str) and returns one of these dicts.

Tables are dicts of equal-length lists; absent values are None. Keys come in the order listed.
Made by tools/gen_stubs.py from the table catalogue: do not edit.
"""

from typing import Dict, List, Optional, TypedDict

__version__: str
__all__: List[str]

class ProductTable(TypedDict):
    step_id: List[int]
    guid: List[str]
    entity: List[str]
    name: List[Optional[str]]
    predefined_type: List[Optional[str]]
    object_type: List[Optional[str]]
    tag: List[Optional[str]]

class StoreyTable(TypedDict):
    step_id: List[int]
    guid: List[str]
    name: List[Optional[str]]
    elevation: List[Optional[float]]
    building_step_id: List[Optional[int]]

class ContainmentPairs(TypedDict):
    child: List[int]
    structure: List[int]

class AggregationPairs(TypedDict):
    child: List[int]
    parent: List[int]

class StoreyBuildingPairs(TypedDict):
    storey: List[int]
    building: List[int]

class SpatialTable(TypedDict):
    step_id: List[int]
    guid: List[str]

class IndexResult(TypedDict):
    schema: str
    project_name: Optional[str]
    authoring_app: Optional[str]
    unit_scale: Optional[float]
    size_bytes: int
    open_ms: float
    index_ms: float
    type_counts: Dict[str, int]
    products: ProductTable
    storeys: StoreyTable
    contained_in: ContainmentPairs
    aggregates: AggregationPairs
    storey_building: StoreyBuildingPairs
    sites: SpatialTable
    buildings: SpatialTable
    projects: SpatialTable
    spaces: SpatialTable
    marshal_ms: float

class PsetTable(TypedDict):
    guid: List[str]
    pset_name: List[str]
    prop_name: List[str]
    value: List[Optional[str]]
    value_type: List[Optional[str]]

class PsetsResult(PsetTable):
    open_ms: float
    entity_table_ms: float
    guid_index_ms: float
    pset_extract_ms: float
    marshal_ms: float
    size_bytes: int

class QuantityTable(TypedDict):
    guid: List[str]
    qto_name: List[str]
    quantity_name: List[str]
    value: List[Optional[str]]
    quantity_type: List[str]
    unit_step_id: List[Optional[int]]

class QuantitiesResult(QuantityTable):
    open_ms: float
    entity_table_ms: float
    guid_index_ms: float
    qto_extract_ms: float
    marshal_ms: float
    size_bytes: int

class MaterialTable(TypedDict):
    guid: List[str]
    role: List[str]
    layer_index: List[int]
    material_name: List[Optional[str]]
    layer_thickness_mm: List[Optional[float]]
    category: List[Optional[str]]

class MaterialsResult(MaterialTable):
    open_ms: float
    entity_table_ms: float
    guid_index_ms: float
    materials_extract_ms: float
    marshal_ms: float
    size_bytes: int

class ClassificationTable(TypedDict):
    guid: List[str]
    system_name: List[Optional[str]]
    edition: List[Optional[str]]
    identification: List[Optional[str]]
    name: List[Optional[str]]
    location: List[Optional[str]]
    source: List[Optional[str]]

class ClassificationsResult(ClassificationTable):
    open_ms: float
    entity_table_ms: float
    guid_index_ms: float
    classifications_extract_ms: float
    marshal_ms: float
    size_bytes: int

class ExtractAllResult(TypedDict):
    psets: PsetTable
    quantities: QuantityTable
    materials: MaterialTable
    classifications: ClassificationTable
    open_ms: float
    entity_table_ms: float
    guid_index_ms: float
    psets_extract_ms: float
    quantities_extract_ms: float
    materials_extract_ms: float
    classifications_extract_ms: float
    marshal_ms: float
    total_ms: float
    size_bytes: int

class DriftTable(TypedDict):
    guid: List[str]
    entity: List[str]
    source: List[str]
    triangle_count: List[int]
    surface_area: List[float]
    volume_abs: List[float]
    placement_x: List[float]
    placement_y: List[float]
    placement_z: List[float]
    centroid_x: List[float]
    centroid_y: List[float]
    centroid_z: List[float]
    drift_distance: List[float]
    max_extent: List[float]
    drift_ratio: List[float]
    drift_severity: List[str]

class DriftResult(DriftTable):
    drift_ok: int
    drift_warn: int
    drift_error: int
    mesh_emission_ms: float
    entity_table_ms: float
    total_ms: float
    size_bytes: int

def index_ifc(path: str) -> IndexResult: ...
def extract_psets(path: str) -> PsetsResult: ...
def extract_quantities(path: str) -> QuantitiesResult: ...
def extract_materials(path: str) -> MaterialsResult: ...
def extract_classifications(path: str) -> ClassificationsResult: ...
def extract_all(path: str) -> ExtractAllResult: ...
def analyse_drift(path: str) -> DriftResult: ...
