#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "mesh/geometry.hpp"
#include "step/entity_table.hpp"

namespace quarnel {

struct Point2 {
    float x = 0.0f, y = 0.0f;
};
using Ring2 = std::vector<Point2>;

// Outline and holes of a swept area in its own 2D frame. Built outlines run counter-clockwise
// and their holes clockwise; arbitrary outlines keep the curve's order, inner curves reversed.
struct Profile {
    Ring2 outer;
    std::vector<Ring2> holes;
};

// The supported profile definitions, placed by their own Position; absent for other types or
// missing parameters.
std::optional<Profile> build_profile(const EntityTable& table, const Entity& profile);

// Moves outline and holes so that the centre of the outline's bounding box is at 0,0.
void centre_on_box(Profile& profile);

// The points of an IFCPOLYLINE or IFCINDEXEDPOLYCURVE (chords only), without a repeated
// closing point; absent for other curves.
std::optional<Ring2> read_curve_2d(const EntityTable& table, std::uint64_t id);

}  // namespace quarnel
