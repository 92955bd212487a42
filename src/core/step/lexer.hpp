#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

// 0x09-0x0D and 0x20: the whitespace of statements and parameters.
inline bool is_space(unsigned char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

std::string_view trim(std::string_view s);

// One parameter value. Only `String` owns memory (`text`); `view` borrows.
struct StepValue {
    enum class Kind : std::uint8_t { Null, Derived, String, Ref, Real, Enum, List, Other };
    Kind kind = Kind::Null;
    std::uint64_t ref = 0;   // Ref
    double real = 0.0;       // Real
    std::string_view view;   // Enum text, List inner text, Other token
    std::string text;        // String, decoded UTF-8

    bool is(Kind k) const { return kind == k; }
};

struct InstanceHeader {
    std::uint64_t id = 0;
    std::string_view type;
    std::string_view attributes;
};

using Pieces = std::vector<std::string_view>;

std::optional<std::size_t> find_data_section(std::string_view file);
std::optional<std::size_t> find_statement_end(std::string_view file, std::size_t start, std::size_t limit);
std::optional<InstanceHeader> parse_instance_header(std::string_view statement);
// Same parse into a caller-owned header (no optional to copy out per statement); false when absent.
bool parse_instance_header(std::string_view statement, InstanceHeader& out);

Pieces split_attributes(std::string_view text);
// Same pieces, into a caller-owned buffer (cleared first) so hot loops do not allocate.
void split_attributes(std::string_view text, Pieces& out);
// The trimmed piece at `index`, as split_attributes would return it; absent past the end.
std::optional<std::string_view> attribute_at(std::string_view text, std::size_t index);

StepValue parse_value(std::string_view token);
std::vector<std::uint64_t> reference_list(std::string_view list_text);
void reference_list(std::string_view list_text, std::vector<std::uint64_t>& out);
std::optional<std::string> enum_at(const Pieces& pieces, std::size_t index);

// Pieces of the lexer that other readers reuse.
std::string decode_string(std::string_view inner);
std::optional<std::uint64_t> parse_u64(std::string_view digits);
std::optional<double> parse_real(std::string_view token);

// First byte equal to a or b at or after `from`, or `end` when none.
const char* find_either(const char* from, const char* end, char a, char b);
// Offset just past the closing quote of the string whose opening quote is at
// `open` (doubled quotes stay inside); absent if it does not close before `end`.
std::optional<std::size_t> skip_quoted(std::string_view text, std::size_t open);

}  // namespace quarnel
