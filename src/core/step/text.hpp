#pragma once
#include <string>
#include <string_view>

// Bytes and characters of STEP text: spaces, ASCII letter case, UTF-8.
namespace quarnel {

// 0x09-0x0D and 0x20: the whitespace of statements and parameters.
constexpr bool is_space(unsigned char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

// The same plus 0x85 and 0xA0, which writers put around values too.
constexpr bool is_wide_space(unsigned char c) { return is_space(c) || c == 0x85 || c == 0xA0; }

constexpr char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
constexpr char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Equal length, bytes equal ignoring ASCII case; `upper` is written in upper case.
constexpr bool equals_upper(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size()) return false;
    if (text == upper) return true;  // names are nearly always written in upper case
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (ascii_upper(text[i]) != upper[i]) return false;
    }
    return true;
}

// A type name test: `type` names the upper-case IFC type `upper` in any ASCII case.
constexpr bool type_is(std::string_view type, std::string_view upper) { return equals_upper(type, upper); }

// Trims is_space bytes at both ends. Inline, as the next two: they run once
// per piece or string.
inline std::string_view trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && is_space(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && is_space(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// Trims is_wide_space bytes at both ends.
inline std::string_view trim_wide(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && is_wide_space(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && is_wide_space(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// Raw string bytes that do not decode to themselves: a quote, a backslash or a byte >= 0x80.
inline bool needs_decoding(std::string_view raw) {
    for (const char c : raw) {
        if (c == '\\' || c == '\'' || static_cast<unsigned char>(c) >= 0x80) return true;
    }
    return false;
}

bool is_valid_utf8(std::string_view s);

// "Ifc", byte 3 upper-cased, the rest lower-cased; bytes 0x80-0xFF as Latin-1.
std::string display_case(std::string_view type_name);

}  // namespace quarnel
