#include "extractors/number_text.hpp"

#include <charconv>
#include <cmath>

namespace quarnel {

void append_number_text(std::string& out, double x) {
    if (std::isnan(x)) {
        out += "NaN";
        return;
    }
    if (std::isinf(x)) {
        out += x < 0 ? "-inf" : "inf";
        return;
    }
    if (x == std::trunc(x) && std::fabs(x) < 1e15) {
        out += std::to_string(static_cast<long long>(x));
        return;
    }
    // Shortest round-trip digits in scientific form, then moved into place.
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific);
    (void)ec;
    std::string_view sci(buf, static_cast<std::size_t>(end - buf));
    if (sci.front() == '-') {
        out.push_back('-');
        sci.remove_prefix(1);
    }
    const std::size_t e_at = sci.find('e');
    std::string digits;
    for (const char c : sci.substr(0, e_at)) {
        if (c != '.') digits.push_back(c);
    }
    int exponent = 0;
    std::from_chars(sci.data() + e_at + 1 + (sci[e_at + 1] == '+'), sci.data() + sci.size(), exponent);
    if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
        return;
    }
    const auto int_len = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= int_len) {
        out += digits;
        out.append(int_len - digits.size(), '0');
    } else {
        out.append(digits, 0, int_len);
        out.push_back('.');
        out.append(digits, int_len, std::string::npos);
    }
}

std::string number_text(double x) {
    std::string s;
    append_number_text(s, x);
    return s;
}

}  // namespace quarnel
