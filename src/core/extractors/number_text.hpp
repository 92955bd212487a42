#pragma once
#include <string>
#include <string_view>

namespace quarnel {

// Integral values below 1e15 as integers; otherwise the shortest round-trip
// digits, written positionally.
std::string number_text(double x);
void append_number_text(std::string& out, double x);

// The Boolean and Logical spellings of a one-letter value (T, F, U), or empty.
inline std::string_view truth_text(std::string_view value_type, std::string_view value) {
    if (value.size() != 1) return {};
    const bool logical = value_type == "IfcLogical";
    if (!logical && value_type != "IfcBoolean") return {};
    if (value[0] == 'T') return "True";
    if (value[0] == 'F') return "False";
    if (value[0] == 'U' && logical) return "UNKNOWN";
    return {};
}

}  // namespace quarnel
