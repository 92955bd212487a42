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

// One relationship's related objects, still unexpanded, and its relating
// definition: a join that uses few of the definitions expands only those.
struct PendingLinks {
    std::string_view objects;
    std::uint64_t definition;
};

// The pending links of one relationship whose related objects stand at
// `objects_at` and whose relating definition (a reference) at `definition_at`;
// absent for too few pieces or a relating value that is no reference.
std::optional<PendingLinks> pending_links(const Pieces& pieces, std::size_t objects_at, std::size_t definition_at);

// The related objects of a relationship piece: one Ref, or the Refs of a List
// (order and duplicates kept); none for any other value.
void related_objects(std::string_view objects, std::vector<std::uint64_t>& out);

// Appends the links of one relationship whose related objects stand at
// `objects_at` and whose relating definition (a reference) at `definition_at`.
// Too few pieces or a relating value that is no reference: nothing.
void append_links(const Pieces& pieces, std::size_t objects_at, std::size_t definition_at,
                  std::vector<DefinitionLink>& links, std::vector<std::uint64_t>& scratch);

// The value of one piece when it has that variant, else absent. Quoted pieces
// are rejected before parsing, so reading a wrong variant never decodes.
std::optional<std::uint64_t> ref_of(std::string_view piece);
std::optional<double> real_of(std::string_view piece);
// Inner text of a List piece.
std::optional<std::string_view> list_of(std::string_view piece);

// An output text of one extraction: a slice of its TextArena.
struct TextRef {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    bool present = false;
};

// The texts an extractor keeps between its pass and its join, back to back in
// one buffer: no heap block per entry.
class TextArena {
public:
    TextRef add(std::string_view s) {
        TextRef t{bytes_.size(), static_cast<std::uint32_t>(s.size()), true};
        bytes_.append(s);
        return t;
    }
    TextRef add_number(double x) {
        const std::size_t start = bytes_.size();
        append_number_text(bytes_, x);
        return {start, static_cast<std::uint32_t>(bytes_.size() - start), true};
    }
    // Decoded text of a String piece (possibly empty); absent for any other value.
    TextRef add_string(std::string_view piece);
    // Decoded text of a String piece, or the empty text.
    TextRef add_string_or_empty(std::string_view piece) {
        const TextRef t = add_string(piece);
        return t.present ? t : TextRef{bytes_.size(), 0, true};
    }
    // Decoded text of a String piece; absent for any other value and for ''.
    TextRef add_optional_text(std::string_view piece) {
        const TextRef t = add_string(piece);
        return t.length ? t : TextRef{};
    }

    std::optional<std::string_view> get(const TextRef& t) const {
        if (!t.present) return std::nullopt;
        return std::string_view(bytes_).substr(t.offset, t.length);
    }
    std::string_view text(const TextRef& t) const { return std::string_view(bytes_).substr(t.offset, t.length); }

private:
    std::string bytes_;
};

// A run of ids in an extractor's shared id buffer (the members of a set or list).
struct IdSpan {
    std::uint64_t first = 0;
    std::uint32_t count = 0;
};

// Appends the Refs of a List piece to `ids` and returns their span; empty for
// any other value.
IdSpan append_id_list(std::string_view piece, std::vector<std::uint64_t>& ids, std::vector<std::uint64_t>& scratch);

}  // namespace quarnel

namespace quarnel {
bool is_valid_utf8(std::string_view s);
}  // namespace quarnel
