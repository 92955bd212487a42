#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "mesh/geometry.hpp"
#include "step/entity_table.hpp"

namespace quarnel {

using Points = std::vector<Vec3>;

// The points of an IFCCARTESIANPOINTLIST3D; entries without three numbers are left out.
std::optional<Points> read_point_list(const EntityTable& table, std::uint64_t id);
// The indices of a list value (clamped to 32 bits, as written: 1-based).
std::optional<std::vector<std::uint32_t>> read_index_list(std::string_view text);

// IFCPOLYGONALFACESET and IFCTRIANGULATEDFACESET from their attribute text;
// absent when no triangle can be read.
std::optional<SubMesh> mesh_polygonal_face_set(const EntityTable& table, std::string_view attributes);
std::optional<SubMesh> mesh_triangulated_face_set(const EntityTable& table, std::string_view attributes);

}  // namespace quarnel
