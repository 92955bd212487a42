#pragma once
#include <cstdint>
#include <vector>

#include "mesh/geometry.hpp"
#include "step/entity_table.hpp"
#include "step/flat_map.hpp"

namespace quarnel {

// Sub-meshes of every representation item built in one pass, empty results
// included; mapped items are not stored (their source items are).
struct ItemMeshCache {
    IdMap<std::vector<SubMesh>> items{1024};
};

// The sub-meshes of one representation item in its own coordinates. The
// reference points into the cache or into `owned` and stays valid until the
// next call with the same cache.
const std::vector<SubMesh>& mesh_item(const EntityTable& table, std::uint64_t id, ItemMeshCache& cache,
                                      std::vector<SubMesh>& owned);

// Items of an IFCSHAPEREPRESENTATION: the references of its attribute 3.
std::vector<std::uint64_t> representation_items(const EntityTable& table, std::uint64_t id);

}  // namespace quarnel
