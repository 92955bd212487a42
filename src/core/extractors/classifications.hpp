#pragma once
#include "columns.hpp"
#include "extractors/parts.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel {

// Parallel columns of ids into `text`, which may borrow the mapped file (not
// the table or the GuidIndex): marshal before unmapping.
struct ClassificationColumns {
    TextPool text;
    TextColumn guid;
    TextColumn system_name;
    TextColumn edition;
    TextColumn identification;
    TextColumn name;
    TextColumn location;
    TextColumn source;
};

ClassificationColumns extract_classification_links(const EntityTable& table, const GuidIndex& guids,
                                                   const PartPlan& plan = {});

}  // namespace quarnel
