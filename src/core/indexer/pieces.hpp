#pragma once
#include <optional>
#include <string_view>

#include "columns.hpp"
#include "step/lexer.hpp"

// Tests on one trimmed piece of split_attributes that give the same answer as
// parse_value's variant, without decoding strings the index does not keep.
namespace quarnel::piece {

// `$`, an empty piece, or `*`: a piece that holds no value.
inline bool is_unset(std::string_view p) { return p.empty() || (p.size() == 1 && (p[0] == '$' || p[0] == '*')); }

inline bool is_string(std::string_view p) { return p.size() >= 2 && p.front() == '\'' && p.back() == '\''; }

inline bool is_enum(std::string_view p) { return p.size() > 2 && p.front() == '.' && p.back() == '.'; }

// The piece's Real value, absent for every other variant.
inline std::optional<double> real(std::string_view p) {
    if (p.empty()) return std::nullopt;
    const char f = p[0];
    if (f != '+' && f != '-' && !(f >= '0' && f <= '9')) return std::nullopt;
    return parse_real(p);
}

// Text between the parentheses of a List piece.
inline std::optional<std::string_view> list(std::string_view p) {
    if (p.size() < 2 || p.front() != '(' || p.back() != ')') return std::nullopt;
    return p.substr(1, p.size() - 2);
}

// Id of a Ref piece.
inline std::optional<std::uint64_t> ref(std::string_view p) {
    if (p.empty() || p[0] != '#') return std::nullopt;
    const StepValue v = parse_value(p);
    if (!v.is(StepValue::Kind::Ref)) return std::nullopt;
    return v.ref;
}

// Raw string bytes that decode to themselves: no quote, no backslash, no byte >= 0x80.
inline bool decodes_to_itself(std::string_view inner) {
    for (const char c : inner) {
        if (c == '\'' || c == '\\' || static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// Appends the decoded text of a String piece; most strings need no copy but the column's.
inline void push_decoded(StringColumn& column, std::string_view string_piece) {
    const std::string_view inner = string_piece.substr(1, string_piece.size() - 2);
    if (decodes_to_itself(inner)) {
        column.push(inner);
    } else {
        column.push(std::string_view(decode_string(inner)));
    }
}

// Appends the decoded text of piece `index` when it is a String, else a null.
inline void push_optional_string(StringColumn& column, const Pieces& pieces, std::size_t index) {
    if (index < pieces.size() && is_string(pieces[index])) {
        push_decoded(column, pieces[index]);
    } else {
        column.push_null();
    }
}

inline std::string decoded(std::string_view string_piece) {
    return decode_string(string_piece.substr(1, string_piece.size() - 2));
}

}  // namespace quarnel::piece
