#pragma once
#include <cstdint>
#include <vector>

#include "mesh/geometry.hpp"
#include "mesh/items.hpp"
#include "step/entity_table.hpp"

namespace quarnel {

// The frame of an IFCCARTESIANTRANSFORMATIONOPERATOR3D (or its non-uniform
// kind); the identity for anything else.
PlacementMatrix read_transformation_operator(const EntityTable& table, std::uint64_t id);

// The sub-meshes of an IFCMAPPEDITEM, nested mapped items expanded, in the
// item's coordinates.
std::vector<SubMesh> mesh_mapped_item(const EntityTable& table, std::uint64_t id, ItemMeshCache& cache);

}  // namespace quarnel
