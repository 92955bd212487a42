#include "step/guid_index.hpp"

#include <cstring>

#include "step/lexer.hpp"

namespace quarnel {
namespace {

bool needs_decoding(std::string_view raw) {
    for (const char c : raw) {
        if (c == '\\' || c == '\'' || static_cast<unsigned char>(c) >= 0x80) return true;
    }
    return false;
}

}  // namespace

GuidIndex GuidIndex::build(const EntityTable& table) {
    GuidIndex index;
    index.table_ = &table;
    const auto& records = table.records();
    index.slots_.assign(records.size(), 0);
    const std::string_view file = table.file();
    const auto n = static_cast<std::uint32_t>(records.size());
    for (std::uint32_t i = 0; i < n; ++i) {
        const EntityRecord& r = records[i];
        if (r.type_length < 3 || std::memcmp(file.data() + r.type_offset, "IFC", 3) != 0) continue;
        if (!table.is_live(i)) continue;
        const std::string_view attrs = table.entity(r).attributes;
        std::size_t p = 0;
        while (p < attrs.size() && is_space(static_cast<unsigned char>(attrs[p]))) ++p;
        if (p >= attrs.size() || attrs[p] != '\'') continue;  // the first piece is no string

        // Common case: a string closed before the first comma.
        std::optional<std::string_view> inner;
        if (auto close = skip_quoted(attrs, p)) {
            std::size_t q = *close;
            while (q < attrs.size() && is_space(static_cast<unsigned char>(attrs[q]))) ++q;
            if (q == attrs.size() || attrs[q] == ',') inner = attrs.substr(p + 1, *close - p - 2);
        }
        if (!inner) {
            const auto first = attribute_at(attrs, 0);
            if (!first || first->size() < 2 || first->front() != '\'' || first->back() != '\'') continue;
            inner = first->substr(1, first->size() - 2);
        }
        if (!needs_decoding(*inner)) {
            if (inner->size() == 22) {
                index.slots_[i] = static_cast<std::uint64_t>(inner->data() - file.data()) + 1;
                ++index.count_;
            }
            continue;
        }
        const std::string decoded = decode_string(*inner);
        if (decoded.size() != 22) continue;
        std::array<char, 22> g;
        std::memcpy(g.data(), decoded.data(), 22);
        index.slots_[i] = kOwned | index.owned_.size();
        index.owned_.push_back(g);
        ++index.count_;
    }
    return index;
}

}  // namespace quarnel
