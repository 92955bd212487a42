#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "mesh/geometry.hpp"
#include "step/entity_table.hpp"

namespace quarnel {

// The faces of an IFCOPENSHELL, IFCCLOSEDSHELL or IFCCONNECTEDFACESET, fanned from their loops.
std::optional<MeshData> triangulate_shell(const EntityTable& table, std::uint64_t id);
// The faces (references to IFCFACE, IFCFACESURFACE or IFCADVANCEDFACE, bounded by polyloops or
// edge loops) of a list's inner text.
std::optional<MeshData> triangulate_faces(const EntityTable& table, std::string_view faces_list);

// A faceted or manifold solid brep, and a face- or shell-based surface model
// (every shell merged), from their attribute text; absent when no face can be read.
std::optional<SubMesh> mesh_brep(const EntityTable& table, std::string_view attributes);
std::optional<SubMesh> mesh_surface_model(const EntityTable& table, std::string_view attributes);

}  // namespace quarnel
