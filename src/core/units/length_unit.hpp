#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "step/entity_table.hpp"

namespace quarnel {

// The unit entity with a given id (IFCSIUNIT, IFCCONVERSIONBASEDUNIT, IFCMEASUREWITHUNIT),
// absent when the file has none.
using UnitLookup = std::function<std::optional<Entity>(std::uint64_t)>;

// Metres per model length unit: the first length unit among the assigned units, an SI unit
// (prefix times metre) or a conversion-based unit through the factor the file gives (its
// IFCMEASUREWITHUNIT times that measure's own unit; a foot of 0.3048 metres is 0.3048).
// A conversion whose factor cannot be read falls back on the common names (foot, inch, ...).
// Absent when no length unit is assigned: IFC states no default length unit.
std::optional<double> length_unit_scale(const std::vector<std::uint64_t>& assigned, const UnitLookup& lookup);

// Radians per plane angle unit, the same way (the radian, or a conversion such as the degree);
// absent when no plane angle unit is assigned.
std::optional<double> plane_angle_unit_scale(const std::vector<std::uint64_t>& assigned, const UnitLookup& lookup);

}  // namespace quarnel
