#pragma once
#include <cstdint>
#include <vector>

#include "columns.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel {

// Every property of every object, inherited ones included, one row per value.
// Text columns are ids into `text`, which may borrow the mapped file.
// kind, role and source are codes (see property_values.hpp); value_index is
// -1 where a value has no position; number is valid where has_number is 1.
struct PropertyColumns {
    TextPool text;
    TextColumn guid, entity, pset_name, prop_name, value, value_type, type_guid;
    std::vector<double> number;
    std::vector<std::uint8_t> has_number;
    std::vector<std::uint8_t> kind, role, source;
    std::vector<std::int32_t> value_index;

    std::size_t size() const { return guid.size(); }
};

PropertyColumns extract_properties(const EntityTable& table, const GuidIndex& guids);

}  // namespace quarnel
