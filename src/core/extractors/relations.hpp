#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "columns.hpp"
#include "extractors/parts.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel {

// One row per (relationship, relating object, related object) of the relationships that tie
// objects together (aggregation, nesting, containment, groups, openings, types, ports...), in
// file order; an object without a GlobalId on either side gives no row. Text columns are ids
// into `text`; entity names are in the schema's spelling. `index` is the position among the
// related objects where their order means something (a nesting), else null.
struct RelationColumns {
    TextPool text;
    TextColumn relation, relating_guid, relating_entity, related_guid, related_entity, relation_guid;
    std::vector<std::optional<std::uint64_t>> index;

    std::size_t size() const { return relation.size(); }
};

RelationColumns extract_relations(const EntityTable& table, const GuidIndex& guids, const PartPlan& plan = {});

}  // namespace quarnel
