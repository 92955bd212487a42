#pragma once
#include "columns.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel {

struct ClassificationColumns {
    StringColumn guid;
    StringColumn system_name;
    StringColumn edition;
    StringColumn identification;
    StringColumn name;
    StringColumn location;
    StringColumn source;
};

ClassificationColumns extract_classification_links(const EntityTable& table, const GuidIndex& guids);

}  // namespace quarnel
