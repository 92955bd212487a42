#include "step/entity_table.hpp"

#include "step/lexer.hpp"
#include "step/scanner.hpp"

namespace quarnel {
namespace {

std::uint64_t mix(std::uint64_t id) { return id * 0x9E3779B97F4A7C15ULL; }

}  // namespace

EntityTable EntityTable::build(std::string_view file) {
    EntityTable table;
    table.file_ = file;
    StatementScanner scanner(file);
    // Real models average 60 to 110 bytes per instance; reserving for 32 keeps
    // growth copies away while untouched capacity costs no memory.
    table.records_.reserve((file.size() - scanner.start()) / 32 + 1024);
    while (auto s = scanner.next()) {
        auto h = parse_instance_header(s->text);
        if (!h) continue;
        // Record lengths are 32-bit: longer texts are skipped rather than cut short.
        if (h->type.size() > UINT32_MAX || h->attributes.size() > UINT32_MAX) continue;
        table.records_.push_back(EntityRecord{h->id, static_cast<std::uint64_t>(h->type.data() - file.data()),
                                              static_cast<std::uint32_t>(h->type.size()),
                                              static_cast<std::uint32_t>(h->attributes.size())});
    }
    table.build_index();
    return table;
}

void EntityTable::build_index() {
    const std::size_t n = records_.size();
    if (n >= npos) records_.resize(npos - 1);  // indices are 32-bit
    std::uint64_t max_id = 0;
    for (const auto& r : records_) max_id = r.id > max_id ? r.id : max_id;
    std::size_t live = 0;
    if (n > 0 && max_id <= 4 * static_cast<std::uint64_t>(n) + 4096) {
        direct_.assign(static_cast<std::size_t>(max_id) + 1, npos);
        for (std::uint32_t i = 0; i < n; ++i) {
            auto& slot = direct_[records_[i].id];
            if (slot == npos) {
                ++live;
            } else {
                has_duplicates_ = true;
            }
            slot = i;
        }
    } else if (n > 0) {
        std::size_t capacity = 1024;
        while (capacity < 2 * n) capacity *= 2;
        slots_.assign(capacity, npos);
        slot_mask_ = capacity - 1;
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint64_t id = records_[i].id;
            std::uint64_t s = mix(id) >> 20 & slot_mask_;
            while (slots_[s] != npos && records_[slots_[s]].id != id) s = (s + 1) & slot_mask_;
            if (slots_[s] == npos) {
                ++live;
            } else {
                has_duplicates_ = true;
            }
            slots_[s] = i;
        }
    }
    live_count_ = live;
}

std::uint32_t EntityTable::index_of(std::uint64_t id) const {
    if (!direct_.empty()) return id < direct_.size() ? direct_[id] : npos;
    if (slots_.empty()) return npos;
    std::uint64_t s = mix(id) >> 20 & slot_mask_;
    for (;;) {
        const std::uint32_t i = slots_[s];
        if (i == npos || records_[i].id == id) return i;
        s = (s + 1) & slot_mask_;
    }
}

}  // namespace quarnel
