#pragma once
#include "columns.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel {

// One row per product with a GlobalId, in file order: what it is, its type
// object and where it stands. Text columns are ids into `text` (null where
// absent), which may borrow the mapped file.
struct ElementColumns {
    TextPool text;
    TextColumn guid, entity, name, description, object_type, tag, predefined_type;
    TextColumn type_guid, type_entity, type_name;
    TextColumn storey_guid, storey_name, building_guid, site_guid;

    std::size_t size() const { return guid.size(); }
};

ElementColumns extract_elements(const EntityTable& table, const GuidIndex& guids);

}  // namespace quarnel
