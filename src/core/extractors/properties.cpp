#include "extractors/properties.hpp"

#include <iterator>
#include <memory>

#include "extractors/definition_join.hpp"
#include "extractors/object_links.hpp"
#include "extractors/property_values.hpp"

namespace quarnel {

PropertyColumns extract_properties(const EntityTable& table, const GuidIndex& guids) {
    PropertyColumns out;
    ObjectLinks links = read_object_links(table, kDefinitionLinks | kTypeLinks);
    const auto make_renderer = [&](TextPool& pool) {
        return std::make_unique<PropertyRenderer>(table, pool);
    };
    const auto render_set = [&](std::unique_ptr<PropertyRenderer>& render, const Entity& e, std::vector<ValueRow>& rows) {
        return render_members(*render, e, "IFCPROPERTYSET", 4, rows);
    };
    const auto reserve = [&](std::size_t n) {
        for (TextColumn* c : {&out.guid, &out.entity, &out.pset_name, &out.prop_name, &out.value, &out.value_type,
                              &out.type_guid, &out.kind, &out.role, &out.source}) {
            c->reserve(n);
        }
        out.number.reserve(n);
        out.value_index.reserve(n);
    };
    // The labels, by code; a role without a label is a null cell.
    out.text.share_equal_texts();
    std::uint32_t kinds[std::size(kPropertyKindLabels)], roles[std::size(kValueRoleLabels)],
        sources[std::size(kSourceLabels)];
    for (std::size_t i = 0; i < std::size(kinds); ++i) kinds[i] = out.text.add_view(kPropertyKindLabels[i]);
    for (std::size_t i = 0; i < std::size(roles); ++i) {
        roles[i] = kValueRoleLabels[i].empty() ? TextPool::null : out.text.add_view(kValueRoleLabels[i]);
    }
    for (std::size_t i = 0; i < std::size(sources); ++i) sources[i] = out.text.add_view(kSourceLabels[i]);
    const auto emit = [&](std::uint32_t guid, std::uint32_t entity, std::uint32_t set_name, const ValueRow& r,
                          ValueSource source, std::uint32_t type_guid) {
        out.guid.push_back(guid);
        out.entity.push_back(entity);
        out.pset_name.push_back(set_name);
        out.prop_name.push_back(r.name);
        out.value.push_back(r.value);
        out.value_type.push_back(r.value_type);
        out.type_guid.push_back(type_guid);
        out.number.push_back(r.has_number ? std::optional(r.number) : std::nullopt);
        out.kind.push_back(kinds[static_cast<std::size_t>(r.kind)]);
        out.role.push_back(roles[static_cast<std::size_t>(r.role)]);
        out.source.push_back(sources[static_cast<std::size_t>(source)]);
        out.value_index.push_back(r.index >= 0 ? std::optional<std::uint64_t>(r.index) : std::nullopt);
    };
    join_definitions<ValueRow>(table, guids, links, out.text, make_renderer, render_set, reserve, emit);
    return out;
}

}  // namespace quarnel
