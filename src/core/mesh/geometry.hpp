#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "step/values.hpp"

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

// Triangles of one representation item in the item's own coordinates.
struct SubMesh {
    std::vector<float> positions;      // x y z per vertex
    std::vector<std::uint32_t> indices;  // three per triangle
    std::string_view kind;             // static label: "extrusion", "mapped", ...
};

// Vertices and triangles without a label.
struct MeshData {
    std::vector<float> positions;
    std::vector<std::uint32_t> indices;
};

// this x other: `other` is applied first.
PlacementMatrix multiply(const PlacementMatrix& a, const PlacementMatrix& b);

inline Vec3 add(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 sub(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 mul(const Vec3& a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float dot(const Vec3& a, const Vec3& b);
Vec3 cross(const Vec3& a, const Vec3& b);

// r = 1/sqrt(v.v); v*r when r is finite and positive, else the zero vector.
Vec3 normalise(const Vec3& v);

// Attribute `index` as a number in the single precision meshes are built in.
inline std::optional<float> number_at(Attributes& attributes, std::size_t index) {
    const auto v = attributes.number(index);
    if (!v) return std::nullopt;
    return static_cast<float>(*v);
}

}  // namespace quarnel
