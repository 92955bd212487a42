#include "step/lexer.hpp"

#include <charconv>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quarnel {
namespace {

bool is_word_byte(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

// End of the run of word bytes starting at `p` (a type name), before `end`.
// Runs once per statement, so sixteen bytes are classified at a time.
std::size_t word_end(const char* s, std::size_t p, std::size_t end) {
#if defined(__SSE2__)
    while (end - p >= 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + p));
        // Signed compares: bytes >= 0x80 are negative and fall outside every range.
        const auto in = [&](char lo, char hi) {
            return _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8(static_cast<char>(lo - 1))),
                                 _mm_cmplt_epi8(c, _mm_set1_epi8(static_cast<char>(hi + 1))));
        };
        const __m128i word = _mm_or_si128(_mm_or_si128(in('A', 'Z'), in('a', 'z')),
                                          _mm_or_si128(in('0', '9'), _mm_cmpeq_epi8(c, _mm_set1_epi8('_'))));
        const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(word)) & 0xFFFFu;
        if (other) return p + static_cast<std::size_t>(__builtin_ctz(other));
        p += 16;
    }
#endif
    while (p < end && is_word_byte(static_cast<unsigned char>(s[p]))) ++p;
    return p;
}

int hex_value(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Decodes UTF-16 code units; false (and nothing appended) on an unpaired surrogate.
bool append_utf16(std::string& out, const std::vector<std::uint16_t>& units) {
    std::string decoded;
    for (std::size_t k = 0; k < units.size(); ++k) {
        std::uint32_t u = units[k];
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (k + 1 >= units.size()) return false;
            std::uint32_t lo = units[k + 1];
            if (lo < 0xDC00 || lo > 0xDFFF) return false;
            append_utf8(decoded, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
            ++k;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return false;
        } else {
            append_utf8(decoded, u);
        }
    }
    out += decoded;
    return true;
}

}  // namespace

std::optional<std::size_t> skip_quoted(std::string_view text, std::size_t open) {
    const char* base = text.data();
    const char* end = base + text.size();
    const char* p = base + open + 1;
    for (;;) {
        const void* q = p < end ? std::memchr(p, '\'', static_cast<std::size_t>(end - p)) : nullptr;
        if (!q) return std::nullopt;
        const char* quote = static_cast<const char*>(q);
        if (quote + 1 < end && quote[1] == '\'') {
            p = quote + 2;
            continue;
        }
        return static_cast<std::size_t>(quote + 1 - base);
    }
}

