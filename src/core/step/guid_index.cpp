#include "step/guid_index.hpp"

#include <cstring>
#include <string>

#include "step/lexer.hpp"
#include "step/values.hpp"

namespace quarnel {

std::optional<std::string_view> GuidIndex::guid_at(std::uint32_t record) const {
    if (!table_ || record >= table_->records().size()) return std::nullopt;
    const EntityRecord& r = table_->records()[record];
    const std::string_view file = table_->file();
    if (r.type_length < 3 || std::memcmp(file.data() + r.type_offset, "IFC", 3) != 0) return std::nullopt;
    if (!table_->is_live(record)) return std::nullopt;
    const std::string_view attrs = table_->entity(r).attributes;
    std::size_t p = 0;
    while (p < attrs.size() && is_space(static_cast<unsigned char>(attrs[p]))) ++p;
    if (p >= attrs.size() || attrs[p] != '\'') return std::nullopt;  // the first piece is no string

    // Common case: a string closed before the first comma.
    std::optional<std::string_view> inner;
    if (auto close = skip_quoted(attrs, p)) {
        std::size_t q = *close;
        while (q < attrs.size() && is_space(static_cast<unsigned char>(attrs[q]))) ++q;
        if (q == attrs.size() || attrs[q] == ',') inner = attrs.substr(p + 1, *close - p - 2);
    }
    if (!inner) {
        PieceWalker walker(attrs);
        std::string_view first;
        walker.next(first);
        inner = value::raw_string(first);
        if (!inner) return std::nullopt;
    }
    if (!needs_decoding(*inner)) {
        if (inner->size() != 22) return std::nullopt;
        return inner;
    }
    const std::string decoded = decode_string(*inner);
    if (decoded.size() != 22) return std::nullopt;
    const std::lock_guard<std::mutex> hold(decoded_->lock);
    std::array<char, 22>& g = decoded_->texts.emplace_back();
    std::memcpy(g.data(), decoded.data(), 22);
    return std::string_view(g.data(), 22);
}

}  // namespace quarnel
