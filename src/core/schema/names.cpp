#include "schema/names.hpp"

#include <algorithm>
#include <array>
#include <iterator>

#include "step/entity_table.hpp"

namespace quarnel {
namespace {

constexpr SchemaName kNames[] = {
#include "schema/names_table.inc"
};

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// -1, 0, 1 as a compares to b, both upper-cased byte by byte.
int compare_upper(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(upper(a[i]));
        const auto y = static_cast<unsigned char>(upper(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

bool tag_may_have(std::uint16_t tag, SchemaFlags flag) {
    using Bits = std::array<std::uint64_t, 1024>;  // one bit per tag
    // One set of tags per flag bit, made once.
    static const std::array<Bits, 8> tags = [] {
        std::array<Bits, 8> out{};
        for (const SchemaName& n : kNames) {
            const std::uint16_t t = type_tag(n.spelling);
            for (int bit = 0; bit < 8; ++bit) {
                if (n.flags & (1 << bit)) out[bit][t >> 6] |= std::uint64_t{1} << (t & 63);
            }
        }
        return out;
    }();
    int bit = 0;
    while (bit < 7 && !(flag & (1 << bit))) ++bit;
    return tags[bit][tag >> 6] >> (tag & 63) & 1;
}

std::optional<SchemaName> schema_name(std::string_view name) {
    const auto* end = std::end(kNames);
    const auto* at = std::lower_bound(std::begin(kNames), end, name, [](const SchemaName& entry, std::string_view key) {
        return compare_upper(entry.spelling, key) < 0;
    });
    if (at == end || compare_upper(at->spelling, name) != 0) return std::nullopt;
    return *at;
}

}  // namespace quarnel
