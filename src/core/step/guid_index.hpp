#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

#include "step/entity_table.hpp"

namespace quarnel {

// Instance id -> its 22-byte GlobalId (first attribute), for instances whose
// type name begins with `IFC`. Answers from the table when asked: an extractor
// needs the identifiers of the objects it relates, a small part of the file,
// so reading every instance's first attribute up front is wasted work.
// Identifiers written without escapes are views into the file; decoded ones
// are kept here. Borrows the table, which must stay where it is while the index
// is used. Lookups may run on several threads at once.
class GuidIndex {
public:
    static GuidIndex build(const EntityTable& table) {
        GuidIndex index;
        index.table_ = &table;
        return index;
    }

    std::optional<std::string_view> guid_of(std::uint64_t id) const {
        const std::uint32_t i = table_->index_of(id);
        if (i == EntityTable::npos) return std::nullopt;
        return guid_at(i);
    }
    // By position in the table's records.
    std::optional<std::string_view> guid_at(std::uint32_t record) const;

private:
    // Identifiers written with escapes, decoded when first asked for; a deque
    // keeps the addresses of the views handed out.
    struct Decoded {
        std::mutex lock;
        std::deque<std::array<char, 22>> texts;
    };
    const EntityTable* table_ = nullptr;
    std::unique_ptr<Decoded> decoded_ = std::make_unique<Decoded>();
};

}  // namespace quarnel
