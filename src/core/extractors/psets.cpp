#include "extractors/psets.hpp"

#include "extractors/common.hpp"
#include "extractors/record_slots.hpp"
#include "extractors/value_text.hpp"
#include "step/flat_map.hpp"

#include <array>
#include <vector>

namespace quarnel {
namespace {

struct PropertyEntry {
    std::uint32_t name = kNull, value = kNull, value_type = kNull;
};

struct PropertySetEntry {
    std::uint32_t name = kNull;
    std::uint32_t id_count = 0;
    std::uint64_t first_id = 0;  // into its part's member list, which stays with the part
    static constexpr std::array kTexts{&PropertySetEntry::name};
};

// What stands at each record position (RecordSlots): a set or a property,
// with its index + 1 in the part that read the record, properties marked by
// kPropertySlot; 0 for anything else. A part holds fewer than 2^31 sets or
// properties: each needs a record of its own, and positions are 32-bit.
constexpr std::uint32_t kPropertySlot = 0x80000000u;

// What one part of the records holds: its texts, its sets and properties (in
// record order) with ids into those texts, and its relationships, in file order.
struct PsetPart {
    TextPool pool;
    std::size_t begin = 0;  // position of the part's first record
    std::vector<PropertySetEntry> sets;
    std::vector<PropertyEntry> properties;
    std::vector<DefinitionLink> links;
    std::vector<std::uint64_t> set_members;

    PsetPart() {
        sets.reserve(3584);
        properties.reserve(14336);
        links.reserve(16384);
    }
};

void read_part(const EntityTable& table, std::size_t begin, std::size_t end, RecordSlots& slots,
               PsetPart& part) {
    part.begin = begin;
    const EntityRecord* first = table.records().data();
    TextPool& pool = part.pool;
    ValueRenderer renderer(pool, ValueRenderer::TypeSpelling::Display);
    const std::uint32_t empty = pool.add_view("");
    Attributes record;
    std::vector<std::uint64_t> scratch;

    static constexpr TypeFilter kTypes{"IFCRELDEFINESBYPROPERTIES", "IFCPROPERTYSINGLEVALUE", "IFCPROPERTYSET"};
    table.for_each_in(begin, end, kTypes, [&](std::uint64_t, const EntityRecord& r) {
        const Entity e = table.entity(r);
        const auto position = static_cast<std::uint32_t>(&r - first);
        if (type_is(e.type, "IFCRELDEFINESBYPROPERTIES")) {
            record.reset(e.attributes);
            append_links(record, 4, 5, part.links, scratch);
        } else if (type_is(e.type, "IFCPROPERTYSINGLEVALUE")) {
            record.reset(e.attributes);
            PropertyEntry entry;
            entry.name = pool_string(pool, *record.at(0)).value_or(empty);
            if (const auto nominal = record.at(2)) {
                const RenderedValue v = renderer.value(*nominal);
                entry.value = v.value;
                entry.value_type = v.value_type;
            }
            slots[position] = kPropertySlot | static_cast<std::uint32_t>(part.properties.size() + 1);
            part.properties.push_back(entry);
        } else if (type_is(e.type, "IFCPROPERTYSET")) {
            record.reset(e.attributes);
            PropertySetEntry entry;
            entry.name = pool_string(pool, record.piece(2)).value_or(empty);
            const IdSpan members = append_id_list(record.at(4), part.set_members, scratch);
            entry.first_id = members.first;
            entry.id_count = members.count;
            slots[position] = static_cast<std::uint32_t>(part.sets.size() + 1);
            part.sets.push_back(entry);
        }
    });
}

// The parts as read, their texts moved into one pool. A set or property
// stays in the part that read it, with that part's text ids (renumbered by
// `offsets`): merging the parts would copy every entry while both copies are
// alive.
class ReadParts {
public:
    ReadParts(const EntityTable& table, const RecordSlots& slots, std::vector<PsetPart>& parts, TextPool& pool)
        : table_(table), slots_(slots), parts_(parts), offsets_(merge_part_texts(pool, parts)) {
        std::size_t sets = 0, members = 0;
        for (const PsetPart& part : parts_) {
            links += part.links.size();
            sets += part.sets.size();
            members += part.set_members.size();
        }
        // A bound on the rows of a link, from the sets as read (each link names one set):
        // columns reserved for it are not copied as they grow.
        rows_per_link = sets == 0 ? 1 : (members + members / 4) / sets + 1;
    }