namespace {

// `DATA` at `at` that stands as a word and is followed (after whitespace,
// 0x85 and 0xA0 included) by `;`: the offset after that `;`.
std::optional<std::size_t> data_keyword_at(std::string_view file, std::size_t at) {
    const std::size_t n = file.size();
    if (at + 4 > n || file.compare(at, 4, "DATA") != 0) return std::nullopt;
    if (at > 0 && is_word_byte(static_cast<unsigned char>(file[at - 1]))) return std::nullopt;
    std::size_t p = at + 4;
    while (p < n) {
        const auto c = static_cast<unsigned char>(file[p]);
        if (!is_wide_space(c)) break;
        ++p;
    }
    if (p < n && file[p] == ';') return p + 1;
    return std::nullopt;
}

// The keyword outside quoted strings and comments, so that header text
// mentioning `DATA;` is not taken for the section.
std::optional<std::size_t> find_data_outside_strings(std::string_view file) {
    const std::size_t n = file.size();
    std::size_t p = 0;
    while (p < n) {
        const char c = file[p];
        if (c == '\'') {
            auto after = skip_quoted(file, p);
            if (!after) return std::nullopt;
            p = *after;
        } else if (c == '/' && p + 1 < n && file[p + 1] == '*') {
            const std::size_t close = file.find("*/", p + 2);
            if (close == std::string_view::npos) return std::nullopt;
            p = close + 2;
        } else if (c == 'D') {
            if (auto end = data_keyword_at(file, p)) return end;
            ++p;
        } else {
            ++p;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::size_t> find_data_section(std::string_view file) {
    if (auto end = find_data_outside_strings(file)) return end;
    // A malformed header string (an unescaped quote) throws the quoting off:
    // fall back to the first qualifying keyword anywhere.
    const char* base = file.data();
    const std::size_t n = file.size();
    std::size_t from = 0;
    while (from + 4 <= n) {
        const void* hit = std::memchr(base + from, 'D', n - from);
        if (!hit) return std::nullopt;
        const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
        if (auto end = data_keyword_at(file, at)) return end;
        from = at + 1;
    }
    return std::nullopt;
}

namespace {

// Bit i of the result: whether an odd number of bits 0..i of `x` are set.
constexpr std::uint64_t prefix_xor(std::uint64_t x) {
    x ^= x << 1;
    x ^= x << 2;
    x ^= x << 4;
    x ^= x << 8;
    x ^= x << 16;
    x ^= x << 32;
    return x;
}

}  // namespace

// Quotes are counted rather than matched: a doubled quote inside a string
// closes and reopens it with nothing between, so a `;` lies inside a string
// exactly when an odd number of quotes stand before it in the statement.
// Sixty-four bytes are classified at a time.
std::optional<std::size_t> find_statement_end(std::string_view file, std::size_t start, std::size_t limit) {
    if (limit > file.size()) limit = file.size();
    if (start >= limit) return std::nullopt;
    const char* base = file.data();
    const char* end = base + limit;
    const char* p = base + start;
    std::uint64_t inside = 0;  // all ones while a string is open at the start of a block
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('\'');
    const __m128i semicolon = _mm_set1_epi8(';');
    while (end - p >= 64) {
        std::uint64_t quotes = 0, semicolons = 0;
        for (int k = 0; k < 4; ++k) {
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
            quotes |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(c, quote))))
                      << (16 * k);
            semicolons |= static_cast<std::uint64_t>(
                              static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(c, semicolon))))
                          << (16 * k);
        }
        const std::uint64_t in_string = prefix_xor(quotes) ^ inside;
        if (const std::uint64_t ends = semicolons & ~in_string) {
            return static_cast<std::size_t>(p - base) + static_cast<std::size_t>(__builtin_ctzll(ends));
        }
        inside = (in_string >> 63) ? ~std::uint64_t{0} : 0;
        p += 64;
    }
