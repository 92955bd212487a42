#pragma once
#include <optional>

#include "mesh/placement.hpp"

namespace quarnel {

// An IFCGRIDPLACEMENT in model coordinates: the frame of the grid holding its first axis,
// moved to the intersection of its two grid axes (each axis the line through its curve's
// end points, reversed where its sense disagrees, shifted to its left by its offset; a
// third offset lifts the point) and turned to its reference direction: a direction, or
// the way to a second intersection; the grid's x axis without one. A leading
// PlacementRelTo is not used: the grid gives the frame. Absent when the axes cannot be
// read or do not cross.
std::optional<PlacementMatrix> grid_placement_frame(const EntityTable& table, PlacementCache& cache,
                                                    const Entity& placement);

}  // namespace quarnel
