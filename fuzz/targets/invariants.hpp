#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "columns.hpp"
#include "extractors/common.hpp"
#include "extractors/parts.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

// Properties every pass must keep whatever the input: a violated one aborts
// the fuzzer like a sanitizer report would.
namespace quarnel::fuzz {

inline void require(bool ok) {
    if (!ok) __builtin_trap();
}

inline std::string_view as_file(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Python receives every result string as UTF-8; an invalid one would raise.
inline void require_utf8(const StringColumn& column) {
    for (std::size_t i = 0; i < column.size(); ++i) {
        if (!column.is_null(i)) require(is_valid_utf8(column.view(i)));
    }
}

// The same for a column of ids into a TextPool.
inline void require_utf8(const TextPool& pool, const TextColumn& column) {
    for (const std::uint32_t id : column) {
        if (id == TextPool::null) continue;
        require(id < pool.size());
        require(is_valid_utf8(pool[id]));
    }
}

inline void require_guids(const TextPool& pool, const TextColumn& column) {
    for (const std::uint32_t id : column) require(id != TextPool::null && id < pool.size() && pool[id].size() == 22);
    require_utf8(pool, column);
}

inline void require_utf8(const TextPool& pool, const TextColumnParts& column) {
    for (const TextColumn& part : column.parts) require_utf8(pool, part);
}

inline void require_guids(const TextPool& pool, const TextColumnParts& column) {
    for (const TextColumn& part : column.parts) require_guids(pool, part);
}

// A column of GlobalIds where some rows have none.
inline void require_guids_or_null(const TextPool& pool, const TextColumn& column) {
    for (const std::uint32_t id : column) require(id == TextPool::null || (id < pool.size() && pool[id].size() == 22));
    require_utf8(pool, column);
}

// Every cell one of `labels`, or null where `nullable`.
template <std::size_t N>
inline void require_labels(const TextPool& pool, const TextColumn& column, const std::string_view (&labels)[N],
                           bool nullable = false) {
    for (const std::uint32_t id : column) {
        if (id == TextPool::null) {
            require(nullable);
            continue;
        }
        require(id < pool.size());
        bool found = false;
        for (const std::string_view label : labels) found = found || (!label.empty() && pool[id] == label);
        require(found);
    }
}

// The text of a non-null cell.
inline std::string_view text_of(const TextPool& pool, std::uint32_t id) {
    require(id != TextPool::null && id < pool.size());
    return pool[id];
}

inline void require_guids(const StringColumn& column) {
    for (std::size_t i = 0; i < column.size(); ++i) require(!column.is_null(i) && column.view(i).size() == 22);
    require_utf8(column);
}

// Cuts even a small input into parts, so that the merge of parts read on
// threads of their own is fuzzed too.
inline constexpr PartPlan kSmallParts{.min_records = 16, .min_links = 4, .max_parts = 3};

// Runs `extract` on the table and index of `data`, then drops both before the
// columns are checked: the columns may borrow only the file bytes, as the
// Python frame frees the tables before marshalling.
template <class Extract>
auto extract_then_drop(const std::uint8_t* data, std::size_t size, Extract&& extract) {
    auto table = std::make_unique<EntityTable>(EntityTable::build(as_file(data, size)));
    auto guids = std::make_unique<GuidIndex>(GuidIndex::build(*table));
    auto columns = extract(*table, *guids);
    guids.reset();
    table.reset();
    return columns;
}

// A view handed out by a pass must lie inside the input.
inline void require_inside(std::string_view file, std::string_view part) {
    require(part.data() >= file.data() && part.data() + part.size() <= file.data() + file.size());
}

}  // namespace quarnel::fuzz
