#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "columns.hpp"
#include "extractors/parts.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel {

// Parallel columns; the text ones are ids into `text`, which may borrow the
// mapped file (not the table or the GuidIndex): marshal before unmapping.
struct QtoColumns {
    TextPool text;
    TextColumn guid;
    TextColumn qto_name;
    TextColumn quantity_name;
    TextColumn value;
    TextColumn quantity_type;
    std::vector<std::optional<std::uint64_t>> unit_step_id;
};

QtoColumns extract_element_quantities(const EntityTable& table, const GuidIndex& guids, const PartPlan& plan = {});

}  // namespace quarnel
