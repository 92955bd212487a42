#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "columns.hpp"
#include "extractors/parts.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel {

// Parallel columns; the text ones are ids into `text`, which may borrow the
// mapped file (not the table or the GuidIndex): marshal before unmapping.
struct MaterialColumns {
    TextPool text;
    TextColumn guid;
    TextColumn role;                        // "direct", "layer", "list", "unknown"
    std::vector<std::int64_t> layer_index;  // position in the layer set or list, or -1
    TextColumn material_name;
    std::vector<std::optional<double>> layer_thickness;  // as written, in the model's length unit
    TextColumn category;
};

MaterialColumns extract_material_assignments(const EntityTable& table, const GuidIndex& guids,
                                             const PartPlan& plan = {});

}  // namespace quarnel
