#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "extractors/common.hpp"
#include "step/entity_table.hpp"
#include "step/lexer.hpp"

// Small readers the geometry builders share. They take trimmed pieces as
// split_attributes and attribute_at return them and never allocate.
namespace quarnel::mesh {

// The pieces of a list or attribute text, one at a time, exactly as
// split_attributes would return them.
class PieceCursor {
public:
    explicit PieceCursor(std::string_view text) : text_(text) {}

    bool next(std::string_view& piece) {
        if (done_) return false;
        std::size_t i = pos_;
        const std::size_t n = text_.size();
        while (i < n) {
            const char c = text_[i];
            if (c == '\'') {
                const auto after = skip_quoted(text_, i);
                if (!after) break;  // an open string ends the walk: the rest is the last piece
                i = *after;
                continue;
            }
            if (c == '(') {
                ++depth_;
            } else if (c == ')') {
                --depth_;
            } else if (c == ',' && depth_ == 0) {
                piece = trim(text_.substr(pos_, i - pos_));
                pos_ = i + 1;
                return true;
            }
            ++i;
        }
        piece = trim(text_.substr(pos_));
        done_ = true;
        return true;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    long long depth_ = 0;
    bool done_ = false;
};

inline std::optional<std::uint64_t> as_ref(std::string_view piece) {
    if (piece.empty() || piece[0] != '#') return std::nullopt;
    const StepValue v = parse_value(piece);
    if (!v.is(StepValue::Kind::Ref)) return std::nullopt;
    return v.ref;
}

// Text between the parentheses of a List value.
inline std::optional<std::string_view> as_list(std::string_view piece) {
    if (piece.size() < 2 || piece.front() != '(' || piece.back() != ')') return std::nullopt;
    return piece.substr(1, piece.size() - 2);
}

inline std::optional<double> as_number(std::string_view piece) {
    if (piece.empty()) return std::nullopt;
    const char c = piece[0];
    if (c != '+' && c != '-' && (c < '0' || c > '9')) return std::nullopt;
    return parse_real(piece);
}

inline std::optional<std::string_view> as_enum(std::string_view piece) {
    if (piece.size() <= 2 || piece.front() != '.' || piece.back() != '.') return std::nullopt;
    return piece.substr(1, piece.size() - 2);
}

inline std::optional<std::uint64_t> ref_at(std::string_view attributes, std::size_t index) {
    const auto piece = attribute_at(attributes, index);
    return piece ? as_ref(*piece) : std::nullopt;
}

inline std::optional<std::string_view> list_at(std::string_view attributes, std::size_t index) {
    const auto piece = attribute_at(attributes, index);
    return piece ? as_list(*piece) : std::nullopt;
}

inline bool has_attributes(std::string_view attributes, std::size_t count) {
    return count == 0 || attribute_at(attributes, count - 1).has_value();
}

// The first `max` numbers among the elements of a list, in order; returns how many were found.
inline int read_numbers(std::string_view list, double* out, int max) {
    PieceCursor cursor(list);
    std::string_view piece;
    int found = 0;
    while (found < max && cursor.next(piece)) {
        if (auto v = as_number(piece)) out[found++] = *v;
    }
    return found;
}

// The entity `id` when its type is `upper` (ASCII case ignored).
inline std::optional<Entity> entity_of_type(const EntityTable& table, std::uint64_t id, std::string_view upper) {
    auto e = table.get(id);
    if (!e || !type_is(e->type, upper)) return std::nullopt;
    return e;
}

}  // namespace quarnel::mesh
