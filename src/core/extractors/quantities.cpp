#include "extractors/quantities.hpp"

#include "extractors/common.hpp"
#include "step/flat_map.hpp"

namespace quarnel {
namespace {

struct QuantityEntry {
    TextRef name;
    TextRef value;
    std::optional<std::uint64_t> unit_id;
    std::uint8_t kind = 0;  // index into kQuantityKinds
};

struct QuantitySetEntry {
    TextRef name;
    IdSpan quantities;
};

struct QuantityKind {
    std::string_view type;
    std::string_view label;
};

constexpr QuantityKind kQuantityKinds[] = {
    {"IFCQUANTITYLENGTH", "Length"}, {"IFCQUANTITYAREA", "Area"},     {"IFCQUANTITYVOLUME", "Volume"},
    {"IFCQUANTITYCOUNT", "Count"},   {"IFCQUANTITYWEIGHT", "Weight"}, {"IFCQUANTITYTIME", "Time"},
};

// Index of the simple quantity type `type` names, or -1.
int quantity_kind(std::string_view type) {
    for (int k = 0; k < 6; ++k) {
        if (type_is(type, kQuantityKinds[k].type)) return k;
    }
    return -1;
}

}  // namespace

QtoColumns extract_element_quantities(const EntityTable& table, const GuidIndex& guids) {
    IdMap<QuantitySetEntry> sets(1792);
    IdMap<QuantityEntry> quantities(14336);
    // Most of these relationships carry property sets: their objects are
    // expanded only when the definition turns out to be a quantity set.
    std::vector<PendingLinks> links;
    links.reserve(8192);
    std::vector<std::uint64_t> set_members;
    TextArena arena;
    Pieces pieces;
    pieces.reserve(12);
    std::vector<std::uint64_t> scratch;

    table.for_each([&](std::uint64_t id, const EntityRecord& r) {
        // Simple quantities are 15 to 17 bytes long, the set 18 and the relation 25:
        // every other length is passed over without touching the name.
        const std::size_t len = r.type_length;
        if ((len < 15 || len > 18) && len != 25) return;
        const std::string_view type = table.type_of(r);
        if (len == 25) {
            if (!type_is(type, "IFCRELDEFINESBYPROPERTIES")) return;
            split_attributes(table.entity(r).attributes, pieces);
            if (const auto pending = pending_links(pieces, 4, 5)) links.push_back(*pending);
        } else if (len == 18) {
            if (!type_is(type, "IFCELEMENTQUANTITY")) return;
            split_attributes(table.entity(r).attributes, pieces);
            QuantitySetEntry entry;
            entry.name = pieces.size() >= 3 ? arena.add_string_or_empty(pieces[2]) : arena.add(std::string_view());
            if (pieces.size() >= 6) entry.quantities = append_id_list(pieces[5], set_members, scratch);
            sets[id] = entry;
        } else {
            const int kind = quantity_kind(type);
            if (kind < 0) return;
            split_attributes(table.entity(r).attributes, pieces);
            QuantityEntry entry;
            entry.kind = static_cast<std::uint8_t>(kind);
            entry.name = arena.add_string_or_empty(pieces[0]);
            if (pieces.size() >= 3) entry.unit_id = ref_of(pieces[2]);
            if (pieces.size() >= 4) {
                if (const auto value = real_of(pieces[3])) entry.value = arena.add_number(*value);
            }
            quantities[id] = entry;
        }
    });

    QtoColumns out;
    std::vector<std::uint64_t> objects;
    for (const PendingLinks& link : links) {
        const QuantitySetEntry* set = sets.find(link.definition);
        if (!set) continue;
        const std::string_view set_name = arena.text(set->name);
        related_objects(link.objects, objects);
        for (const std::uint64_t object : objects) {
            const auto guid = guids.guid_of(object);
            if (!guid) continue;
            for (std::uint32_t k = 0; k < set->quantities.count; ++k) {
                const QuantityEntry* q = quantities.find(set_members[set->quantities.first + k]);
                if (!q) continue;
                out.guid.push(*guid);
                out.qto_name.push(set_name);
                out.quantity_name.push(arena.text(q->name));
                out.value.push(arena.get(q->value));
                out.quantity_type.push_back(kQuantityKinds[q->kind].label);
                out.unit_step_id.push_back(q->unit_id);
            }
        }
    }
    return out;
}

}  // namespace quarnel
