#pragma once
#include <cstdint>
#include <vector>

#include "columns.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel {

// Every quantity of every object, those of its type included, members of
// complex quantities by their path (Outer.Inner). Text columns are ids into
// `text`; number is valid where has_number is 1; source codes as ValueSource.
// unit is the quantity's own unit, else the project's unit of its kind.
struct ElementQuantityColumns {
    TextPool text;
    TextColumn guid, entity, qto_name, quantity_name, value, quantity_type, unit, type_guid;
    std::vector<double> number;
    std::vector<std::uint8_t> has_number;
    std::vector<std::uint8_t> source;

    std::size_t size() const { return guid.size(); }
};

ElementQuantityColumns extract_element_quantity_rows(const EntityTable& table, const GuidIndex& guids);

}  // namespace quarnel
