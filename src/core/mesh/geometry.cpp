#include "mesh/geometry.hpp"

#include <cmath>

namespace quarnel {

PlacementMatrix multiply(const PlacementMatrix& a, const PlacementMatrix& b) {
    PlacementMatrix c;
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 4; ++row) {
            c.m[col * 4 + row] = a.m[row] * b.m[col * 4] + a.m[4 + row] * b.m[col * 4 + 1] +
                                 a.m[8 + row] * b.m[col * 4 + 2] + a.m[12 + row] * b.m[col * 4 + 3];
        }
    }
    return c;
}

float dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vec3 normalise(const Vec3& v) {
    const float r = 1.0f / std::sqrt(dot(v, v));
    if (!std::isfinite(r) || !(r > 0.0f)) return {};
    return {v.x * r, v.y * r, v.z * r};
}

}  // namespace quarnel
