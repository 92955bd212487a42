#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "columns.hpp"
#include "extractors/parts.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel {

// Five parallel columns of text ids into `text`, each in the same parts.
// Texts may borrow the mapped file (not the table or the GuidIndex): marshal
// before unmapping.
struct PsetColumns {
    TextPool text;
    TextColumnParts guid;
    TextColumnParts pset_name;
    TextColumnParts prop_name;
    TextColumnParts value;
    TextColumnParts value_type;
};

PsetColumns extract_property_sets(const EntityTable& table, const GuidIndex& guids, const PartPlan& plan = {});

// Display text of one attribute token; absent for $, * and empty tokens.
std::optional<std::string> value_text(std::string_view token);

// Value and value type of a NominalValue token (IFCLABEL('x') gives x and IfcLabel).
struct NominalValue {
    std::optional<std::string> value;
    std::optional<std::string> value_type;
};
NominalValue nominal_value(std::string_view token);

}  // namespace quarnel
