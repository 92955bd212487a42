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
    const PredefinedSets* predefined = kind.predefined;
    const auto admits = [&](std::uint16_t tag) {
        return kTypes(tag) || tag_may_have(tag, kTypeObject) || (predefined && predefined->may_be(tag));
    };
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
        } else if (predefined && predefined->may_be(tags[position]) && predefined->find(type)) {
            record.reset(table.entity(r).attributes);
            JoinSet s;
            s.part = k;
            s.name = pool_string(pool, record.piece(2)).value_or(empty);
            s.members = {part.members.size(), 1};
            s.predefined = true;
            part.members.push_back(r.id);
            part.sets.push_back(s);
            part.set_positions.push_back(position);
        } else if (tag_may_have(tags[position], kTypeObject)) {
            const auto name = names(tags[position], type);
            if (name && (name->flags & kTypeObject)) part.type_objects.push_back(position);
        }
    });
}

}  // namespace

std::uint32_t MarkedPositions::number() {
    before_.resize(bits_.size());
    std::uint32_t n = 0;
    for (std::size_t w = 0; w < bits_.size(); ++w) {
        before_[w] = n;
        n += static_cast<std::uint32_t>(std::popcount(bits_[w]));
    }
    return n;
}

DefinitionSets::DefinitionSets(const EntityTable& table, TextPool& pool, SetKind kind, const PartPlan& plan)
    : plan_(plan), wanted_(table.records().size()) {
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
    const auto sets_of_type = [&](std::uint32_t position) -> IdSpan {
        if (position == EntityTable::npos) return {};
        if (const IdSpan* known = type_spans.find(position)) return *known;
        IdSpan span{type_sets.size(), 0};
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
        span.count = static_cast<std::uint32_t>(type_sets.size() - span.first);
        type_spans[position] = span;
        return span;
    };

    // Each object's type: the first relationship in file order.
    IdMap<std::uint64_t> type_of(1024);
    for (const RecordPart& part : parts) {
        for (const DefinitionLink& t : part.typed) {
            if (!type_of.contains(t.object)) type_of[t.object] = t.definition;
        }
    }

    // The objects with sets of their own, each once with all of them in file
    // order; the objects in the order they first appear, so that their sets
    // are met about in file order when the rows are written.
    struct Group {
        std::uint64_t object;
        std::uint32_t first = 0, count = 0;
    };
    std::vector<Group> groups;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> grouped;  // (group, set)
    {
        IdMap<std::uint32_t> group_of(1024);  // index + 1 into groups
        for (RecordPart& part : parts) {
            for (const DefinitionLink& l : part.links) {
                const std::uint32_t s = set_of(l.definition);
                if (s == 0) continue;
                std::uint32_t& g = group_of[l.object];
                if (g == 0) {
                    groups.push_back({l.object});
                    g = static_cast<std::uint32_t>(groups.size());
                }
                ++groups[g - 1].count;
                grouped.emplace_back(g - 1, s - 1);
            }
            part.links = {};
        }
    }
    std::uint32_t next = 0;
    for (Group& g : groups) g.first = std::exchange(next, next + g.count);
    own_sets.resize(grouped.size());
    for (Group& g : groups) g.count = 0;
    for (const auto& [g, s] : grouped) {
        own_sets[groups[g].first + groups[g].count++] = s;
        sets[s].used = true;
    }
    grouped = {};

    EntityTexts entities(table, pool);
    const auto add_object = [&](std::uint32_t position, std::uint32_t own_first, std::uint32_t own_count,
                                const std::uint64_t* type) {
        JoinObject o;
        o.position = position;
        o.own_first = own_first;
        o.own_count = own_count;
        if (type) {
            o.type_position = table.index_of(*type);
            const IdSpan span = sets_of_type(o.type_position);
            o.type_first = static_cast<std::uint32_t>(span.first);
            o.type_count = span.count;
        }
        if (o.own_count + o.type_count > 0) objects.push_back(o);
    };
    IdMap<bool> with_sets(1024);
    for (const Group& g : groups) {
        const std::uint32_t position = table.index_of(g.object);
        const std::uint64_t* type = type_of.find(g.object);
        if (type) with_sets[g.object] = true;
        // A type object's sets are its own HasPropertySets, read below.
        if (position != EntityTable::npos && !entities.has(position, kTypeObject)) {
            add_object(position, g.first, g.count, type);
        }
    }
    // Objects whose every set comes from their type.
    type_of.for_each([&](std::uint64_t object, std::uint64_t type) {
        if (with_sets.contains(object)) return;
        const std::uint32_t position = table.index_of(object);
        if (position != EntityTable::npos && !entities.has(position, kTypeObject)) {
            add_object(position, 0, 0, &type);
        }
    });
    // Type objects, each with its own sets.
    for (const RecordPart& part : parts) {
        for (const std::uint32_t position : part.type_objects) {
            const std::uint64_t id = records[position].id;
            add_object(position, 0, 0, &id);
        }
    }
    mark_members(table, set_slot);
}

