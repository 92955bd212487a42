#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "mesh/geometry.hpp"
#include "step/entity_table.hpp"

namespace quarnel {

// Arcs and circles are drawn as chords of this angle (2 pi / 32 in 32-bit, the step of the
// circle profiles), at least one chord per arc.
inline constexpr float kArcStep = 0.19634955f;

// The points of a bounded curve in its own coordinates, in the curve's direction: indexed poly
// curves (arc segments as chords of kArcStep), composite curves of any of these (segments
// reversed where their sense disagrees, joints not repeated), trimmed circles, ellipses and
// lines, whole circles and ellipses, and polylines. Absent for other curves, for curves nested
// deeper than a few levels and for curves of more points than a mesh can address.
std::optional<std::vector<Vec3>> read_curve_points(const EntityTable& table, std::uint64_t id);

}  // namespace quarnel
