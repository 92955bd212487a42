#include "extractors/predefined_sets.hpp"

#include <algorithm>
#include <string>

#include "step/entity_table.hpp"

namespace quarnel {

PredefinedSets::PredefinedSets(const Schema& schema)
    : schema_(schema), is_set_(schema.entities.size(), 0), attributes_(schema.entities.size()) {
    const auto base = schema.find("IfcPropertySetDefinition");
    if (!base) return;
    std::vector<int> left_out;  // the property and quantity sets
    for (const char* name : {"IfcPropertySet", "IfcQuantitySet", "IfcElementQuantity"}) {
        if (const auto e = schema.find(name)) left_out.push_back(*e);
    }
    const std::size_t inherited = schema.all_attributes(*base).size();
    for (std::size_t i = 0; i < schema.entities.size(); ++i) {
        bool under = false;
        // A supertype chain is a few levels deep; the bound keeps a malformed table from looping.
        int depth = 0;
        for (int e = schema.entities[i].supertype; e >= 0 && depth < 64; e = schema.entities[e].supertype, ++depth) {
            if (std::find(left_out.begin(), left_out.end(), e) != left_out.end()) break;
            if (e == *base) {
                under = std::find(left_out.begin(), left_out.end(), static_cast<int>(i)) == left_out.end();
                break;
            }
        }
        if (!under || schema.entities[i].abstract) continue;
        is_set_[i] = 1;
        std::string upper(schema.entities[i].name);
        for (char& c : upper) c = ascii_upper(c);
        const std::uint16_t tag = type_tag(upper);
        tags_[tag >> 6] |= std::uint64_t{1} << (tag & 63);
        const auto all = schema.all_attributes(static_cast<std::uint16_t>(i));
        for (std::size_t p = inherited; p < all.size(); ++p) {
            if (!schema.is_derived(static_cast<std::uint16_t>(i), p)) attributes_[i].push_back({all[p], p});
        }
    }
}

std::optional<std::uint16_t> PredefinedSets::find(std::string_view type) const {
    const auto e = schema_.find(type);
    if (!e || !is_set_[*e]) return std::nullopt;
    return e;
}

}  // namespace quarnel
