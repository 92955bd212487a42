#include "extractors/object_links.hpp"

namespace quarnel {
namespace {

// Ranks of the parent relationships: a better (lower) rank replaces a worse one.
enum ParentRank : std::uint8_t { kAggregate, kNest, kFill, kVoid, kNoParent };

struct Parent {
    std::uint64_t id = 0;
    std::uint8_t rank = kNoParent;
};

void offer_parent(IdMap<Parent>& parents, std::uint64_t child, std::uint64_t parent, ParentRank rank) {
    Parent& p = parents[child];
    if (rank < p.rank) p = {parent, rank};
}

}  // namespace

ObjectLinks read_object_links(const EntityTable& table, unsigned kinds) {
    ObjectLinks out;
    IdMap<Parent> parents(1024);
    Attributes record;
    std::vector<std::uint64_t> objects, definitions;

    static constexpr TypeFilter kTypes{"IFCRELDEFINESBYPROPERTIES", "IFCRELDEFINESBYTYPE",
                                       "IFCRELCONTAINEDINSPATIALSTRUCTURE", "IFCRELAGGREGATES",
                                       "IFCRELNESTS", "IFCRELFILLSELEMENT", "IFCRELVOIDSELEMENT"};
    table.for_each_in(0, table.records().size(), kTypes, [&](std::uint64_t, const EntityRecord& r) {
        const Entity e = table.entity(r);
        const bool by_properties = type_is(e.type, "IFCRELDEFINESBYPROPERTIES");
        const bool by_type = !by_properties && type_is(e.type, "IFCRELDEFINESBYTYPE");
        if (by_properties && !(kinds & kDefinitionLinks)) return;
        if (by_type && !(kinds & kTypeLinks)) return;
        if (!by_properties && !by_type && !(kinds & kPlaceLinks)) return;
        record.reset(e.attributes);
        if (!record.has(6)) return;
        // Every relationship read here relates attribute 4 to attribute 5.
        const std::string_view side4 = *record.at(4), side5 = *record.at(5);
        if (by_properties) {
            // The relating side may be a set of definitions as well as one.
            related_objects(side5, definitions);
            if (definitions.empty()) return;
            related_objects(side4, objects);
            for (const std::uint64_t o : objects) {
                for (const std::uint64_t d : definitions) out.definitions.push_back({o, d});
            }
        } else if (by_type) {
            const auto type = value::ref(side5);
            if (!type) return;
            related_objects(side4, objects);
            for (const std::uint64_t o : objects) {
                if (!out.type_of.contains(o)) out.type_of[o] = *type;
            }
        } else if (type_is(e.type, "IFCRELCONTAINEDINSPATIALSTRUCTURE")) {
            const auto structure = value::ref(side5);
            if (!structure) return;
            related_objects(side4, objects);
            for (const std::uint64_t o : objects) {
                if (!out.container_of.contains(o)) out.container_of[o] = *structure;
            }
        } else {
            const bool aggregates = type_is(e.type, "IFCRELAGGREGATES");
            if (aggregates || type_is(e.type, "IFCRELNESTS")) {
                const auto whole = value::ref(side4);
                if (!whole) return;
                related_objects(side5, objects);
                for (const std::uint64_t o : objects) offer_parent(parents, o, *whole, aggregates ? kAggregate : kNest);
            } else {
                // Fills: the filler (5) sits in the opening (4); voids: the
                // opening (5) cuts the element (4).
                const auto up = value::ref(side4);
                const auto down = value::ref(side5);
                if (!up || !down) return;
                offer_parent(parents, *down, *up, type_is(e.type, "IFCRELFILLSELEMENT") ? kFill : kVoid);
            }
        }
    });
    parents.for_each([&](std::uint64_t child, const Parent& p) { out.parent_of[child] = p.id; });
    return out;
}

}  // namespace quarnel
