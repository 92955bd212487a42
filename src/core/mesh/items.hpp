#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "mesh/geometry.hpp"
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

// Builders behind the dispatcher; each gives no sub-mesh when nothing can be read.
using Points = std::vector<Vec3>;
std::optional<Points> read_point_list(const EntityTable& table, std::uint64_t id);
std::optional<std::vector<std::uint32_t>> read_index_list(std::string_view value);
std::optional<SubMesh> mesh_polygonal_face_set(const EntityTable& table, std::string_view attributes);
std::optional<SubMesh> mesh_triangulated_face_set(const EntityTable& table, std::string_view attributes);
std::optional<MeshData> triangulate_shell(const EntityTable& table, std::uint64_t id);
// The faces (references to IFCFACE, IFCFACESURFACE or IFCADVANCEDFACE) of a list's inner text.
std::optional<MeshData> triangulate_faces(const EntityTable& table, std::string_view faces_list);
std::optional<SubMesh> mesh_brep(const EntityTable& table, std::string_view attributes);
std::optional<SubMesh> mesh_surface_model(const EntityTable& table, std::string_view attributes);
std::vector<SubMesh> mesh_mapped_item(const EntityTable& table, std::uint64_t id, ItemMeshCache& cache);
PlacementMatrix read_transformation_operator(const EntityTable& table, std::uint64_t id);

// Items of an IFCSHAPEREPRESENTATION: the references of its attribute 3.
std::vector<std::uint64_t> representation_items(const EntityTable& table, std::uint64_t id);

}  // namespace quarnel
