#include "indexer/pass.hpp"
#include "step/values.hpp"
#include "units/length_unit.hpp"
#include "units/measure_units.hpp"

namespace quarnel {

// The unit entities are kept as text and resolved once the assignment is known: a
// conversion-based unit often names a measure written further down the file.
void IndexPass::unit(const InstanceHeader& h) { units_[h.id] = Entity{h.type, h.attributes}; }

// The first assignment that lists at least one unit is the one used.
void IndexPass::unit_assignment() {
    if (!unit_list_.empty()) return;
    if (const auto units = record_.list(0)) reference_list(*units, unit_list_);
}

void IndexPass::resolve_unit_scale() {
    if (unit_list_.empty() || units_.size() == 0) return;
    const UnitLookup lookup = [this](std::uint64_t id) -> std::optional<Entity> {
        const Entity* e = units_.find(id);
        return e ? std::optional<Entity>(*e) : std::nullopt;
    };
    out_.unit_scale = length_unit_scale(unit_list_, lookup);
    out_.area_scale = metre_power_unit_scale(unit_list_, lookup, "AREAUNIT", 2);
    out_.volume_scale = metre_power_unit_scale(unit_list_, lookup, "VOLUMEUNIT", 3);
    out_.angle_scale = plane_angle_unit_scale(unit_list_, lookup);
}

}  // namespace quarnel
