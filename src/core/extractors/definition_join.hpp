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
#include "extractors/schema_names.hpp"

namespace quarnel {

// One set definition's rows: a span of the caller's row vector.
struct SetRows {
    std::uint32_t name = TextPool::null;
    std::uint32_t first = 0;
    std::uint32_t count = 0;
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
    std::uint8_t flags_at(std::uint32_t record) {
        const auto name = names_(table_.type_tags()[record], table_.type_of(table_.records()[record]));
        return name ? name->flags : 0;
    }

private:
    const EntityTable& table_;
    TextPool& pool_;
    SchemaNameCache names_;
    std::unordered_map<std::string_view, std::uint32_t> texts_;
};

// The rows of every object's sets, inherited ones included:
// - an object with a GlobalId gets the rows of the sets related to it, then
//   those of its type's sets (IfcTypeObject.HasPropertySets) that it does not
//   override: a row of a type's set is dropped when the object has a set of
//   the same name holding a property of the same name;
// - a type object gets the rows of its own sets.
// set_of(definition) -> SetRows (the caller keeps them), top_name(row) -> the
// text a row overrides by, emit(guid, entity, set_name, row, source, type_guid).
template <class SetOf, class TopName, class Emit>
void join_definitions(const EntityTable& table, const GuidIndex& guids, ObjectLinks& links, TextPool& pool,
                      SetOf&& set_of, TopName&& top_name, Emit&& emit) {
    constexpr std::uint32_t kNull = TextPool::null;
    GuidTexts guid_texts(table, guids, pool);
    EntityTexts entities(table, pool);
    IdMap<IdSpan> type_sets(256);
    std::vector<std::uint64_t> set_ids, scratch;
    const auto sets_of_type = [&](std::uint64_t type) {
        if (const IdSpan* known = type_sets.find(type)) return *known;
        IdSpan span{set_ids.size(), 0};
        if (const auto e = table.get(type)) {
            if (const auto sets = attribute_at(e->attributes, 5)) span = append_id_list(*sets, set_ids, scratch);
        }
        type_sets[type] = span;
        return span;
    };

    std::vector<std::uint64_t> keys;  // set name and property of the object's own rows
    const auto key = [](std::uint32_t set, std::uint32_t prop) { return std::uint64_t{set} << 32 | prop; };
    const auto emit_object = [&](std::uint64_t object, const DefinitionLink* defs, std::size_t n) {
        const auto entity = entities.of(object);
        // A type object's sets are its own HasPropertySets, read below.
        if (!entity || (entity->flags & kTypeObject)) return;
        const std::uint32_t guid = guid_texts.of(object);
        if (guid == kNull) return;
        keys.clear();
        for (std::size_t k = 0; k < n; ++k) {
            const SetRows s = set_of(defs[k].definition);
            if (!s.valid) continue;
            for (std::uint32_t i = s.first; i < s.first + s.count; ++i) {
                emit(guid, entity->text, s.name, i, ValueSource::Occurrence, kNull);
                keys.push_back(key(s.name, top_name(i)));
            }
        }
        const std::uint64_t* type = links.type_of.find(object);
        if (!type) return;
        const IdSpan sets = sets_of_type(*type);
        if (sets.count == 0) return;
        const std::uint32_t type_guid = guid_texts.of(*type);
        std::sort(keys.begin(), keys.end());
        for (std::uint32_t k = 0; k < sets.count; ++k) {
            const SetRows s = set_of(set_ids[sets.first + k]);
            if (!s.valid) continue;
            for (std::uint32_t i = s.first; i < s.first + s.count; ++i) {
                if (std::binary_search(keys.begin(), keys.end(), key(s.name, top_name(i)))) continue;
                emit(guid, entity->text, s.name, i, ValueSource::Type, type_guid);
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
    const auto& records = table.records();
    for (std::uint32_t r = 0; r < records.size(); ++r) {
        if (!(entities.flags_at(r) & kTypeObject) || !table.is_live(r)) continue;
        const std::uint64_t type = records[r].id;
        const IdSpan sets = sets_of_type(type);
        if (sets.count == 0) continue;
        const std::uint32_t guid = guid_texts.of(type);
        if (guid == kNull) continue;
        const std::uint32_t entity = entities.at(r).text;
        for (std::uint32_t k = 0; k < sets.count; ++k) {
            const SetRows s = set_of(set_ids[sets.first + k]);
            if (!s.valid) continue;
            for (std::uint32_t i = s.first; i < s.first + s.count; ++i) emit(guid, entity, s.name, i, ValueSource::Type, guid);
        }
    }
}

}  // namespace quarnel