void DefinitionSets::mark_members(const EntityTable& table, const RecordSlots& set_slot) {
    // The members of the sets used, by record position; members that are no
    // record or are sets themselves render nothing.
    for (const JoinSet& s : sets) {
        if (!s.used) continue;
        std::vector<std::uint64_t>& ids = members[s.part];
        for (std::uint64_t m = s.members.first; m < s.members.first + s.members.count; ++m) {
            const std::uint32_t position = table.index_of(ids[m]);
            if (position == EntityTable::npos || (set_slot[position] && !s.predefined)) {
                ids[m] = kNoMember;
                continue;
            }
            wanted_.mark(position);
            ids[m] = position;
        }
    }
    wanted.reserve(wanted_.number());
    wanted_.for_each(0, wanted_.words(), [&](std::uint32_t position, std::uint32_t) { wanted.push_back(position); });
}

void DefinitionSets::finish(const std::vector<MemberRows>& rendered, const EntityTable& table, const GuidIndex& guids,
                            TextPool& pool) {
    for (JoinSet& s : sets) {
        if (!s.used) continue;
        std::vector<std::uint64_t>& ids = members[s.part];
        for (std::uint64_t m = s.members.first; m < s.members.first + s.members.count; ++m) {
            if (ids[m] == kNoMember) continue;
            ids[m] = wanted_.rank(static_cast<std::uint32_t>(ids[m]));
            s.rows += rendered[ids[m]].count;
        }
    }
    // Sets without rows (empty ones, predefined ones with every attribute unset) change
    // nothing: an object whose type's sets are all such needs no overriding,
    // and one without any row needs no texts.
    const auto rows_in = [&](const std::vector<std::uint32_t>& list, std::uint32_t first, std::uint32_t count) {
        std::uint64_t n = 0;
        for (std::uint32_t k = 0; k < count; ++k) n += sets[list[first + k]].rows;
        return n;
    };
    std::erase_if(objects, [&](JoinObject& o) {
        if (o.type_count > 0 && rows_in(type_sets, o.type_first, o.type_count) == 0) o.type_count = 0;
        return o.type_count == 0 && rows_in(own_sets, o.own_first, o.own_count) == 0;
    });

    // The objects' GlobalIds and type names, and their types' GlobalIds, in
    // parts in file order, letting go of the pages behind: asked for in the
    // objects' order they would pull every page of the file back in. The
    // GlobalIds are copied, so that the pool needs neither the file, the
    // table nor the GuidIndex once the join is done.
    const auto& records = table.records();
    MarkedPositions marked(records.size());
    for (const JoinObject& o : objects) {
        marked.mark(o.position);
        if (o.type_count > 0 && o.type_position != EntityTable::npos) marked.mark(o.type_position);
    }
    struct Texts {
        std::uint32_t guid, entity;
    };
    struct Part {
        TextPool pool;
        std::size_t begin = 0, end = 0;
    };
    std::vector<Texts> texts(marked.number());
    std::vector<Part> parts(plan_.record_parts(records.size()));
    run_in_parts(marked.words(), parts.size(), [&](std::size_t k, std::size_t begin, std::size_t end) {
        TextPool& part_pool = k == 0 ? pool : parts[k].pool;
        part_pool.share_equal_texts();
        EntityTexts entities(table, part_pool);
        const std::size_t from = records.empty() ? 0 : records[std::min(begin * 64, records.size() - 1)].type_offset;
        ResidentTrail trail(table.file(), from);
        bool first = true;
        marked.for_each(begin, end, [&](std::uint32_t position, std::uint32_t rank) {
            trail.at(records[position].type_offset);
            const auto guid = guids.guid_at(position);
            texts[rank] = {guid ? part_pool.add_copy(*guid) : TextPool::null, entities.at(position).text};
            if (std::exchange(first, false)) parts[k].begin = rank;
            parts[k].end = rank + 1;
        });
    });
    const std::vector<std::uint32_t> offsets = merge_part_texts(pool, parts);
    for (std::size_t k = 1; k < parts.size(); ++k) {
        for (std::size_t i = parts[k].begin; i < parts[k].end; ++i) {
            texts[i] = {shifted(texts[i].guid, offsets[k]), shifted(texts[i].entity, offsets[k])};
        }
    }
    std::erase_if(objects, [&](JoinObject& o) {
        const Texts& t = texts[marked.rank(o.position)];
        o.guid = t.guid;
        o.entity = t.entity;
        const bool typed = o.type_count > 0 && o.type_position != EntityTable::npos;
        o.type_guid = typed ? texts[marked.rank(o.type_position)].guid : TextPool::null;
        return o.guid == TextPool::null;
    });
}

}  // namespace quarnel
