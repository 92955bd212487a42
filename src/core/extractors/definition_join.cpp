#include "extractors/definition_join.hpp"

#include <bit>

#include "step/type_filter.hpp"

namespace quarnel {
namespace {

// What one part of the records holds: its sets of the kind (with their
// member ids and record positions), its relationships in file order and the
// positions of its type objects.
struct RecordPart {
    TextPool pool;
    std::vector<JoinSet> sets;
    std::vector<std::uint32_t> set_positions;
    std::vector<std::uint64_t> members;
    std::vector<DefinitionLink> links;  // IfcRelDefinesByProperties: (object, definition)
    std::vector<DefinitionLink> typed;  // IfcRelDefinesByType: (object, type)
    std::vector<std::uint32_t> type_objects;
};

void read_records(const EntityTable& table, SetKind kind, std::size_t begin, std::size_t end, std::uint32_t k,
                  TextPool& pool, RecordPart& part) {
    static constexpr TypeFilter kTypes{"IFCRELDEFINESBYPROPERTIES", "IFCRELDEFINESBYTYPE", "IFCPROPERTYSET",
                                       "IFCELEMENTQUANTITY"};
    const EntityRecord* first = table.records().data();
    const std::uint16_t* tags = table.type_tags().data();
    SchemaNameCache names;
    Attributes record;
    std::vector<std::uint64_t> objects, definitions, scratch;
    const std::uint32_t empty = pool.add_view("");
    const auto admits = [](std::uint16_t tag) { return kTypes(tag) || tag_may_have(tag, kTypeObject); };
    table.for_each_in(begin, end, admits, [&](std::uint64_t, const EntityRecord& r) {
        const auto position = static_cast<std::uint32_t>(&r - first);
        const std::string_view type = table.type_of(r);
        // Every relationship read here relates attribute 4 to attribute 5.
        if (type_is(type, "IFCRELDEFINESBYPROPERTIES")) {
            record.reset(table.entity(r).attributes);
            if (!record.has(6)) return;
            // The relating side may be a set of definitions as well as one.
            related_objects(*record.at(5), definitions);
            if (definitions.empty()) return;
            related_objects(*record.at(4), objects);
            for (const std::uint64_t o : objects) {
                for (const std::uint64_t d : definitions) part.links.push_back({o, d});
            }
        } else if (type_is(type, "IFCRELDEFINESBYTYPE")) {
            record.reset(table.entity(r).attributes);
            if (!record.has(6)) return;
            const auto type_object = value::ref(*record.at(5));
            if (!type_object) return;
            related_objects(*record.at(4), objects);
            for (const std::uint64_t o : objects) part.typed.push_back({o, *type_object});
        } else if (type_is(type, kind.set_type)) {
            record.reset(table.entity(r).attributes);
            JoinSet s;
            s.part = k;
            s.name = pool_string(pool, record.piece(2)).value_or(empty);
            s.members.first = part.members.size();
            if (const auto list = record.list(kind.members)) {
                reference_list(*list, scratch);
                part.members.insert(part.members.end(), scratch.begin(), scratch.end());
                s.members.count = static_cast<std::uint32_t>(scratch.size());
            }
            part.sets.push_back(s);
            part.set_positions.push_back(position);
        } else if (tag_may_have(tags[position], kTypeObject)) {
            const auto name = names(tags[position], type);
            if (name && (name->flags & kTypeObject)) part.type_objects.push_back(position);
        }
    });
}

}  // namespace

DefinitionSets::DefinitionSets(const EntityTable& table, TextPool& pool, SetKind kind, const PartPlan& plan) {
    const auto& records = table.records();
    std::vector<RecordPart> parts(plan.record_parts(records.size()));
    run_in_parts(records.size(), parts.size(), [&](std::size_t k, std::size_t begin, std::size_t end) {
        TextPool& part_pool = k == 0 ? pool : parts[k].pool;
        part_pool.share_equal_texts();
        read_records(table, kind, begin, end, static_cast<std::uint32_t>(k), part_pool, parts[k]);
    });
    const std::vector<std::uint32_t> offsets = merge_part_texts(pool, parts);

    // The sets by record position: index + 1 into `sets`.
    RecordSlots set_slot(records.size());
    for (std::size_t k = 0; k < parts.size(); ++k) {
        for (std::size_t i = 0; i < parts[k].sets.size(); ++i) {
            JoinSet s = parts[k].sets[i];
            s.name = shifted(s.name, offsets[k]);
            sets.push_back(s);
            set_slot[parts[k].set_positions[i]] = static_cast<std::uint32_t>(sets.size());
        }
        members.push_back(std::move(parts[k].members));
    }
    const auto set_of = [&](std::uint64_t id) -> std::uint32_t {  // index + 1; 0 for none
        const std::uint32_t position = table.index_of(id);
        return position == EntityTable::npos ? 0 : set_slot[position];
    };

    // The sets of each type object (HasPropertySets), by id: a span of type_sets.
    IdMap<IdSpan> type_spans(64);
    std::vector<std::uint64_t> scratch;
    const auto sets_of_type = [&](std::uint64_t type) -> IdSpan {
        if (const IdSpan* known = type_spans.find(type)) return *known;
        IdSpan span{type_sets.size(), 0};
        const std::uint32_t position = table.index_of(type);
        if (position != EntityTable::npos) {
            Attributes type_record(table.entity(records[position]).attributes);
            if (const auto list = type_record.list(5)) {
                reference_list(*list, scratch);
                for (const std::uint64_t id : scratch) {
                    if (const std::uint32_t s = set_of(id)) {
                        type_sets.push_back(s - 1);
                        sets[s - 1].used = true;
                    }
                }
            }
        }
        span.count = static_cast<std::uint32_t>(type_sets.size() - span.first);
        type_spans[type] = span;
        return span;
    };

    // Each object's type: the first relationship in file order.
    IdMap<std::uint64_t> type_of(1024);
    for (const RecordPart& part : parts) {
        for (const DefinitionLink& t : part.typed) {
            if (!type_of.contains(t.object)) type_of[t.object] = t.definition;
        }
    }

    // The objects with sets of their own, each once with all of them in file order.
    std::vector<DefinitionLink> links;
    for (RecordPart& part : parts) {
        for (const DefinitionLink& l : part.links) {
            if (const std::uint32_t s = set_of(l.definition)) links.push_back({l.object, s - 1});
        }
        part.links = {};
    }
    std::stable_sort(links.begin(), links.end(),
                     [](const DefinitionLink& a, const DefinitionLink& b) { return a.object < b.object; });
    EntityTexts entities(table, pool);
    const auto add_object = [&](std::uint64_t id, std::uint32_t position, const DefinitionLink* own, std::size_t n,
                                const std::uint64_t* type) {
        JoinObject o;
        o.id = id;
        o.entity = entities.at(position).text;
        o.own_first = static_cast<std::uint32_t>(own_sets.size());
        o.own_count = static_cast<std::uint32_t>(n);
        for (std::size_t k = 0; k < n; ++k) {
            own_sets.push_back(static_cast<std::uint32_t>(own[k].definition));
            sets[own[k].definition].used = true;
        }
        if (type) {
            const IdSpan span = sets_of_type(*type);
            o.type = *type;
            o.type_first = static_cast<std::uint32_t>(span.first);
            o.type_count = span.count;
        }
        if (o.own_count + o.type_count > 0) objects.push_back(o);
    };
    IdMap<bool> with_sets(1024);
    for (std::size_t i = 0; i < links.size();) {
        std::size_t j = i;
        while (j < links.size() && links[j].object == links[i].object) ++j;
        const std::uint64_t object = links[i].object;
        const std::uint32_t position = table.index_of(object);
        const std::uint64_t* type = type_of.find(object);
        if (type) with_sets[object] = true;
        // A type object's sets are its own HasPropertySets, read below.
        if (position != EntityTable::npos && !(entities.at(position).flags & kTypeObject)) {
            add_object(object, position, &links[i], j - i, type);
        }
        i = j;
    }
    // Objects whose every set comes from their type.
    type_of.for_each([&](std::uint64_t object, std::uint64_t type) {
        if (with_sets.contains(object)) return;
        const std::uint32_t position = table.index_of(object);
        if (position != EntityTable::npos && !(entities.at(position).flags & kTypeObject)) {
            add_object(object, position, nullptr, 0, &type);
        }
    });
    // Type objects, each with its own sets.
    for (const RecordPart& part : parts) {
        for (const std::uint32_t position : part.type_objects) {
            const std::uint64_t id = records[position].id;
            add_object(id, position, nullptr, 0, &id);
        }
    }
    mark_members(table, set_slot);
}

void DefinitionSets::mark_members(const EntityTable& table, const RecordSlots& set_slot) {
    // The members of the sets used, by record position; members that are no
    // record or are sets themselves render nothing.
    wanted_bits_.assign((table.records().size() + 63) / 64, 0);
    for (const JoinSet& s : sets) {
        if (!s.used) continue;
        std::vector<std::uint64_t>& ids = members[s.part];
        for (std::uint64_t m = s.members.first; m < s.members.first + s.members.count; ++m) {
            const std::uint32_t position = table.index_of(ids[m]);
            if (position == EntityTable::npos || set_slot[position]) {
                ids[m] = kNoMember;
                continue;
            }
            wanted_bits_[position / 64] |= std::uint64_t{1} << (position % 64);
            ids[m] = position;
        }
    }
    ranks_before_.resize(wanted_bits_.size());
    std::uint32_t n = 0;
    for (std::size_t w = 0; w < wanted_bits_.size(); ++w) {
        ranks_before_[w] = n;
        n += static_cast<std::uint32_t>(std::popcount(wanted_bits_[w]));
    }
    wanted.reserve(n);
    for (std::size_t w = 0; w < wanted_bits_.size(); ++w) {
        for (std::uint64_t bits = wanted_bits_[w]; bits; bits &= bits - 1) {
            wanted.push_back(static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(bits))));
        }
    }
}

