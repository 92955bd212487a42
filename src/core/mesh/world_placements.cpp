#include "mesh/world_placements.hpp"

#include "mesh/model_units.hpp"
#include "mesh/placement.hpp"
#include "step/text.hpp"
#include "step/values.hpp"
#include "units/length_unit.hpp"
#include "units/measure_units.hpp"

namespace quarnel {
namespace {

bool is_object_placement(std::string_view type) {
    return type_is(type, "IFCLOCALPLACEMENT") || type_is(type, "IFCGRIDPLACEMENT") ||
           type_is(type, "IFCLINEARPLACEMENT");
}

void read_units(const EntityTable& table, PlacementColumns& out) {
    const ModelUnits units = read_model_units(table);
    out.length_scale = units.length;
    std::optional<std::uint64_t> assignment;
    table.for_each([&](std::uint64_t id, const EntityRecord& record) {
        const std::string_view type = table.type_of(record);
        if (!assignment && type_is(type, "IFCUNITASSIGNMENT")) assignment = id;
        if (!out.precision && type_is(type, "IFCGEOMETRICREPRESENTATIONCONTEXT")) {
            Attributes context(table.entity(record).attributes);
            const auto precision = context.number(3);
            if (precision && *precision > 0.0 && context.number(2) == 3.0) {
                out.precision = *precision * units.length.value_or(1.0);
            }
        }
    });
    const auto e = assignment ? table.get(*assignment) : std::nullopt;
    const auto list = e ? Attributes(e->attributes).list(0) : std::nullopt;
    if (!list) return;
    const std::vector<std::uint64_t> assigned = reference_list(*list);
    const UnitLookup lookup = [&table](std::uint64_t id) { return table.get(id); };
    out.area_scale = metre_power_unit_scale(assigned, lookup, "AREAUNIT", 2);
    out.volume_scale = metre_power_unit_scale(assigned, lookup, "VOLUMEUNIT", 3);
    out.angle_scale = plane_angle_unit_scale(assigned, lookup);
}

}  // namespace

PlacementColumns world_placements(const EntityTable& table) {
    PlacementColumns out;
    read_units(table, out);
    const double scale = out.length_scale.value_or(1.0);
    PlacementCache cache;
    table.for_each([&](std::uint64_t, const EntityRecord& record) {
        const Entity e = table.entity(record);
        // Only rooted objects start with their GlobalId; this skips most records unread.
        if (e.attributes.empty() || e.attributes.front() != '\'') return;
        Attributes a(e.attributes);
        const auto placement = a.ref(5);
        if (!placement) return;
        const auto target = table.get(*placement);
        if (!target || !is_object_placement(target->type)) return;
        const auto guid = value::text(*a.at(0));
        if (!guid) return;
        const PlacementMatrix m = resolve_placement(table, cache, *placement);
        out.guid.push(std::string_view(*guid));
        out.entity.push(std::string_view(display_case(e.type)));
        out.x.push_back(m.m[12] * scale);
        out.y.push_back(m.m[13] * scale);
        out.z.push_back(m.m[14] * scale);
        out.x_axis_x.push_back(m.m[0]);
        out.x_axis_y.push_back(m.m[1]);
        out.x_axis_z.push_back(m.m[2]);
        out.z_axis_x.push_back(m.m[8]);
        out.z_axis_y.push_back(m.m[9]);
        out.z_axis_z.push_back(m.m[10]);
    });
    return out;
}

}  // namespace quarnel
