#pragma once
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "extractors/common.hpp"
#include "extractors/object_links.hpp"
#include "extractors/property_values.hpp"
#include "extractors/record_slots.hpp"
#include "schema/names.hpp"

namespace quarnel {

// One set definition's rows: a span of the rows of the part that read it.
struct SetRows {
    std::uint32_t name = TextPool::null;
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    std::uint32_t part = 0;
    bool valid = false;  // false: the definition is no set of this kind
};

// The type name of an object's record in the schema's spelling, with what the
// schema says of it; names no schema has are written in display case.
class EntityTexts {
public:
    struct Found {
        std::uint32_t text;
        std::uint8_t flags;
    };

    EntityTexts(const EntityTable& table, TextPool& pool) : table_(table), pool_(pool) {}

    std::optional<Found> of(std::uint64_t object) {
        const std::uint32_t i = table_.index_of(object);
        if (i == EntityTable::npos) return std::nullopt;
        return at(i);
    }
    Found at(std::uint32_t record) {
        const std::string_view type = table_.type_of(table_.records()[record]);
        const auto name = names_(table_.type_tags()[record], type);
        auto known = texts_.find(type);
        if (known == texts_.end()) {
            const std::uint32_t text = name ? pool_.add_view(name->spelling) : pool_.add_copy(display_case(type));
            known = texts_.emplace(type, text).first;
        }
        return {known->second, name ? name->flags : std::uint8_t{0}};
    }
    // Whether the record's type has `flag`; most records are answered by their tag alone.
    bool has(std::uint32_t record, SchemaFlags flag) {
        const std::uint16_t tag = table_.type_tags()[record];
        if (!tag_may_have(tag, flag)) return false;
        const auto name = names_(tag, table_.type_of(table_.records()[record]));
        return name && (name->flags & flag);
    }

private:
    const EntityTable& table_;
    TextPool& pool_;
    SchemaNameCache names_;
    std::unordered_map<std::string_view, std::uint32_t> texts_;
};

// A set record's rows when its type is `set_type` (upper case): its name is the third
// attribute and `render` appends a row for each member of the list at `members`.
template <class Renderer, class Row>
SetRows render_members(Renderer& render, const Entity& e, std::string_view set_type, std::size_t members,
                       std::vector<Row>& rows) {
    SetRows s;
    if (!type_is(e.type, set_type)) return s;
    TextPool& pool = render.pool();
    Attributes record(e.attributes);
    s.valid = true;
    s.name = pool_string(pool, record.piece(2)).value_or(render.empty());
    s.first = static_cast<std::uint32_t>(rows.size());
    if (const auto list = record.list(members)) {
        for (const std::uint64_t m : reference_list(*list)) render.append(m, rows);
    }
    s.count = static_cast<std::uint32_t>(rows.size() - s.first);
    return s;
}

// Below this many sets a second thread costs the rendering more than it saves.
constexpr std::size_t kMinSetsPerPart = 20000;

// The rows of every object's sets, inherited ones included:
// - an object with a GlobalId gets the rows of the sets related to it, then
//   those of its type's sets (IfcTypeObject.HasPropertySets) that it does not
//   override: a row of a type's set is dropped when the object has a set of
//   the same name holding a property of the same name;
// - a type object gets the rows of its own sets.
// Every set is rendered once, however many objects share it, the sets split
// between threads: make_renderer(pool) makes one renderer per part and
// render_set(renderer, entity, rows) appends a set's rows (each with a
// top_name, the text an occurrence overrides by, and shift(offset) for the
// merge of the parts' texts into `pool`). reserve(n) is called once before the
// first emit with a bound on the rows; emit(guid, entity, set_name, row,
// source, type_guid) takes each row.
template <class Row, class MakeRenderer, class RenderSet, class Reserve, class Emit>
void join_definitions(const EntityTable& table, const GuidIndex& guids, ObjectLinks& links, TextPool& pool,
                      MakeRenderer&& make_renderer, RenderSet&& render_set, Reserve&& reserve, Emit&& emit) {
    const auto& records = table.records();
    EntityTexts entities(table, pool);

    // The sets of each type object (HasPropertySets), by record position.
    RecordSlots type_slot(records.size());  // index + 1 into type_sets
    std::vector<IdSpan> type_sets;
    std::vector<std::uint64_t> set_ids, scratch;
    const auto sets_of_type = [&](std::uint64_t type) -> IdSpan {
        const std::uint32_t position = table.index_of(type);
        if (position == EntityTable::npos) return {};
        if (const std::uint32_t known = type_slot[position]) return type_sets[known - 1];
        IdSpan span{set_ids.size(), 0};
        Attributes type_record(table.entity(records[position]).attributes);
        span = append_id_list(type_record.at(5), set_ids, scratch);
        type_sets.push_back(span);
        type_slot[position] = static_cast<std::uint32_t>(type_sets.size());
        return span;
    };
    std::vector<std::uint32_t> type_objects;  // record positions
    for (std::uint32_t r = 0; r < records.size(); ++r) {
        if (entities.has(r, kTypeObject) && table.is_live(r)) type_objects.push_back(r);
    }
    for (const std::uint32_t r : type_objects) sets_of_type(records[r].id);
    links.type_of.for_each([&](std::uint64_t, std::uint64_t type) { sets_of_type(type); });

    // Every set any object uses, by record position, each once and in file order.
    RecordSlots set_slot(records.size());  // index + 1 into sets
    std::vector<std::uint32_t> positions;
    const auto want = [&](std::uint64_t id) {
        const std::uint32_t position = table.index_of(id);
        if (position == EntityTable::npos || set_slot[position]) return;
        set_slot[position] = 1;
        positions.push_back(position);
    };
    for (const DefinitionLink& d : links.definitions) want(d.definition);
    for (const std::uint64_t id : set_ids) want(id);
    std::sort(positions.begin(), positions.end());
    for (std::size_t i = 0; i < positions.size(); ++i) set_slot[positions[i]] = static_cast<std::uint32_t>(i + 1);

    struct Part {
        TextPool pool;
        std::vector<Row> rows;
    };
    const std::size_t parts = part_count(positions.size(), kMinSetsPerPart);
    std::vector<Part> read(parts);
    std::vector<SetRows> sets(positions.size());
    run_in_parts(positions.size(), parts, [&](std::size_t k, std::size_t begin, std::size_t end) {
        Part& part = read[k];
        TextPool& part_pool = k == 0 ? pool : part.pool;
        part_pool.share_equal_texts();
        auto renderer = make_renderer(part_pool);
        for (std::size_t i = begin; i < end; ++i) {
            SetRows s = render_set(renderer, table.entity(records[positions[i]]), part.rows);
            s.part = static_cast<std::uint32_t>(k);
            sets[i] = s;
        }
    });
    const std::vector<std::uint32_t> offsets = merge_part_texts(pool, read);
    for (std::size_t k = 1; k < parts; ++k) {
        for (Row& row : read[k].rows) row.shift(offsets[k]);
    }
    for (SetRows& s : sets) s.name = shifted(s.name, offsets[s.part]);
    const auto set_of = [&](std::uint64_t id) -> const SetRows* {
        const std::uint32_t position = table.index_of(id);
        if (position == EntityTable::npos || !set_slot[position]) return nullptr;
        const SetRows& s = sets[set_slot[position] - 1];
        return s.valid ? &s : nullptr;
    };

    // A bound on the rows: a type's rows count for each of its occurrences,
    // overrides not taken off.
    {
        std::size_t bound = 0;
        const auto type_rows = [&](std::uint64_t type) {
            const IdSpan span = sets_of_type(type);
            std::size_t n = 0;
            for (std::uint32_t k = 0; k < span.count; ++k) {
                if (const SetRows* s = set_of(set_ids[span.first + k])) n += s->count;
            }
            return n;
        };
        for (const DefinitionLink& d : links.definitions) {
            if (const SetRows* s = set_of(d.definition)) bound += s->count;
        }
        links.type_of.for_each([&](std::uint64_t, std::uint64_t type) { bound += type_rows(type); });
        for (const std::uint32_t r : type_objects) bound += type_rows(records[r].id);
        reserve(bound);
    }

    GuidTexts guid_texts(table, guids, pool);
    // Set name and property of the object's own rows, by text: equal texts
    // read by different parts have different ids.
    std::vector<std::pair<std::string_view, std::string_view>> keys;
    const auto key = [&](const SetRows& s, const Row& row) { return std::pair(pool[s.name], pool[row.top_name]); };
    const auto emit_set = [&](const SetRows& s, std::uint32_t guid, std::uint32_t entity, ValueSource source,
                              std::uint32_t type_guid, bool collect, bool filter) {
        const std::vector<Row>& rows = read[s.part].rows;
        for (std::uint32_t i = s.first; i < s.first + s.count; ++i) {
            if (filter && std::binary_search(keys.begin(), keys.end(), key(s, rows[i]))) continue;
            emit(guid, entity, s.name, rows[i], source, type_guid);
            if (collect) keys.push_back(key(s, rows[i]));
        }
    };
    const auto emit_object = [&](std::uint64_t object, const DefinitionLink* defs, std::size_t n) {
        const auto entity = entities.of(object);
        // A type object's sets are its own HasPropertySets, read below.
        if (!entity || (entity->flags & kTypeObject)) return;
        const std::uint32_t guid = guid_texts.of(object);
        if (guid == kNull) return;
        const std::uint64_t* type = links.type_of.find(object);
        const IdSpan type_span = type ? sets_of_type(*type) : IdSpan{};
        keys.clear();
        for (std::size_t k = 0; k < n; ++k) {
            if (const SetRows* s = set_of(defs[k].definition)) {
                emit_set(*s, guid, entity->text, ValueSource::Occurrence, kNull, type_span.count > 0, false);
            }
        }
        if (type_span.count == 0) return;
        const std::uint32_t type_guid = guid_texts.of(*type);
        std::sort(keys.begin(), keys.end());
        for (std::uint32_t k = 0; k < type_span.count; ++k) {
            if (const SetRows* s = set_of(set_ids[type_span.first + k])) {
                emit_set(*s, guid, entity->text, ValueSource::Type, type_guid, false, !keys.empty());
            }
        }
    };

    // Objects with relationships of their own, each once with all of them.
    std::vector<DefinitionLink>& defs = links.definitions;
    std::stable_sort(defs.begin(), defs.end(),
                     [](const DefinitionLink& a, const DefinitionLink& b) { return a.object < b.object; });
    IdMap<bool> done(1024);
    for (std::size_t i = 0; i < defs.size();) {
        std::size_t j = i;
        while (j < defs.size() && defs[j].object == defs[i].object) ++j;
        emit_object(defs[i].object, &defs[i], j - i);
        if (links.type_of.contains(defs[i].object)) done[defs[i].object] = true;
        i = j;
    }
    // Objects whose every property comes from their type.
    links.type_of.for_each([&](std::uint64_t object, std::uint64_t) {
        if (!done.contains(object)) emit_object(object, nullptr, 0);
    });
    // Type objects, each with its own sets.
    for (const std::uint32_t r : type_objects) {
        const std::uint64_t type = records[r].id;
        const IdSpan span = sets_of_type(type);
        if (span.count == 0) continue;
        const std::uint32_t guid = guid_texts.of(type);
        if (guid == kNull) continue;
        const std::uint32_t entity = entities.at(r).text;
        for (std::uint32_t k = 0; k < span.count; ++k) {
            if (const SetRows* s = set_of(set_ids[span.first + k])) {
                emit_set(*s, guid, entity, ValueSource::Type, guid, false, false);
            }
        }
    }
}

}  // namespace quarnel
