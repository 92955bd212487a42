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
