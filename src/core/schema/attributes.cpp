#include "schema/attributes.hpp"

#include <algorithm>

#include "step/text.hpp"

namespace quarnel {
namespace {

using K = AttributeKind;
#include "schema/attributes_table.inc"

const Schema kSchemas[] = {
    {"IFC2X3", kIFC2X3Entities, kIFC2X3Attributes},
    {"IFC4", kIFC4Entities, kIFC4Attributes},
    {"IFC4X3", kIFC4X3Entities, kIFC4X3Attributes},
};

bool upper_less(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return ascii_upper(x) < ascii_upper(y); });
}

}  // namespace

std::optional<std::uint16_t> Schema::find(std::string_view name) const {
    const auto before = [](const SchemaEntity& e, std::string_view key) { return upper_less(e.name, key); };
    const auto at = std::lower_bound(entities.begin(), entities.end(), name, before);
    if (at == entities.end() || upper_less(name, at->name)) return std::nullopt;
    return static_cast<std::uint16_t>(at - entities.begin());
}

std::vector<const SchemaAttribute*> Schema::all_attributes(std::uint16_t entity) const {
    std::vector<std::uint16_t> chain;
    // A supertype chain is a few levels deep; the bound keeps a malformed table from looping.
    for (int e = entity; e >= 0 && chain.size() < 64; e = entities[static_cast<std::size_t>(e)].supertype) {
        chain.push_back(static_cast<std::uint16_t>(e));
    }
    std::vector<const SchemaAttribute*> out;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const SchemaEntity& e = entities[*it];
        for (std::size_t i = 0; i < e.count; ++i) out.push_back(&attributes[e.first + i]);
    }
    return out;
}

std::span<const Schema> schemas() { return kSchemas; }

const Schema* schema_named(std::string_view identifier) {
    const auto starts = [&](std::string_view prefix) {
        return identifier.size() >= prefix.size() && !upper_less(identifier.substr(0, prefix.size()), prefix) &&
               !upper_less(prefix, identifier.substr(0, prefix.size()));
    };
    if (starts("IFC4X3")) return &kSchemas[2];
    if (starts("IFC2X3")) return &kSchemas[0];
    if (starts("IFC4")) return &kSchemas[1];
    return nullptr;
}

}  // namespace quarnel
