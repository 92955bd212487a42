#pragma once
#include <algorithm>
#include <bit>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "extractors/common.hpp"
#include "extractors/parts.hpp"
#include "extractors/predefined_sets.hpp"
#include "extractors/property_values.hpp"
#include "extractors/record_slots.hpp"
#include "schema/names.hpp"
#include "step/resident.hpp"

namespace quarnel {

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

// The sets a join reads: records of `set_type` (upper case), named by their
// third attribute, their members the list at `members`; and, when given, the
// predefined property sets, each its own single member.
struct SetKind {
    std::string_view set_type;
    std::size_t members;
    const PredefinedSets* predefined = nullptr;
};

// A set of that kind and its members, each the rank of a rendered member
// (DefinitionSets::kNoMember for one that can render nothing).
struct JoinSet {
    std::uint32_t name = TextPool::null;
    std::uint32_t part = 0;  // whose member list holds its members
    IdSpan members;
    std::uint32_t rows = 0;  // once its members are rendered
    bool used = false;
    bool predefined = false;  // its one member is itself
};

// An object with sets, and where its rows go.
struct JoinObject {
    std::uint32_t position = 0;                     // of its record
    std::uint32_t type_position = EntityTable::npos;  // the type object whose sets it inherits (itself for one)
    std::uint32_t guid = TextPool::null, entity = TextPool::null, type_guid = TextPool::null;
    std::uint32_t own_first = 0, own_count = 0;    // its own sets, in DefinitionSets::own_sets
    std::uint32_t type_first = 0, type_count = 0;  // its type's sets, in DefinitionSets::type_sets
    std::uint64_t row = 0;                         // its first row
};

// The rows one rendered member stands for: a run of the rows of the part
// that rendered it.
struct MemberRows {
    std::uint32_t part = 0;
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};

// Record positions, marked in any order, then numbered in file order.
class MarkedPositions {
public:
    explicit MarkedPositions(std::size_t records = 0) : bits_((records + 63) / 64, 0) {}

    void mark(std::uint32_t position) { bits_[position / 64] |= std::uint64_t{1} << (position % 64); }
    // Numbers the positions marked; how many there are.
    std::uint32_t number();
    // The number of a marked position: how many marked ones come before it.
    std::uint32_t rank(std::uint32_t position) const {
        const std::uint64_t below = bits_[position / 64] & ((std::uint64_t{1} << (position % 64)) - 1);
        return before_[position / 64] + static_cast<std::uint32_t>(std::popcount(below));
    }
    // f(position, rank) for the marked positions in the words [begin, end)
    // of 64 positions each, in file order.
    template <class F>
    void for_each(std::size_t begin, std::size_t end, F&& f) const {
        for (std::size_t w = begin; w < end; ++w) {
            std::uint32_t rank = before_[w];
            for (std::uint64_t bits = bits_[w]; bits; bits &= bits - 1) {
                f(static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(bits))), rank++);
            }
        }
    }
    std::size_t words() const { return bits_.size(); }

private:
    std::vector<std::uint64_t> bits_;
    std::vector<std::uint32_t> before_;  // marked positions before each word
};

// What a join needs before any member is rendered, read in one walk over the
// records in parts: the sets of the kind and the objects they define, own and
// inherited; the members the sets use, by record position in file order, to
// be rendered once each however many sets and objects share them.
class DefinitionSets {
public:
    static constexpr std::uint64_t kNoMember = ~std::uint64_t{0};

    DefinitionSets(const EntityTable& table, TextPool& pool, SetKind kind, const PartPlan& plan);

    std::vector<JoinSet> sets;
    std::vector<std::vector<std::uint64_t>> members;  // by part
    std::vector<std::uint32_t> own_sets, type_sets;   // set indices
    std::vector<JoinObject> objects;
    std::vector<std::uint32_t> wanted;  // positions of the members to render, in file order

    // The members rendered (their rows at `rendered[rank]`): each set's rows,
    // then each object's GlobalId and type name and the GlobalId of its type,
    // read in file order. Objects without a GlobalId are dropped.
    void finish(const std::vector<MemberRows>& rendered, const EntityTable& table, const GuidIndex& guids,
                TextPool& pool);

private:
    PartPlan plan_;
    MarkedPositions wanted_;

    void mark_members(const EntityTable& table, const RecordSlots& set_slot);
};

