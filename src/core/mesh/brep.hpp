#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "mesh/geometry.hpp"
#include "step/entity_table.hpp"

namespace quarnel {

// The faces of an IFCOPENSHELL or IFCCLOSEDSHELL, fanned from their polyloops.
std::optional<MeshData> triangulate_shell(const EntityTable& table, std::uint64_t id);

// A faceted or manifold solid brep, and a face- or shell-based surface model
// (every shell merged), from their attribute text; absent when no face can be read.
std::optional<SubMesh> mesh_brep(const EntityTable& table, std::string_view attributes);
std::optional<SubMesh> mesh_surface_model(const EntityTable& table, std::string_view attributes);

}  // namespace quarnel
