#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "step/entity_table.hpp"

namespace quarnel {

struct Vec3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

// 4x4 column-major: X, Y, Z axis columns, then the translation column.
struct PlacementMatrix {
    std::array<float, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    static PlacementMatrix identity() { return {}; }
    Vec3 apply(const Vec3& p) const {
        return {p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12], p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
                p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]};
    }
    Vec3 translation() const { return {m[12], m[13], m[14]}; }
};

// this x other: `other` is applied first.
PlacementMatrix multiply(const PlacementMatrix& a, const PlacementMatrix& b);

// Triangles of one representation item in the item's own coordinates.
struct SubMesh {
    std::vector<float> positions;      // x y z per vertex
    std::vector<std::uint32_t> indices;  // three per triangle
    std::string_view kind;             // static label: "extrusion", "mapped", ...
};

// Placement and direction readers shared by placements, profiles and mapped items.
PlacementMatrix read_axis_placement(const EntityTable& table, std::uint64_t id);
std::optional<Vec3> read_direction(const EntityTable& table, std::uint64_t id);
std::optional<Vec3> read_point(const EntityTable& table, std::uint64_t id);

// r = 1/sqrt(v.v); v*r when r is finite and positive, else the zero vector.
Vec3 normalise(const Vec3& v);

// An IFCEXTRUDEDAREASOLID from its attribute text; absent when its profile or depth cannot be read.
struct MeshData {
    std::vector<float> positions;
    std::vector<std::uint32_t> indices;
};
std::optional<MeshData> mesh_extrusion(const EntityTable& table, std::string_view attributes);

}  // namespace quarnel
