#include "extractors/schema_names.hpp"

#include <algorithm>
#include <iterator>

namespace quarnel {
namespace {

constexpr SchemaName kNames[] = {
#include "extractors/schema_names_table.inc"
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

std::optional<SchemaName> schema_name(std::string_view name) {
    const auto* end = std::end(kNames);
    const auto* at = std::lower_bound(std::begin(kNames), end, name, [](const SchemaName& entry, std::string_view key) {
        return compare_upper(entry.spelling, key) < 0;
    });
    if (at == end || compare_upper(at->spelling, name) != 0) return std::nullopt;
    return *at;
}

}  // namespace quarnel
