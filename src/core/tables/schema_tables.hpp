#pragma once
#include "schema/attributes.hpp"
#include "tables/table.hpp"

namespace quarnel::tables {

// The schema as tables: one row per entity (entity, supertype, abstract), and one row per
// attribute of every entity, inherited ones included (entity, attribute, position, optional,
// kind, type, derived). Flags are 0 or 1.
Table schema_entities(const Schema& schema);
Table schema_attributes(const Schema& schema);

}  // namespace quarnel::tables