#endif
    bool open = inside != 0;
    for (; p < end; ++p) {
        if (*p == '\'') {
            open = !open;
        } else if (*p == ';' && !open) {
            return static_cast<std::size_t>(p - base);
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> parse_u64(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (const char ch : digits) {
        const auto c = static_cast<unsigned char>(ch);
        if (!is_digit(c)) return std::nullopt;
        if (__builtin_mul_overflow(v, 10u, &v) || __builtin_add_overflow(v, c - '0', &v)) return std::nullopt;
    }
    return v;
}

bool parse_instance_header(std::string_view s, InstanceHeader& out) {
    const std::size_t n = s.size();
    if (n < 2 || s[0] != '#') return false;
    // The id is read in the same walk that finds its end (this runs once per
    // statement); only a run longer than 19 digits can overflow.
    std::size_t p = 1;
    std::uint64_t id = 0;
    while (p < n && is_digit(static_cast<unsigned char>(s[p]))) {
        id = id * 10 + static_cast<std::uint64_t>(s[p] - '0');
        ++p;
    }
    if (p == 1) return false;
    if (p - 1 > 19) {
        const auto checked = parse_u64(s.substr(1, p - 1));
        if (!checked) return false;
        id = *checked;
    }
    while (p < n && is_space(static_cast<unsigned char>(s[p]))) ++p;
    if (p >= n || s[p] != '=') return false;
    ++p;
    while (p < n && is_space(static_cast<unsigned char>(s[p]))) ++p;
    const std::size_t name_begin = p;
    p = word_end(s.data(), p, n);
    if (p == name_begin || p >= n) return false;
    const std::size_t name_end = p;
    while (p < n && is_space(static_cast<unsigned char>(s[p]))) ++p;
    if (p >= n || s[p] != '(') return false;
    const std::size_t open = p;
    std::size_t e = n;
    while (e > open + 1 && is_space(static_cast<unsigned char>(s[e - 1]))) --e;
    if (e <= open + 1 || s[e - 1] != ')') return false;
    out.id = id;
    out.type = std::string_view(s.data() + name_begin, name_end - name_begin);
    out.attributes = std::string_view(s.data() + open + 1, e - 1 - (open + 1));
    return true;
}

std::optional<InstanceHeader> parse_instance_header(std::string_view s) {
    InstanceHeader h;
    if (!parse_instance_header(s, h)) return std::nullopt;
    return h;
}

std::string decode_string(std::string_view in) {
    std::string out;
    const std::size_t n = in.size();
    if (n == 0) return out;
    out.reserve(n);
    std::vector<std::uint16_t> units;
    std::size_t i = 0;
    while (i < n) {
        const auto c = static_cast<unsigned char>(in[i]);
        if (c == '\'') {
            out.push_back('\'');
            i += (i + 1 < n && in[i + 1] == '\'') ? 2 : 1;
        } else if (c == '\\') {
            if (i + 3 < n && in[i + 1] == 'S' && in[i + 2] == '\\' &&
                static_cast<unsigned char>(in[i + 3]) >= 0x20 && static_cast<unsigned char>(in[i + 3]) <= 0x7F) {
                append_utf8(out, 0x80 + static_cast<unsigned char>(in[i + 3]));
                i += 4;
            } else if (i + 4 < n && in[i + 1] == 'X' && in[i + 2] == '\\' &&
                       hex_value(static_cast<unsigned char>(in[i + 3])) >= 0 &&
                       hex_value(static_cast<unsigned char>(in[i + 4])) >= 0) {
                append_utf8(out, static_cast<std::uint32_t>(hex_value(static_cast<unsigned char>(in[i + 3])) * 16 +
                                                            hex_value(static_cast<unsigned char>(in[i + 4]))));
                i += 5;
            } else if (i + 3 < n && in[i + 1] == 'X' && in[i + 2] == '2' && in[i + 3] == '\\') {
                std::size_t e = i + 4;
                while (e + 4 <= n && in.compare(e, 4, "\\X0\\") != 0) ++e;
                // Without a terminator e stops where fewer than four bytes remain;
                // those bytes are dropped and the string ends.
                units.clear();
                for (std::size_t g = i + 4; g + 4 <= e; g += 4) {
                    std::uint32_t u = 0;
                    bool ok = true;
                    for (std::size_t k = 0; k < 4; ++k) {
                        const int h = hex_value(static_cast<unsigned char>(in[g + k]));
                        if (h < 0) {
                            ok = false;
                            break;
                        }
                        u = u * 16 + static_cast<std::uint32_t>(h);
                    }
                    if (ok) units.push_back(static_cast<std::uint16_t>(u));
                }
                append_utf16(out, units);
                i = e + 4;
            } else {
                out.push_back('\\');
                i += 1;
            }
        } else if (c >= 0x80) {
            append_utf8(out, c);
            i += 1;
        } else {
            out.push_back(static_cast<char>(c));
            i += 1;
        }
    }
    return out;
}

std::optional<double> parse_real(std::string_view t) {
    std::size_t p = 0;
    const std::size_t n = t.size();
    bool negative = false;
    bool signed_token = false;
    if (p < n && (t[p] == '+' || t[p] == '-')) {
        negative = t[p] == '-';
        signed_token = true;
        ++p;
    }
    if (signed_token && p < n && !is_digit(static_cast<unsigned char>(t[p])) && t[p] != '.') {
        const std::string_view word = t.substr(p);
        if (equals_upper(word, "INF") || equals_upper(word, "INFINITY")) {
            const double inf = std::numeric_limits<double>::infinity();
            return negative ? -inf : inf;
        }
        if (equals_upper(word, "NAN")) {
            const double nan = std::numeric_limits<double>::quiet_NaN();
            return negative ? -nan : nan;
        }
        return std::nullopt;
    }
    const std::size_t mantissa_begin = p;
    std::size_t int_digits = 0, frac_digits = 0;
    while (p < n && is_digit(static_cast<unsigned char>(t[p]))) ++p, ++int_digits;
    if (p < n && t[p] == '.') {
        ++p;
        while (p < n && is_digit(static_cast<unsigned char>(t[p]))) ++p, ++frac_digits;
    }
    if (int_digits + frac_digits == 0) return std::nullopt;
    long long exponent = 0;
    if (p < n && (t[p] == 'e' || t[p] == 'E')) {
        ++p;
        bool exp_negative = false;
        if (p < n && (t[p] == '+' || t[p] == '-')) exp_negative = t[p++] == '-';
        const std::size_t exp_begin = p;
        while (p < n && is_digit(static_cast<unsigned char>(t[p]))) {
            if (exponent < 100000000) exponent = exponent * 10 + (t[p] - '0');
            ++p;
        }
        if (p == exp_begin) return std::nullopt;
        if (exp_negative) exponent = -exponent;
    }
    if (p != n) return std::nullopt;

    double value = 0.0;
    const char* first = t.data() + mantissa_begin;
    auto [ptr, ec] = std::from_chars(first, t.data() + n, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Overflow or underflow: the decimal magnitude (significant integer digits
        // plus the exponent) tells which.
        long long magnitude = exponent;
        for (const char* r = first; r < t.data() + n && is_digit(static_cast<unsigned char>(*r)); ++r) {
            if (magnitude != exponent || *r != '0') ++magnitude;
        }
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc() || ptr != t.data() + n) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

namespace {

// The common form `#1,#2, #3`: references and commas, whitespace around
// them. False (with `out` in any state) for anything else.
bool plain_references(std::string_view text, std::vector<std::uint64_t>& out) {
    const char* p = text.data();
    const char* const end = p + text.size();
    for (;;) {
        while (p < end && is_space(static_cast<unsigned char>(*p))) ++p;
        if (p == end || *p != '#') return false;
        ++p;
        if (p == end || !is_digit(static_cast<unsigned char>(*p))) return false;
        std::uint64_t v = 0;
        for (; p < end && is_digit(static_cast<unsigned char>(*p)); ++p) {
            if (__builtin_mul_overflow(v, 10u, &v) || __builtin_add_overflow(v, *p - '0', &v)) return false;
        }
        out.push_back(v);
        while (p < end && is_space(static_cast<unsigned char>(*p))) ++p;
        if (p == end) return true;
        if (*p != ',') return false;
        ++p;
    }
}

}  // namespace

void reference_list(std::string_view list_text, std::vector<std::uint64_t>& out) {
    out.clear();
    if (plain_references(list_text, out)) return;
    out.clear();  // the shortcut may have read part of the list
    PieceWalker walker(list_text);
    for (std::string_view p; walker.next(p);) {
        // Only `#digits` (or `#+digits`) is a Ref.
        if (p.size() >= 2 && p[0] == '#') {
            std::string_view digits = p.substr(1);
            if (digits[0] == '+') digits.remove_prefix(1);
            if (auto id = parse_u64(digits)) out.push_back(*id);
        }
    }
}

std::vector<std::uint64_t> reference_list(std::string_view list_text) {
    std::vector<std::uint64_t> out;
    out.reserve(8);
    reference_list(list_text, out);
    return out;
}

}  // namespace quarnel
