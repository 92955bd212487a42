#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "columns.hpp"
#include "parallel.hpp"
#include "step/entity_table.hpp"
#include "step/flat_map.hpp"
#include "step/guid_index.hpp"
#include "step/lexer.hpp"

namespace quarnel {

// Equal length, bytes equal ignoring ASCII case; `upper` is an upper-case IFC name.
inline bool type_is(std::string_view type, std::string_view upper) {
    if (type.size() != upper.size()) return false;
    if (type == upper) return true;  // names are nearly always written in upper case
    for (std::size_t i = 0; i < type.size(); ++i) {
        char c = type[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if (c != upper[i]) return false;
    }
    return true;
}

// The types a pass reads, by their type_tag, for EntityTable::for_each_in:
// a record whose tag is none of them is passed over without reading it or its
// name. A record that passes still has its name compared (type_is): tags can
// collide.
template <std::size_t N>
class TypeFilter {
public:
    template <class... Names>
    constexpr explicit TypeFilter(Names... upper_names) : tags_{type_tag(upper_names)...} {
        for (const std::uint16_t t : tags_) low_bytes_[(t & 255) >> 6] |= std::uint64_t{1} << (t & 63);
    }
    bool operator()(std::uint16_t tag) const {
        // Most records fail on the low byte alone: one test instead of N.
        if (!(low_bytes_[(tag & 255) >> 6] >> (tag & 63) & 1)) return false;
        for (const std::uint16_t t : tags_) {
            if (tag == t) return true;
        }
        return false;
    }

private:
    std::uint16_t tags_[N];
    std::uint64_t low_bytes_[4] = {};  // which low bytes the tags have
};
template <class... Names>
TypeFilter(Names...) -> TypeFilter<sizeof...(Names)>;

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

// Text id of a String piece whose decoded text is not empty; TextPool::null
// for any other value and for ''.
std::uint32_t pool_optional_text(TextPool& pool, std::string_view piece);

// Text id of number_text(x), copied into the pool.
std::uint32_t pool_number(TextPool& pool, double x);

// Text ids of related objects' GlobalIds, one per object however many rows it
// has. Identifiers as written borrow the file; decoded ones are copied, so the
// pool needs neither the table nor the GuidIndex once the join is done.
class GuidTexts {
public:
    // The map starts small: objects are far fewer than links (an object has
    // many relationships), and a map sized by links is mostly untouched pages.
    GuidTexts(const EntityTable& table, const GuidIndex& guids, TextPool& pool)
        : table_(table), guids_(guids), pool_(pool), known_(1024) {}
    // TextPool::null for an object without a GlobalId.
    std::uint32_t of(std::uint64_t object);

private:
    const EntityTable& table_;
    const GuidIndex& guids_;
    TextPool& pool_;
    IdMap<std::uint32_t> known_;
};

// Below this many records a second thread costs an extractor more than it saves.
constexpr std::size_t kMinRecordsPerPart = 250000;

// Reads the records in parts on several threads (one part for a small
// table): read(table, begin, end, part) fills a Part from the records at
// [begin, end). Each part's texts are shared within it. The parts come back in
// record order.
template <class Part, class Read>
std::vector<Part> read_parts(const EntityTable& table, Read&& read) {
    const std::size_t n = table.records().size();
    const std::size_t parts = part_count(n, kMinRecordsPerPart);
    std::vector<Part> read_parts(parts);
    run_in_parts(n, parts, [&](std::size_t k, std::size_t begin, std::size_t end) {
        read_parts[k].pool.share_equal_texts();
        read(table, begin, end, read_parts[k]);
    });
    return read_parts;
}

// The same, the later parts merged into the first in order by merge(into, from).
template <class Part, class Read, class Merge>
Part read_in_parts(const EntityTable& table, Read&& read, Merge&& merge) {
    std::vector<Part> parts = read_parts<Part>(table, read);
    for (std::size_t k = 1; k < parts.size(); ++k) merge(parts[0], std::move(parts[k]));
    return std::move(parts[0]);
}

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
