#pragma once
#include <optional>
#include <string_view>

#include "mesh/geometry.hpp"
#include "mesh/profiles.hpp"
#include "step/entity_table.hpp"

namespace quarnel {

// Bottom ring, top ring (moved by depth along the unit direction), earcut caps and side walls,
// all transformed by `position`.
MeshData extrude_profile(const Profile& profile, const Vec3& direction, float depth, const PlacementMatrix& position);

// An IFCEXTRUDEDAREASOLID from its attribute text; absent when its profile or depth cannot be read.
std::optional<MeshData> mesh_extrusion(const EntityTable& table, std::string_view attributes);

}  // namespace quarnel
