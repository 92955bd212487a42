#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "step/text.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quarnel {

struct InstanceHeader {
    std::uint64_t id = 0;
    std::string_view type;
    std::string_view attributes;
};

// Offset just past the closing quote of the string whose opening quote is at
// `open` (doubled quotes stay inside); absent if it does not close before `end`.
std::optional<std::size_t> skip_quoted(std::string_view text, std::size_t open);

// The first `'`, `(`, `)` or `,` at or after `i`, or the size of `text`:
// the only bytes a walk over pieces acts on, sixteen tested at a time.
inline std::size_t next_delimiter(std::string_view text, std::size_t i) {
    const char* s = text.data();
    const std::size_t n = text.size();
#if defined(__SSE2__)
    while (i + 16 <= n) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const auto is = [&](char x) { return _mm_cmpeq_epi8(c, _mm_set1_epi8(x)); };
        const __m128i hit = _mm_or_si128(_mm_or_si128(is('\''), is('(')), _mm_or_si128(is(')'), is(',')));
        if (const int mask = _mm_movemask_epi8(hit)) {
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        }
        i += 16;
    }
#endif
    for (; i < n; ++i) {
        const char c = s[i];
        if (c == '\'' || c == '(' || c == ')' || c == ',') return i;
    }
    return n;
}

// The one walk over the top-level pieces of an attribute or list text, each
// trimmed, one at a time: `a, (b,c) ,'x,y'` gives `a`, `(b,c)` and `'x,y'`;
// an empty text gives one empty piece. Nothing after an unclosed quote
// splits, and parenthesis depth carries over from piece to piece, so a stray
// `)` keeps commas after it from splitting.
class PieceWalker {
public:
    explicit PieceWalker(std::string_view text) : text_(text) {}

    bool next(std::string_view& piece) {
        if (done_) return false;
        std::size_t i = pos_;
        const std::size_t n = text_.size();
        while ((i = next_delimiter(text_, i)) < n) {
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

std::optional<std::size_t> find_data_section(std::string_view file);
std::optional<std::size_t> find_statement_end(std::string_view file, std::size_t start, std::size_t limit);
std::optional<InstanceHeader> parse_instance_header(std::string_view statement);
// Same parse into a caller-owned header (no optional to copy out per statement); false when absent.
bool parse_instance_header(std::string_view statement, InstanceHeader& out);

std::vector<std::uint64_t> reference_list(std::string_view list_text);
void reference_list(std::string_view list_text, std::vector<std::uint64_t>& out);

// Parts of the lexer that other readers reuse.
std::string decode_string(std::string_view inner);
std::optional<std::uint64_t> parse_u64(std::string_view digits);
std::optional<double> parse_real(std::string_view token);
}  // namespace quarnel
