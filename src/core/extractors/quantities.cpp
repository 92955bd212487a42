#include "extractors/quantities.hpp"

#include "extractors/common.hpp"
#include "step/flat_map.hpp"

#include <array>
#include <tuple>

namespace quarnel {
namespace {

struct QuantityEntry {
    std::uint32_t name = kNull;
    std::uint32_t value = kNull;
    std::uint8_t kind = 0;  // index into kQuantityKinds
    std::optional<std::uint64_t> unit_id;
    static constexpr std::array kTexts{&QuantityEntry::name, &QuantityEntry::value};
};

struct QuantitySetEntry {
    std::uint32_t name = kNull;
    IdSpan quantities;
    static constexpr std::array kTexts{&QuantitySetEntry::name};
    static constexpr std::array kSpans{&QuantitySetEntry::quantities};
};

struct QuantityKind {
    std::string_view type;
    std::string_view label;
};

constexpr QuantityKind kQuantityKinds[] = {
    {"IFCQUANTITYLENGTH", "Length"}, {"IFCQUANTITYAREA", "Area"},     {"IFCQUANTITYVOLUME", "Volume"},
    {"IFCQUANTITYCOUNT", "Count"},   {"IFCQUANTITYWEIGHT", "Weight"}, {"IFCQUANTITYTIME", "Time"},
};
constexpr int kKindCount = 6;

// Index of the simple quantity type `type` names, or -1.
int quantity_kind(std::string_view type) {
    for (int k = 0; k < kKindCount; ++k) {
        if (type_is(type, kQuantityKinds[k].type)) return k;
    }
    return -1;
}

// What one part of the records holds, with text ids into its own pool.
struct QtoPart {
    TextPool pool;
    IdMap<QuantitySetEntry> sets;
    IdMap<QuantityEntry> quantities;
    // Most of these relationships carry property sets: their objects are
    // expanded only when the definition turns out to be a quantity set.
    std::vector<PendingLinks> links;
    std::vector<std::uint64_t> members;  // of every set

    QtoPart() : sets(1792), quantities(14336) { links.reserve(8192); }
    auto maps() { return std::tie(sets, quantities); }
};

void read_part(const EntityTable& table, std::size_t begin, std::size_t end, QtoPart& part) {
    TextPool& pool = part.pool;
    const std::uint32_t empty = pool.add_view("");
    Attributes record;
    std::vector<std::uint64_t> scratch;

    static constexpr TypeFilter kTypes{"IFCRELDEFINESBYPROPERTIES", "IFCELEMENTQUANTITY", "IFCQUANTITYLENGTH",
                                       "IFCQUANTITYAREA",           "IFCQUANTITYVOLUME",  "IFCQUANTITYCOUNT",
                                       "IFCQUANTITYWEIGHT",         "IFCQUANTITYTIME"};
    table.for_each_in(begin, end, kTypes, [&](std::uint64_t id, const EntityRecord& r) {
        // Simple quantities are 15 to 17 bytes long, the set 18 and the relation 25.
        const std::size_t len = r.type_length;
        if ((len < 15 || len > 18) && len != 25) return;
        const std::string_view type = table.type_of(r);
        if (len == 25) {
            if (!type_is(type, "IFCRELDEFINESBYPROPERTIES")) return;
            record.reset(table.entity(r).attributes);
            if (const auto pending = pending_links(record, 4, 5)) part.links.push_back(*pending);
        } else if (len == 18) {
            if (!type_is(type, "IFCELEMENTQUANTITY")) return;
            record.reset(table.entity(r).attributes);
            QuantitySetEntry entry;
            const auto name = record.at(2);
            entry.name = name ? pool_string(pool, *name).value_or(empty) : empty;
            entry.quantities = append_id_list(record.at(5), part.members, scratch);
            part.sets[id] = entry;
        } else {
            const int kind = quantity_kind(type);
            if (kind < 0) return;
            record.reset(table.entity(r).attributes);
            QuantityEntry entry;
            entry.kind = static_cast<std::uint8_t>(kind);
            entry.name = pool_string(pool, *record.at(0)).value_or(empty);
            entry.unit_id = record.ref(2);
            if (const auto value = record.number(3)) entry.value = pool_number(pool, *value);
            part.quantities[id] = entry;
        }
    });
}

}  // namespace

QtoColumns extract_element_quantities(const EntityTable& table, const GuidIndex& guids, const PartPlan& plan) {
    QtoColumns out;
    QtoPart all = read_merged<QtoPart>(table, plan, read_part);
    out.text = std::move(all.pool);
    TextPool& pool = out.text;
    const auto& sets = all.sets;
    const auto& quantities = all.quantities;
    const auto& links = all.links;
    const auto& set_members = all.members;
    std::uint32_t labels[kKindCount];
    for (int k = 0; k < kKindCount; ++k) labels[k] = pool.add_view(kQuantityKinds[k].label);

    GuidTexts guid_texts(table, guids, pool);
    std::vector<std::uint64_t> objects;
    for (const PendingLinks& link : links) {
        const QuantitySetEntry* set = sets.find(link.definition);
        if (!set) continue;
        related_objects(link.objects, objects);
        for (const std::uint64_t object : objects) {
            const std::uint32_t guid = guid_texts.of(object);
            if (guid == kNull) continue;
            for (std::uint32_t k = 0; k < set->quantities.count; ++k) {
                const QuantityEntry* q = quantities.find(set_members[set->quantities.first + k]);
                if (!q) continue;
                out.guid.push_back(guid);
                out.qto_name.push_back(set->name);
                out.quantity_name.push_back(q->name);
                out.value.push_back(q->value);
                out.quantity_type.push_back(labels[q->kind]);
                out.unit_step_id.push_back(q->unit_id);
            }
        }
    }
    return out;
}

}  // namespace quarnel
