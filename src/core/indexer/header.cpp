#include "indexer/header.hpp"

#include <cstdint>
#include <cstring>

#include "step/text.hpp"
#include "step/values.hpp"

namespace quarnel {
namespace {

constexpr std::size_t kHeaderWindow = 65536;

// First offset at which `keyword` lies entirely inside the window.
std::optional<std::size_t> find_in_window(std::string_view file, std::string_view keyword) {
    const std::string_view window = file.substr(0, file.size() < kHeaderWindow ? file.size() : kHeaderWindow);
    const std::size_t at = window.find(keyword);
    if (at == std::string_view::npos) return std::nullopt;
    return at;
}

std::optional<std::size_t> find_byte(std::string_view file, std::size_t from, char c) {
    if (from >= file.size()) return std::nullopt;
    const void* hit = std::memchr(file.data() + from, c, file.size() - from);
    if (!hit) return std::nullopt;
    return static_cast<std::size_t>(static_cast<const char*>(hit) - file.data());
}

// Code point at `i` of valid UTF-8 text; `len` receives its byte length.
std::uint32_t code_point_at(std::string_view s, std::size_t i, std::size_t& len) {
    const auto b = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(s[i + k])); };
    const std::uint32_t c = b(0);
    if (c < 0x80) {
        len = 1;
        return c;
    }
    if (c < 0xE0) {
        len = 2;
        return ((c & 0x1F) << 6) | (b(1) & 0x3F);
    }
    if (c < 0xF0) {
        len = 3;
        return ((c & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    }
    len = 4;
    return ((c & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
}

// The Unicode White_Space property.
bool is_unicode_space(std::uint32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// The text between FILE_SCHEMA's first `(` and the first `)` after it, with
// quotes, parentheses and commas dropped: its first white-space-separated
// token. Several schema names therefore run together (IFC4IFC2X3).
std::string read_schema(std::string_view file) {
    const auto keyword = find_in_window(file, "FILE_SCHEMA");
    if (!keyword) return {};
    const auto open = find_byte(file, *keyword + 11, '(');
    if (!open) return {};
    const auto close = find_byte(file, *open + 1, ')');
    if (!close) return {};
    const std::string_view inner = file.substr(*open + 1, *close - *open - 1);
    if (!is_valid_utf8(inner)) return {};
    std::string kept;
    kept.reserve(inner.size());
    for (const char c : inner) {
        if (c != '\'' && c != '(' && c != ')' && c != ',') kept.push_back(c);
    }
    std::size_t i = 0, len = 0;
    while (i < kept.size() && is_unicode_space(code_point_at(kept, i, len))) i += len;
    const std::size_t begin = i;
    while (i < kept.size() && !is_unicode_space(code_point_at(kept, i, len))) i += len;
    return kept.substr(begin, i - begin);
}

// Offset of the `)` that closes the parenthesis at `open`, quoted strings
// (with their doubled quotes) skipped; absent when the file ends first.
std::optional<std::size_t> matching_parenthesis(std::string_view file, std::size_t open) {
    long long depth = 0;
    bool quoted = false;
    for (std::size_t i = open; i < file.size(); ++i) {
        const char c = file[i];
        if (quoted) {
            if (c == '\'') {
                if (i + 1 < file.size() && file[i + 1] == '\'') {
                    ++i;
                } else {
                    quoted = false;
                }
            }
        } else if (c == '\'') {
            quoted = true;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0) return i;
        }
    }
    return std::nullopt;
}

// FILE_NAME's sixth parameter, originating_system, when a non-empty string.
std::optional<std::string> read_originating_system(std::string_view file) {
    const auto keyword = find_in_window(file, "FILE_NAME");
    if (!keyword) return std::nullopt;
    const auto open = find_byte(file, *keyword + 9, '(');
    if (!open) return std::nullopt;
    const auto close = matching_parenthesis(file, *open);
    if (!close) return std::nullopt;
    Attributes parameters(file.substr(*open + 1, *close - *open - 1));
    const auto system = parameters.at(5);
    auto text = system ? value::text(*system) : std::nullopt;
    if (!text || text->empty()) return std::nullopt;
    return text;
}

}  // namespace

HeaderFacts read_header(std::string_view file) {
    HeaderFacts facts;
    facts.schema = read_schema(file);
    facts.originating_system = read_originating_system(file);
    facts.is_ifc2x3 = equals_upper(facts.schema, "IFC2X3");
    return facts;
}

}  // namespace quarnel
