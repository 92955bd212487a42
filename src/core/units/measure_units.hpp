#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "units/length_unit.hpp"

namespace quarnel {

// Base units per assigned unit of a type measured in a power of the metre ("AREAUNIT", 2;
// "VOLUMEUNIT", 3): an SI unit's prefix raised to the power, or a conversion-based unit's
// factor in such an SI unit (a square foot is 0.09290304). Absent when none is assigned.
std::optional<double> metre_power_unit_scale(const std::vector<std::uint64_t>& assigned, const UnitLookup& lookup,
                                             std::string_view unit_type, int power);

}  // namespace quarnel
