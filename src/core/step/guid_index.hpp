#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "step/entity_table.hpp"

namespace quarnel {

// Instance id -> its 22-byte GlobalId (first attribute), for instances whose
// type name begins with `IFC`. Identifiers written without escapes are views
// into the file; decoded ones are stored here. Borrows the table, which must
// stay where it is while the index is used.
class GuidIndex {
public:
    static GuidIndex build(const EntityTable& table);

    std::optional<std::string_view> guid_of(std::uint64_t id) const {
        const std::uint32_t i = table_->index_of(id);
        if (i == EntityTable::npos) return std::nullopt;
        return guid_at(i);
    }
    // By position in the table's records.
    std::optional<std::string_view> guid_at(std::uint32_t record) const {
        const std::uint64_t s = slots_[record];
        if (s == 0) return std::nullopt;
        if (s & kOwned) return std::string_view(owned_[s & ~kOwned].data(), 22);
        return table_->file().substr(s - 1, 22);
    }
    std::size_t size() const { return count_; }

private:
    static constexpr std::uint64_t kOwned = 1ULL << 63;
    const EntityTable* table_ = nullptr;
    std::vector<std::uint64_t> slots_;  // per record: 0, file offset + 1, or kOwned | index
    std::vector<std::array<char, 22>> owned_;
    std::size_t count_ = 0;
};

}  // namespace quarnel
