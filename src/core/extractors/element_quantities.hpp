#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "columns.hpp"
#include "extractors/parts.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel {

// Every quantity of every object, those of its type included, members of
// complex quantities by their path (Outer.Inner). Text columns are ids into
// `text`, source the labels of property_values.hpp. unit is the quantity's own
// unit, else the project's unit of its kind.
struct ElementQuantityColumns {
    TextPool text;
    TextColumn guid, entity, qto_name, quantity_name, value, quantity_type, unit, source, type_guid;
    std::vector<std::optional<double>> number;

    std::size_t size() const { return guid.size(); }
};

ElementQuantityColumns extract_element_quantity_rows(const EntityTable& table, const GuidIndex& guids, const PartPlan& plan = {});

}  // namespace quarnel