// The rows of every object's sets, inherited ones included:
// - an object with a GlobalId gets the rows of the sets related to it, then
//   those of its type's sets (IfcTypeObject.HasPropertySets) that it does not
//   override: a row of a type's set is dropped when the object has a set of
//   the same name holding a property of the same name;
// - a type object gets the rows of its own sets.
// Every member of a set is rendered once, however many sets and objects share
// it, the members split between threads: make_renderer(pool) makes one
// renderer per part, render(renderer, id, rows) appends the rows of the member
// `id` (each with a top_name, the text an occurrence overrides by, and
// shift(offset) for the merge of the parts' texts into `pool`). The rows are
// counted first: resize(n) is called once with their number, then put(i,
// guid, entity, set_name, row, source, type_guid) writes row i, from several
// threads at once, each on rows of its own.
template <class Row, class MakeRenderer, class Render, class Resize, class Put>
void join_definitions(const EntityTable& table, const GuidIndex& guids, TextPool& pool, SetKind kind,
                      const PartPlan& plan, MakeRenderer&& make_renderer, Render&& render, Resize&& resize,
                      Put&& put) {
    DefinitionSets d(table, pool, kind, plan);

    // Each member used once, in file order, in parts.
    struct Part {
        TextPool pool;
        std::vector<Row> rows;
    };
    const std::vector<std::uint32_t>& wanted = d.wanted;
    const std::size_t parts = plan.link_parts(wanted.size());
    std::vector<Part> read(parts);
    std::vector<MemberRows> rendered(wanted.size());
    run_in_parts(wanted.size(), parts, [&](std::size_t k, std::size_t begin, std::size_t end) {
        Part& part = read[k];
        TextPool& part_pool = k == 0 ? pool : part.pool;
        part_pool.share_equal_texts();
        auto renderer = make_renderer(part_pool);
        const auto& records = table.records();
        ResidentTrail trail(table.file(), begin < end ? records[wanted[begin]].type_offset : 0);
        for (std::size_t i = begin; i < end; ++i) {
            const EntityRecord& r = records[wanted[i]];
            trail.at(r.type_offset);
            const auto first = static_cast<std::uint32_t>(part.rows.size());
            render(renderer, r.id, part.rows);
            rendered[i] = {static_cast<std::uint32_t>(k), first, static_cast<std::uint32_t>(part.rows.size() - first)};
        }
    });
    const std::vector<std::uint32_t> offsets = merge_part_texts(pool, read);
    for (std::size_t k = 1; k < parts; ++k) {
        for (Row& row : read[k].rows) row.shift(offsets[k]);
    }
    d.finish(rendered, table, guids, pool);

    // The rows of one object, set by set: f(set, row, source) for each, the
    // rows of its type's sets that it overrides left out.
    using Key = std::pair<std::string_view, std::string_view>;
    const auto for_each_row = [&](const JoinObject& o, std::vector<Key>& keys, auto&& f) {
        const bool collect = o.type_count > 0;
        keys.clear();
        const auto rows_of = [&](const JoinSet& s, auto&& g) {
            const std::vector<std::uint64_t>& members = d.members[s.part];
            for (std::uint64_t m = s.members.first; m < s.members.first + s.members.count; ++m) {
                if (members[m] == DefinitionSets::kNoMember) continue;
                const MemberRows& mr = rendered[members[m]];
                const std::vector<Row>& rows = read[mr.part].rows;
                for (std::uint32_t i = mr.first; i < mr.first + mr.count; ++i) g(rows[i]);
            }
        };
        for (std::uint32_t k = 0; k < o.own_count; ++k) {
            const JoinSet& s = d.sets[d.own_sets[o.own_first + k]];
            rows_of(s, [&](const Row& row) {
                f(s, row, ValueSource::Occurrence);
                if (collect) keys.emplace_back(pool[s.name], pool[row.top_name]);
            });
        }
        if (!collect) return;
        std::sort(keys.begin(), keys.end());
        for (std::uint32_t k = 0; k < o.type_count; ++k) {
            const JoinSet& s = d.sets[d.type_sets[o.type_first + k]];
            if (keys.empty()) {
                rows_of(s, [&](const Row& row) { f(s, row, ValueSource::Type); });
                continue;
            }
            const std::string_view name = pool[s.name];
            rows_of(s, [&](const Row& row) {
                if (!std::binary_search(keys.begin(), keys.end(), Key(name, pool[row.top_name]))) {
                    f(s, row, ValueSource::Type);
                }
            });
        }
    };

    // Each object's rows counted, then written at known places side by side.
    std::vector<JoinObject>& objects = d.objects;
    const std::size_t object_parts = plan.link_parts(objects.size());
    run_in_parts(objects.size(), object_parts, [&](std::size_t, std::size_t begin, std::size_t end) {
        std::vector<Key> keys;
        for (std::size_t i = begin; i < end; ++i) {
            JoinObject& o = objects[i];
            if (o.type_count == 0) {
                for (std::uint32_t k = 0; k < o.own_count; ++k) o.row += d.sets[d.own_sets[o.own_first + k]].rows;
            } else {
                for_each_row(o, keys, [&](const JoinSet&, const Row&, ValueSource) { ++o.row; });
            }
        }
    });
    std::uint64_t total = 0;
    for (JoinObject& o : objects) total += std::exchange(o.row, total);
    resize(static_cast<std::size_t>(total));
    const std::size_t row_parts = plan.link_parts(total);
    run_in_parts(row_parts, row_parts, [&](std::size_t k, std::size_t, std::size_t) {
        // Whole objects, about as many rows to each part.
        const auto starts_by = [&](std::uint64_t row) {
            return static_cast<std::size_t>(
                std::lower_bound(objects.begin(), objects.end(), row,
                                 [](const JoinObject& o, std::uint64_t r) { return o.row < r; }) -
                objects.begin());
        };
        const std::size_t begin = starts_by(total * k / row_parts), end = starts_by(total * (k + 1) / row_parts);
        std::vector<Key> keys;
        for (std::size_t i = begin; i < end; ++i) {
            const JoinObject& o = objects[i];
            std::uint64_t at = o.row;
            for_each_row(o, keys, [&](const JoinSet& s, const Row& row, ValueSource source) {
                put(static_cast<std::size_t>(at++), o.guid, o.entity, s.name, row, source,
                    source == ValueSource::Type ? o.type_guid : TextPool::null);
            });
        }
    });
}

}  // namespace quarnel
