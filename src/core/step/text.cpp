#include "step/text.hpp"

#include <cstdint>

namespace quarnel {
namespace {

void append_latin1(std::string& out, unsigned char c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

bool is_valid_utf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        std::size_t len;
        std::uint32_t cp;
        if ((c & 0xE0) == 0xC0) {
            len = 2, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4, cp = c & 0x07;
        } else {
            return false;
        }
        if (static_cast<std::size_t>(end - p) < len) return false;
        for (std::size_t k = 1; k < len; ++k) {
            if ((p[k] & 0xC0) != 0x80) return false;
            cp = cp << 6 | (p[k] & 0x3F);
        }
        const std::uint32_t min_cp = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
        if (cp < min_cp || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        p += len;
    }
    return true;
}

std::string display_case(std::string_view name) {
    std::string out = "Ifc";
    for (std::size_t i = 3; i < name.size(); ++i) {
        append_latin1(out, static_cast<unsigned char>(i == 3 ? ascii_upper(name[i]) : ascii_lower(name[i])));
    }
    return out;
}

}  // namespace quarnel
