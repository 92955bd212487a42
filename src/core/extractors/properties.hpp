#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "columns.hpp"
#include "extractors/parts.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel {

// Every property of every object, inherited ones included, one row per value;
// the attributes of predefined property sets (IfcDoorPanelProperties) are
// properties of kind "predefined", typed as the schema declares them.
// Text columns are ids into `text`, which may borrow the mapped file; kind,
// role and source are codes of the labels of property_values.hpp.
struct PropertyColumns {
    TextPool text;
    TextColumn guid, entity, pset_name, prop_name, value, value_type, type_guid;
    LabelColumn kind, role, source;
    OptionalColumn<double> number;
    OptionalColumn<std::uint32_t> value_index;

    std::size_t size() const { return guid.size(); }
};

PropertyColumns extract_properties(const EntityTable& table, const GuidIndex& guids, const PartPlan& plan = {});

}  // namespace quarnel
