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

StepValue parse_value(std::string_view token) {
    StepValue v;
    const std::string_view t = trim(token);
    if (t.empty() || t == "$") return v;
    using K = StepValue::Kind;
    const auto as = [&](K kind) {
        v.kind = kind;
        return true;
    };
    if (t == "*") {
        as(K::Derived);
    } else if (const auto id = value::ref(t)) {
        as(K::Ref), v.ref = *id;
    } else if (auto s = value::text(t)) {
        as(K::String), v.text = std::move(*s);
    } else if (const auto inner = value::list(t)) {
        as(K::List), v.view = *inner;
    } else if (const auto e = value::enumeration(t)) {
        as(K::Enum), v.view = *e;
    } else if (const auto r = value::number(t)) {
        as(K::Real), v.real = *r;
    } else {
        as(K::Other), v.view = t;
    }
    return v;
}

}  // namespace quarnel
