#pragma once
#include <cstdint>
#include <memory>

#include "mesh/geometry.hpp"
#include "step/flat_map.hpp"

namespace quarnel {

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
