#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "columns.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel {

// Every name a material association gives an object, one row each: the associated material,
// list or set (layer, profile or constituent set, through a usage), each member of a set with
// its own name and category, and each member's material. `part` says which ("material", "list",
// "layer set", "layer", "profile set", "profile", "constituent set", "constituent"), `index` the
// member's position in its set or list. Every association gives at least one row, without a
// name where there is none. Text columns are ids into `text`, which may borrow the mapped file.
struct MaterialNameColumns {
    TextPool text;
    TextColumn guid, part, name, category;
    std::vector<std::optional<std::uint64_t>> index;

    std::size_t size() const { return guid.size(); }
};

MaterialNameColumns extract_material_names(const EntityTable& table, const GuidIndex& guids);

}  // namespace quarnel
