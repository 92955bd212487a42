#pragma once
#include <cstdint>
#include <vector>

#include "step/entity_table.hpp"

namespace quarnel {

// The point ids of an IFCEDGELOOP: the start vertex of each oriented edge in turn (its edge's
// end where the orientation is reversed). Curved edges become chords between their vertices.
// Edges or vertices that cannot be read are left out.
void edge_loop_points(const EntityTable& table, const Entity& loop, std::vector<std::uint64_t>& points);

}  // namespace quarnel
