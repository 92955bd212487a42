#include "extractors/properties.hpp"

#include <iterator>
#include <memory>

#include "extractors/definition_join.hpp"
#include "extractors/predefined_sets.hpp"
#include "extractors/property_values.hpp"
#include "indexer/header.hpp"
#include "schema/attributes.hpp"

namespace quarnel {

PropertyColumns extract_properties(const EntityTable& table, const GuidIndex& guids, const PartPlan& plan) {
    PropertyColumns out;
    out.text.share_equal_texts();
    // A role without a label is a null cell.
    out.kind.labels = kPropertyKindLabels;
    out.role.labels = kValueRoleLabels;
    out.source.labels = kSourceLabels;

    // A file that names no schema this build knows is read as IFC4, the most common one.
    const Schema* schema = schema_named(read_header(table.file()).schema);
    const PredefinedSets predefined(schema ? *schema : *schema_named("IFC4"));
    const auto make_renderer = [&](TextPool& pool) {
        return std::make_unique<PropertyRenderer>(table, pool, &predefined);
    };
    const auto render = [](std::unique_ptr<PropertyRenderer>& renderer, std::uint64_t id, std::vector<ValueRow>& rows) {
        renderer->append(id, rows);
    };
    // The wide columns first and last: the two threads that grow them get about as many bytes.
    const auto resize = [&](std::size_t n) {
        resize_columns(n, out.number.values, out.guid, out.entity, out.pset_name, out.prop_name, out.value,
                       out.value_type, out.number.present, out.type_guid, out.kind.codes, out.role.codes,
                       out.source.codes, out.value_index.present, out.value_index.values);
    };
    const auto put = [&](std::size_t i, std::uint32_t guid, std::uint32_t entity, std::uint32_t set_name,
                         const ValueRow& r, ValueSource source, std::uint32_t type_guid) {
        out.guid[i] = guid;
        out.entity[i] = entity;
        out.pset_name[i] = set_name;
        out.prop_name[i] = r.name;
        out.value[i] = r.value;
        out.value_type[i] = r.value_type;
        out.type_guid[i] = type_guid;
        out.number.set(i, r.has_number ? std::optional(r.number) : std::nullopt);
        out.kind.codes[i] = static_cast<std::uint8_t>(r.kind);
        out.role.codes[i] = static_cast<std::uint8_t>(r.role);
        out.source.codes[i] = static_cast<std::uint8_t>(source);
        out.value_index.set(i, r.index >= 0 ? std::optional<std::uint32_t>(r.index) : std::nullopt);
    };
    join_definitions<ValueRow>(table, guids, out.text, SetKind{"IFCPROPERTYSET", 4, &predefined}, plan, make_renderer,
                               render, resize, put);
    return out;
}

}  // namespace quarnel