void DefinitionSets::finish(const std::vector<MemberRows>& rendered, const EntityTable& table, const GuidIndex& guids,
                            TextPool& pool) {
    for (JoinSet& s : sets) {
        if (!s.used) continue;
        std::vector<std::uint64_t>& ids = members[s.part];
        for (std::uint64_t m = s.members.first; m < s.members.first + s.members.count; ++m) {
            if (ids[m] == kNoMember) continue;
            const auto position = static_cast<std::uint32_t>(ids[m]);
            const std::uint64_t below = wanted_bits_[position / 64] & ((std::uint64_t{1} << (position % 64)) - 1);
            ids[m] = ranks_before_[position / 64] + static_cast<std::uint32_t>(std::popcount(below));
            s.rows += rendered[ids[m]].count;
        }
    }
    GuidTexts guid_texts(table, guids, pool);
    guid_texts.read_ahead([&](auto&& want) {
        for (const JoinObject& o : objects) {
            want(o.id);
            if (o.type_count > 0) want(o.type);
        }
    });
    std::erase_if(objects, [&](JoinObject& o) {
        o.guid = guid_texts.known(o.id);
        o.type_guid = o.type_count > 0 ? guid_texts.known(o.type) : TextPool::null;
        return o.guid == TextPool::null;
    });
}

}  // namespace quarnel
