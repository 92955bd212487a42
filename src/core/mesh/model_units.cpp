#include "mesh/model_units.hpp"

#include "step/values.hpp"
#include "units/length_unit.hpp"

namespace quarnel {
namespace {

thread_local double current_plane_angle = 1.0;

}  // namespace

ModelUnits read_model_units(const EntityTable& table) {
    ModelUnits units;
    std::optional<std::uint64_t> assignment;
    constexpr std::uint16_t tag = type_tag("IFCUNITASSIGNMENT");
    table.for_each_in(0, table.records().size(), [](std::uint16_t t) { return t == tag; },
                      [&](std::uint64_t id, const EntityRecord& record) {
                          if (!assignment && type_is(table.type_of(record), "IFCUNITASSIGNMENT")) assignment = id;
                      });
    if (!assignment) return units;
    const auto e = table.get(*assignment);
    const auto list = e ? Attributes(e->attributes).list(0) : std::nullopt;
    if (!list) return units;
    const std::vector<std::uint64_t> assigned = reference_list(*list);
    const UnitLookup lookup = [&table](std::uint64_t id) { return table.get(id); };
    units.length = length_unit_scale(assigned, lookup);
    if (const auto angle = plane_angle_unit_scale(assigned, lookup)) units.plane_angle = *angle;
    return units;
}

double radians_per_angle_unit() { return current_plane_angle; }

ModelUnitsScope::ModelUnitsScope(const ModelUnits& units) : saved_(current_plane_angle) {
    current_plane_angle = units.plane_angle;
}

ModelUnitsScope::~ModelUnitsScope() { current_plane_angle = saved_; }

}  // namespace quarnel
