#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "columns.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel {

struct MaterialColumns {
    StringColumn guid;
    std::vector<std::string_view> role;     // "direct", "layer", "list", "unknown"
    std::vector<std::int64_t> layer_index;  // position in the layer set or list, or -1
    StringColumn material_name;
    std::vector<std::optional<double>> layer_thickness;  // as written, in the model's length unit
    StringColumn category;
};

MaterialColumns extract_material_assignments(const EntityTable& table, const GuidIndex& guids);

}  // namespace quarnel
