#include "extractors/common.hpp"

#include <charconv>
#include <cmath>

namespace quarnel {
namespace {

bool is_wide_space(unsigned char c) { return c == 0x20 || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0; }

void append_latin1(std::string& out, unsigned char c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

std::string_view trim_wide(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && is_wide_space(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && is_wide_space(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::string display_case(std::string_view name) {
    std::string out = "Ifc";
    for (std::size_t i = 3; i < name.size(); ++i) {
        auto c = static_cast<unsigned char>(name[i]);
        if (i == 3) {
            if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 32);
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<unsigned char>(c + 32);
        }
        append_latin1(out, c);
    }
    return out;
}

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

std::optional<std::uint32_t> pool_string(TextPool& pool, std::string_view piece) {
    const std::string_view t = trim(piece);
    if (t.size() < 2 || t.front() != '\'' || t.back() != '\'') return std::nullopt;
    const std::string_view inner = t.substr(1, t.size() - 2);
    for (const char c : inner) {
        if (c == '\\' || c == '\'' || static_cast<unsigned char>(c) >= 0x80) return pool.add_copy(decode_string(inner));
    }
    return pool.add_view(inner);
}

std::string string_or_empty(std::string_view piece) {
    StepValue v = parse_value(piece);
    return v.is(StepValue::Kind::String) ? std::move(v.text) : std::string();
}

std::optional<std::string> optional_text(std::string_view piece) {
    StepValue v = parse_value(piece);
    if (!v.is(StepValue::Kind::String) || v.text.empty()) return std::nullopt;
    return std::move(v.text);
}

std::optional<PendingLinks> pending_links(const Pieces& pieces, std::size_t objects_at, std::size_t definition_at) {
    if (pieces.size() <= objects_at || pieces.size() <= definition_at) return std::nullopt;
    const StepValue d = parse_value(pieces[definition_at]);
    if (!d.is(StepValue::Kind::Ref)) return std::nullopt;
    return PendingLinks{pieces[objects_at], d.ref};
}

void related_objects(std::string_view objects, std::vector<std::uint64_t>& out) {
    out.clear();
    if (objects.empty()) return;
    if (objects.front() == '#') {
        const StepValue o = parse_value(objects);
        if (o.is(StepValue::Kind::Ref)) out.push_back(o.ref);
        return;
    }
    const StepValue list = parse_value(objects);
    if (list.is(StepValue::Kind::List)) reference_list(list.view, out);
}

void append_links(const Pieces& pieces, std::size_t objects_at, std::size_t definition_at,
                  std::vector<DefinitionLink>& links, std::vector<std::uint64_t>& scratch) {
    const auto pending = pending_links(pieces, objects_at, definition_at);
    if (!pending) return;
    related_objects(pending->objects, scratch);
    for (const std::uint64_t o : scratch) links.push_back({o, pending->definition});
}

namespace {

// Pieces that cannot be a Ref, Real or List are rejected without parsing:
// parsing a quoted piece would decode it.
bool maybe_unquoted(std::string_view piece) { return !piece.empty() && piece.front() != '\''; }

}  // namespace

std::optional<std::uint64_t> ref_of(std::string_view piece) {
    if (!maybe_unquoted(piece)) return std::nullopt;
    const StepValue v = parse_value(piece);
    if (!v.is(StepValue::Kind::Ref)) return std::nullopt;
    return v.ref;
}

std::optional<double> real_of(std::string_view piece) {
    if (!maybe_unquoted(piece)) return std::nullopt;
    const StepValue v = parse_value(piece);
    if (!v.is(StepValue::Kind::Real)) return std::nullopt;
    return v.real;
}

std::optional<std::string_view> list_of(std::string_view piece) {
    if (!maybe_unquoted(piece)) return std::nullopt;
    const StepValue v = parse_value(piece);
    if (!v.is(StepValue::Kind::List)) return std::nullopt;
    return v.view;
}

std::uint32_t pool_optional_text(TextPool& pool, std::string_view piece) {
    const auto id = pool_string(pool, piece);
    return id && !pool[*id].empty() ? *id : TextPool::null;
}

std::uint32_t pool_number(TextPool& pool, double x) {
    std::string text;
    append_number_text(text, x);
    return pool.add_copy(text);
}

std::uint32_t GuidTexts::of(std::uint64_t object) {
    if (const std::uint32_t* id = known_.find(object)) return *id;
    const auto guid = guids_.guid_of(object);
    const std::string_view file = table_.file();
    const bool in_file = guid && guid->data() >= file.data() && guid->data() < file.data() + file.size();
    const std::uint32_t id = !guid ? TextPool::null : in_file ? pool_.add_view(*guid) : pool_.add_copy(*guid);
    known_[object] = id;
    return id;
}

IdSpan append_id_list(std::string_view piece, std::vector<std::uint64_t>& ids, std::vector<std::uint64_t>& scratch) {
    IdSpan span{ids.size(), 0};
    const auto list = list_of(piece);
    if (!list) return span;
    reference_list(*list, scratch);
    ids.insert(ids.end(), scratch.begin(), scratch.end());
    span.count = static_cast<std::uint32_t>(scratch.size());
    return span;
}

}  // namespace quarnel

namespace quarnel {

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

}  // namespace quarnel
