#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "columns.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel {

struct PsetColumns {
    StringColumn guid;
    StringColumn pset_name;
    StringColumn prop_name;
    StringColumn value;
    StringColumn value_type;
};

PsetColumns extract_property_sets(const EntityTable& table, const GuidIndex& guids);

// Display text of one attribute token; absent for $, * and empty tokens.
std::optional<std::string> value_text(std::string_view token);

// Value and value type of a NominalValue token (IFCLABEL('x') gives x and IfcLabel).
struct NominalValue {
    std::optional<std::string> value;
    std::optional<std::string> value_type;
};
NominalValue nominal_value(std::string_view token);

}  // namespace quarnel
