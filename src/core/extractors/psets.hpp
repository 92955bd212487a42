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

}  // namespace quarnel
