#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "step/lexer.hpp"
#include "step/text.hpp"

namespace quarnel {

// Typed readers of one attribute value: a trimmed piece as PieceWalker gives
// it. Each answers for its own kind of value and is absent for every other
// (no piece is of two kinds); none decodes or allocates unless asked to.
namespace value {

// `$`, `*` or nothing: a piece that holds no value.
inline bool is_unset(std::string_view p) { return p.empty() || (p.size() == 1 && (p[0] == '$' || p[0] == '*')); }

inline bool is_string(std::string_view p) { return p.size() >= 2 && p.front() == '\'' && p.back() == '\''; }

// The bytes between the quotes of a String, as written.
inline std::optional<std::string_view> raw_string(std::string_view p) {
    if (!is_string(p)) return std::nullopt;
    return p.substr(1, p.size() - 2);
}

// `#digits` or `#+digits`.
inline std::optional<std::uint64_t> ref(std::string_view p) {
    if (p.size() < 2 || p[0] != '#') return std::nullopt;
    std::string_view digits = p.substr(1);
    if (digits[0] == '+') digits.remove_prefix(1);
    return parse_u64(digits);
}

// A Real or Integer; it starts with a sign or a digit.
inline std::optional<double> number(std::string_view p) {
    if (p.empty()) return std::nullopt;
    const char f = p[0];
    if (f != '+' && f != '-' && !(f >= '0' && f <= '9')) return std::nullopt;
    return parse_real(p);
}

// The text between the dots of an enumeration.
inline std::optional<std::string_view> enumeration(std::string_view p) {
    if (p.size() <= 2 || p.front() != '.' || p.back() != '.') return std::nullopt;
    return p.substr(1, p.size() - 2);
}

// The text between the parentheses of a List.
inline std::optional<std::string_view> list(std::string_view p) {
    if (p.size() < 2 || p.front() != '(' || p.back() != ')') return std::nullopt;
    return p.substr(1, p.size() - 2);
}

// A typed value such as IFCLABEL('x'): the name before the first `(` and the
// text inside the outer parentheses, both as written (untrimmed). The name is
// empty for a List.
struct Typed {
    std::string_view name;
    std::string_view inner;
};
inline std::optional<Typed> typed(std::string_view p) {
    const std::size_t open = p.find('(');
    if (open == std::string_view::npos || p.back() != ')') return std::nullopt;
    return Typed{p.substr(0, open), p.substr(open + 1, p.size() - open - 2)};
}

// Decoded text of a String (always valid UTF-8). `borrowed` when it is the
// file's own bytes, which is the common case; otherwise it lives in `scratch`
// until the next call with it.
struct Text {
    std::string_view text;
    bool borrowed;
};
std::optional<Text> text(std::string_view p, std::string& scratch);
// The same, owned.
std::optional<std::string> text(std::string_view p);

}  // namespace value

// Reads the first `max` numbers among the elements of a list's inner text,
// in order, into `out`; returns how many were found.
int read_numbers(std::string_view list, double* out, int max);

// The number of elements of a list's inner text.
std::size_t count_elements(std::string_view list);

// The attributes of one record, read forward once: asking for attribute i
// walks the text only as far as i, and what was walked is kept, so asking
// for i + 1 next (or any earlier one again) does not start over.
class Attributes {
public:
    Attributes() = default;
    explicit Attributes(std::string_view text) : walker_(text) {}
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;

    // Starts on another record; the storage is kept.
    void reset(std::string_view text) {
        walker_ = PieceWalker(text);
        walked_ = 0;
        more_.clear();
    }

    // Attribute i, trimmed; absent past the last.
    std::optional<std::string_view> at(std::size_t i) {
        if (i < walked_) return kept(i);
        return walk_to(i);
    }
    // Attribute i, or an empty piece (no value) past the last.
    std::string_view piece(std::size_t i) {
        const auto p = at(i);
        return p ? *p : std::string_view();
    }
    // At least `count` attributes.
    bool has(std::size_t count) { return count == 0 || at(count - 1).has_value(); }
    // How many attributes there are (walks to the end).
    std::size_t size();

    std::optional<std::uint64_t> ref(std::size_t i) { return read(i, value::ref); }
    std::optional<double> number(std::size_t i) { return read(i, value::number); }
    std::optional<std::string_view> list(std::size_t i) { return read(i, value::list); }
    std::optional<std::string_view> enumeration(std::size_t i) { return read(i, value::enumeration); }
    bool is_string(std::size_t i) {
        const auto p = at(i);
        return p && value::is_string(*p);
    }
    std::optional<value::Text> text(std::size_t i, std::string& scratch) {
        const auto p = at(i);
        return p ? value::text(*p, scratch) : std::nullopt;
    }

private:
    static constexpr std::size_t kInline = 16;  // more than nearly every IFC type has
    PieceWalker walker_{std::string_view()};
    std::size_t walked_ = 0;
    std::array<std::string_view, kInline> first_;
    std::vector<std::string_view> more_;

    std::string_view kept(std::size_t i) const { return i < kInline ? first_[i] : more_[i - kInline]; }
    // Walks on as far as attribute i (out of line: the walk is the rare path).
    std::optional<std::string_view> walk_to(std::size_t i);
    bool walk();
    template <class Reader>
    auto read(std::size_t i, Reader reader) -> decltype(reader(std::string_view())) {
        const auto p = at(i);
        if (!p) return std::nullopt;
        return reader(*p);
    }
};

}  // namespace quarnel
