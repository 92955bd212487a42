#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "columns.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel {

struct QtoColumns {
    StringColumn guid;
    StringColumn qto_name;
    StringColumn quantity_name;
    StringColumn value;
    std::vector<std::string_view> quantity_type;  // static labels
    std::vector<std::optional<std::uint64_t>> unit_step_id;
};

QtoColumns extract_element_quantities(const EntityTable& table, const GuidIndex& guids);

}  // namespace quarnel
