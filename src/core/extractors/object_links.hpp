#pragma once
#include <cstdint>
#include <vector>

#include "extractors/common.hpp"
#include "step/entity_table.hpp"
#include "step/flat_map.hpp"

namespace quarnel {

// The relationships that say what an object is and where it stands, read in
// one walk over the table. Each object keeps the first relationship of a kind
// in file order, as a reader following the inverse attributes would.
struct ObjectLinks {
    // (object, property definition) of every IfcRelDefinesByProperties, file
    // order; a relationship relating a list of definitions gives one per member.
    std::vector<DefinitionLink> definitions;
    IdMap<std::uint64_t> type_of;       // occurrence -> its type object
    IdMap<std::uint64_t> container_of;  // element -> the spatial structure that contains it
    // The object one level up where no container says: the whole of an
    // aggregation, then of a nesting, then the opening a filler fills, then the
    // element an opening voids (the first that applies).
    IdMap<std::uint64_t> parent_of;

    ObjectLinks() : type_of(1024), container_of(1024), parent_of(1024) {}
};

enum ObjectLinkKinds : unsigned {
    kDefinitionLinks = 1,
    kTypeLinks = 2,
    kPlaceLinks = 4,  // containment and parents
};

ObjectLinks read_object_links(const EntityTable& table, unsigned kinds);

}  // namespace quarnel
