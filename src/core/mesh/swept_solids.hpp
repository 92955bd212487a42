#pragma once
#include <optional>
#include <string_view>

#include "mesh/geometry.hpp"
#include "step/entity_table.hpp"

namespace quarnel {

// Sides of the tube drawn for a swept disk.
inline constexpr int kTubeSides = 12;

// An IFCSWEPTDISKSOLID (or its polygonal kind): a tube of kTubeSides sides of the disk's
// radius along the points of its directrix, hollow when it has an inner radius, closed at
// both ends. The start and end parameters and fillets are not read: the tube runs the whole
// directrix. Absent without a directrix of two distinct points or a positive radius.
std::optional<MeshData> mesh_swept_disk(const EntityTable& table, std::string_view attributes);

// An IFCREVOLVEDAREASOLID: the profile turned about its axis by the angle (in the file's plane
// angle unit) in chords of kArcStep, with caps where the turn is not whole.
std::optional<MeshData> mesh_revolution(const EntityTable& table, std::string_view attributes);

// An IFCEXTRUDEDAREASOLIDTAPERED: the extrusion whose top ring follows the end profile when
// both profiles have the same rings; otherwise the start profile is extruded alone.
std::optional<MeshData> mesh_tapered_extrusion(const EntityTable& table, std::string_view attributes);

}  // namespace quarnel