    // The set `id` with its texts in the shared pool, and its part's member ids.
    std::optional<PropertySetEntry> set(std::uint64_t id, const std::uint64_t*& members) const {
        std::uint32_t index = 0;
        PartOffsets to;
        const PsetPart* part = find(id, index, to);
        if (!part || (index & kPropertySlot)) return std::nullopt;
        members = part->set_members.data();
        return moved_entry(part->sets[index - 1], to);
    }
    // The property `id` with its part's text ids, which `offset` renumbers into the
    // shared pool. Runs once per row: no entry is copied.
    const PropertyEntry* property(std::uint64_t id, std::uint32_t& offset) const {
        std::uint32_t index = 0;
        PartOffsets to;
        const PsetPart* part = find(id, index, to);
        if (!part || !(index & kPropertySlot)) return nullptr;
        offset = to.text;
        return &part->properties[(index & ~kPropertySlot) - 1];
    }
    // The i-th relationship link, in file order.
    const DefinitionLink& link(std::size_t i, std::size_t& part, std::size_t& first) const {
        while (i - first >= parts_[part].links.size()) first += parts_[part++].links.size();
        return parts_[part].links[i - first];
    }

    std::size_t links = 0;
    std::size_t rows_per_link = 1;

private:
    const EntityTable& table_;
    const RecordSlots& slots_;
    std::vector<PsetPart>& parts_;
    std::vector<std::uint32_t> offsets_;

    // The part that read the live record of `id`, with the slot found there.
    const PsetPart* find(std::uint64_t id, std::uint32_t& index, PartOffsets& to) const {
        const std::uint32_t position = table_.index_of(id);
        if (position == EntityTable::npos) return nullptr;
        index = slots_[position];
        if (index == 0) return nullptr;
        std::size_t k = parts_.size() - 1;
        while (position < parts_[k].begin) --k;
        to.text = offsets_[k];
        return &parts_[k];
    }
};

// The rows of a run of links, in columns of their own.
struct PsetJoinPart {
    TextColumn guid, pset_name, prop_name, value, value_type;
};

// A link whose set and GlobalId are found, its rows not yet written.
struct FoundLink {
    PropertySetEntry set;
    const std::uint64_t* members;
    std::uint32_t guid;
};

void join_part(const GuidTexts& guid_texts, const ReadParts& read, std::size_t begin, std::size_t end,
               std::size_t expected, PsetJoinPart& out) {
    for (TextColumn* c : {&out.guid, &out.pset_name, &out.prop_name, &out.value, &out.value_type}) c->reserve(expected);
    // Links are taken a block at a time: their lookups, each a chain of reads far
    // apart in memory, are then independent of one another and overlap.
    constexpr std::size_t kBlock = 32;
    std::array<FoundLink, kBlock> found;
    std::size_t part = 0, first = 0;
    for (std::size_t at = begin; at < end; at += kBlock) {
        std::size_t count = 0;
        for (std::size_t i = at; i < std::min(end, at + kBlock); ++i) {
            const DefinitionLink& link = read.link(i, part, first);
            FoundLink& f = found[count];
            const auto set = read.set(link.definition, f.members);
            if (!set) continue;
            f.set = *set;
            f.guid = guid_texts.known(link.object);
            if (f.guid != kNull) ++count;
        }
        for (std::size_t j = 0; j < count; ++j) {
            const FoundLink& f = found[j];
            for (std::uint32_t k = 0; k < f.set.id_count; ++k) {
                std::uint32_t offset = 0;
                const PropertyEntry* prop = read.property(f.members[f.set.first_id + k], offset);
                if (!prop) continue;
                out.guid.push_back(f.guid);
                out.pset_name.push_back(f.set.name);
                out.prop_name.push_back(shifted(prop->name, offset));
                out.value.push_back(shifted(prop->value, offset));
                out.value_type.push_back(shifted(prop->value_type, offset));
            }
        }
    }
}

}  // namespace

PsetColumns extract_property_sets(const EntityTable& table, const GuidIndex& guids, const PartPlan& plan) {
    PsetColumns out;
    RecordSlots slots(table.records().size());
    std::vector<PsetPart> read = read_parts<PsetPart>(
        table, plan, [&](const EntityTable& t, std::size_t begin, std::size_t end, PsetPart& part) {
            read_part(t, begin, end, slots, part);
        });
    out.text = std::move(read[0].pool);
    TextPool& pool = out.text;
    const ReadParts all(table, slots, read, pool);

    // The join in parts too, each part's rows in its own columns, kept end
    // to end in link order. The GlobalIds are read first, in file order.
    GuidTexts guid_texts(table, guids, pool);
    guid_texts.read_ahead([&](auto&& want) {
        std::size_t part = 0, first = 0;
        for (std::size_t i = 0; i < all.links; ++i) want(all.link(i, part, first).object);
    });
    const std::size_t join_parts = plan.link_parts(all.links);
    std::vector<PsetJoinPart> joined(join_parts);
    run_in_parts(all.links, join_parts, [&](std::size_t k, std::size_t begin, std::size_t end) {
        join_part(guid_texts, all, begin, end, (end - begin) * all.rows_per_link, joined[k]);
    });
    for (PsetJoinPart& j : joined) {
        out.guid.parts.push_back(std::move(j.guid));
        out.pset_name.parts.push_back(std::move(j.pset_name));
        out.prop_name.parts.push_back(std::move(j.prop_name));
        out.value.parts.push_back(std::move(j.value));
        out.value_type.parts.push_back(std::move(j.value_type));
    }
    return out;
}

}  // namespace quarnel
