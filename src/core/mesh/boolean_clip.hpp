#pragma once
#include <cstdint>
#include <optional>

#include "mesh/items.hpp"

namespace quarnel {

// An IFCBOOLEANRESULT or IFCBOOLEANCLIPPINGRESULT: the first operand (chains of booleans
// followed down their first operands), cut by every half-space second operand on the way
// up. A difference keeps what lies outside the half-space, an intersection what lies
// inside; cuts are capped. Labelled "boolean" when every operation was done, and
// "boolean_unclipped" when some could not be (solid second operands, unions, polygonal
// boundaries that cross the mesh): the first operand stands alone there.
std::optional<SubMesh> mesh_boolean(const EntityTable& table, std::uint64_t id, ItemMeshCache& cache);

}  // namespace quarnel
