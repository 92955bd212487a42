#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "columns.hpp"
#include "step/lexer.hpp"

namespace quarnel {

// Equal length, bytes equal ignoring ASCII case; `upper` is an upper-case IFC name.
inline bool type_is(std::string_view type, std::string_view upper) {
    if (type.size() != upper.size()) return false;
    for (std::size_t i = 0; i < type.size(); ++i) {
        char c = type[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if (c != upper[i]) return false;
    }
    return true;
}

// Trims 0x09-0x0D, 0x20, 0x85 and 0xA0 at both ends.
std::string_view trim_wide(std::string_view s);

// "Ifc", byte 3 upper-cased, the rest lower-cased; bytes 0x80-0xFF as Latin-1.
std::string display_case(std::string_view type_name);

// Integral values below 1e15 as integers; otherwise the shortest round-trip
// digits, written positionally.
std::string number_text(double x);
void append_number_text(std::string& out, double x);

// Decoded text of a String piece, otherwise "".
std::string string_or_empty(std::string_view piece);
// Decoded text of a String piece, absent for any other value and for "".
std::optional<std::string> optional_text(std::string_view piece);

// Text id of a String piece, borrowed from the file when it needs no
// decoding; absent when the piece is no String.
std::optional<std::uint32_t> pool_string(TextPool& pool, std::string_view piece);

// One (related object, relating definition) pair of a relationship.
struct DefinitionLink {
    std::uint64_t object;
    std::uint64_t definition;
};

// Appends the links of one relationship whose related objects stand at
// `objects_at` and whose relating definition (a reference) at `definition_at`.
// Too few pieces or a relating value that is no reference: nothing.
void append_links(const Pieces& pieces, std::size_t objects_at, std::size_t definition_at,
                  std::vector<DefinitionLink>& links, std::vector<std::uint64_t>& scratch);

}  // namespace quarnel

namespace quarnel {
bool is_valid_utf8(std::string_view s);
}  // namespace quarnel
