#include "extractors/value_text.hpp"

#include <string>

#include "extractors/common.hpp"
#include "extractors/number_text.hpp"
#include "schema/names.hpp"
#include "step/values.hpp"

namespace quarnel {
std::uint32_t ValueRenderer::type_name(std::string_view raw) {
    auto known = types_.find(raw);
    if (known != types_.end()) return known->second;
    const auto schema = spelling_ == TypeSpelling::Schema ? schema_name(raw) : std::nullopt;
    const std::uint32_t id = schema ? pool_.add_view(schema->spelling) : pool_.add_copy(display_case(raw));
    types_.emplace(raw, id);
    return id;
}

std::uint32_t ValueRenderer::text(std::string_view t, RenderedValue& out) {
    if (value::is_unset(t)) return TextPool::null;
    if (auto s = pool_string(pool_, t)) return *s;
    if (const auto e = value::enumeration(t)) return is_valid_utf8(*e) ? pool_.add_view(*e) : TextPool::null;
    if (const auto id = value::ref(t)) return pool_.add_copy("#" + std::to_string(*id));
    if (const auto x = value::number(t)) {
        out.number = *x;
        out.has_number = true;
        return pool_number(pool_, *x);
    }
    return is_valid_utf8(t) ? pool_.add_view(t) : TextPool::null;  // a list or any other token, as written
}

RenderedValue ValueRenderer::value(std::string_view token) {
    RenderedValue out;
    const std::string_view t = trim_wide(token);
    if (value::is_unset(t)) return out;
    const auto typed = t.size() >= 5 && type_is(t.substr(0, 3), "IFC") ? value::typed(t) : std::nullopt;
    if (!typed) {
        out.value = text(t, out);
        return out;
    }
    out.value_type = type_name(typed->name);
    out.value = text(trim_wide(typed->inner), out);
    if (out.value != TextPool::null && !out.has_number) {
        const std::string_view truth = truth_text(pool_[out.value_type], pool_[out.value]);
        if (!truth.empty()) out.value = pool_.add_view(truth);  // static storage
    }
    return out;
}

}  // namespace quarnel
