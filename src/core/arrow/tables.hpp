#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "arrow/table.hpp"
#include "extractors/classifications.hpp"
#include "extractors/element_quantities.hpp"
#include "extractors/elements.hpp"
#include "extractors/materials.hpp"
#include "extractors/properties.hpp"
#include "extractors/psets.hpp"
#include "extractors/quantities.hpp"
#include "indexer/model_index.hpp"
#include "mesh/stats.hpp"

namespace quarnel::arrow {

// The core passes a table may need; one read runs each at most once.
enum Pass : unsigned {
    kPsets = 1u << 0,
    kQuantities = 1u << 1,
    kMaterials = 1u << 2,
    kClassifications = 1u << 3,
    kIndex = 1u << 4,
    kDrift = 1u << 5,
    kProperties = 1u << 6,
    kElementQuantities = 1u << 7,
    kElements = 1u << 8,
    kExtractors = kPsets | kQuantities | kMaterials | kClassifications | kProperties | kElementQuantities | kElements,
};

// What the passes of one read produced, with their timings. Texts borrow the mapped file.
struct Reads {
    std::uint64_t size_bytes = 0;
    double open_ms = 0.0;
    double entity_table_ms = 0.0;
    double guid_index_ms = 0.0;
    std::optional<PsetColumns> psets;
    std::optional<QtoColumns> quantities;
    std::optional<MaterialColumns> materials;
    std::optional<ClassificationColumns> classifications;
    double psets_ms = 0.0, quantities_ms = 0.0, materials_ms = 0.0, classifications_ms = 0.0;
    std::optional<PropertyColumns> properties;
    std::optional<ElementQuantityColumns> element_quantities;
    std::optional<ElementColumns> elements;
    double properties_ms = 0.0, element_quantities_ms = 0.0, elements_ms = 0.0;
    std::optional<ModelIndex> index;
    double index_ms = 0.0;
    std::optional<std::vector<MeshStats>> drift;
    double mesh_emission_ms = 0.0, mesh_entity_table_ms = 0.0, drift_total_ms = 0.0;
};

// A table of the Arrow face: its name, the pass it needs and how its columns are read from
// the result of that pass. Column names, order and kinds are those of the Python registry.
struct TableDef {
    std::string_view name;
    Pass pass;
    Table (*make)(const Reads&);
};

const std::vector<TableDef>& table_defs();
const TableDef* find_table(std::string_view name);

}  // namespace quarnel::arrow
