#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "columns.hpp"
#include "extractors/parts.hpp"
#include "step/entity_table.hpp"

namespace quarnel {

// One row per direct attribute with a value (inherited ones included, named by the file's
// schema) of every object with a GlobalId but relationships and property sets, in file order. Text columns are ids into `text`,
// which may borrow the mapped file. `kind` says how the value is written: string, enum,
// logical, integer, real, reference, list, typed, derived; `value_type` names the type of a
// typed value and the entity a reference points to; `number` holds numeric values.
struct AttributeColumns {
    TextPool text;
    TextColumnParts guid, entity, attribute, value, kind, value_type;
    std::vector<std::optional<double>> number;
    std::vector<std::uint64_t> step_id;

    std::size_t size() const { return number.size(); }
};

enum class AttributeScope { Objects, Everything };

AttributeColumns extract_attributes(const EntityTable& table, AttributeScope scope, const PartPlan& plan = {});

// The same of every instance, as a type of its own: a read may hold both.
struct AllAttributeColumns {
    AttributeColumns rows;
};

}  // namespace quarnel
