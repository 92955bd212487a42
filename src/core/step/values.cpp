#include "step/values.hpp"

namespace quarnel {
namespace value {

std::optional<Text> text(std::string_view p, std::string& scratch) {
    const auto raw = raw_string(p);
    if (!raw) return std::nullopt;
    if (!needs_decoding(*raw)) return Text{*raw, true};
    scratch = decode_string(*raw);
    return Text{scratch, false};
}

std::optional<std::string> text(std::string_view p) {
    const auto raw = raw_string(p);
    if (!raw) return std::nullopt;
    return needs_decoding(*raw) ? decode_string(*raw) : std::string(*raw);
}

}  // namespace value

bool Attributes::walk() {
    // The walker writes the inline pieces in place: a piece passed back
    // through the stack would be read again whole while still being stored.
    if (walked_ < kInline) {
        if (!walker_.next(first_[walked_])) return false;
    } else {
        std::string_view piece;
        if (!walker_.next(piece)) return false;
        more_.push_back(piece);
    }
    ++walked_;
    return true;
}

std::optional<std::string_view> Attributes::walk_to(std::size_t i) {
    while (walked_ <= i) {
        if (!walk()) return std::nullopt;
    }
    return kept(i);
}

std::size_t Attributes::size() {
    while (walk()) {
    }
    return walked_;
}

int read_numbers(std::string_view list, double* out, int max) {
    PieceWalker walker(list);
    int found = 0;
    for (std::string_view piece; found < max && walker.next(piece);) {
        if (const auto v = value::number(piece)) out[found++] = *v;
    }
    return found;
}

std::size_t count_elements(std::string_view list) {
    PieceWalker walker(list);
    std::size_t n = 0;
    for (std::string_view piece; walker.next(piece);) ++n;
    return n;
}

}  // namespace quarnel
