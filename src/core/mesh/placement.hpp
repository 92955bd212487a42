#pragma once
#include <cstdint>
#include <memory>
#include <optional>

#include "mesh/geometry.hpp"
#include "step/entity_table.hpp"
#include "step/flat_map.hpp"

namespace quarnel {

// The frame of an IFCAXIS2PLACEMENT3D or 2D; the identity for anything else.
PlacementMatrix read_axis_placement(const EntityTable& table, std::uint64_t id);
// The coordinates of an IFCDIRECTION or IFCCARTESIANPOINT (missing ones 0).
std::optional<Vec3> read_direction(const EntityTable& table, std::uint64_t id);
std::optional<Vec3> read_point(const EntityTable& table, std::uint64_t id);

// Resolved object placements of one mesh-emission pass, parents included.
struct PlacementCache {
    IdMap<PlacementMatrix> matrices{4096};
    std::unique_ptr<IdMap<std::uint64_t>> grid_of_axis;  // grid of each grid axis, read on first need
};

// Model-space frame of an object placement; the identity when it cannot be read.
// Chains are walked without recursion; a placement met again on its own chain
// counts as the identity there, which cuts the cycle.
PlacementMatrix resolve_placement(const EntityTable& table, PlacementCache& cache, std::uint64_t id);

}  // namespace quarnel
