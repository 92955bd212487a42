#include "mesh/stats.hpp"

#include <cmath>
#include <limits>

#include "mesh/drift.hpp"

namespace quarnel {

namespace {

// NaN never replaces the running value.
void take_min(float& running, float v) {
    if (v < running) running = v;
}
void take_max(float& running, float v) {
    if (v > running) running = v;
}

}  // namespace

// Emission keeps only meshes with a triangle and a finite coordinate, so the box is never empty.
MeshStats compute_mesh_stats(const ProductMesh& mesh, float ok_distance) {
    MeshStats s;
    const float inf = std::numeric_limits<float>::infinity();
    Vec3 lo{inf, inf, inf};
    Vec3 hi{-inf, -inf, -inf};
    const std::size_t n = mesh.positions.size() / 3;
    const float* p = mesh.positions.data();
    for (std::size_t i = 0; i < n; ++i) {
        take_min(lo.x, p[3 * i]);
        take_min(lo.y, p[3 * i + 1]);
        take_min(lo.z, p[3 * i + 2]);
        take_max(hi.x, p[3 * i]);
        take_max(hi.y, p[3 * i + 1]);
        take_max(hi.z, p[3 * i + 2]);
    }
    s.bbox_min = lo;
    s.bbox_max = hi;

    const std::size_t t = mesh.indices.size() / 3;
    s.triangle_count = static_cast<std::uint32_t>(t);
    float area = 0.0f;
    float volume = 0.0f;
    const std::uint32_t* idx = mesh.indices.data();
    for (std::size_t k = 0; k < t; ++k) {
        // Builders keep every index below the vertex count; a triangle that broke
        // that rule would read outside the mesh, so it adds nothing instead.
        if (idx[3 * k] >= n || idx[3 * k + 1] >= n || idx[3 * k + 2] >= n) continue;
        const float* a = p + 3 * static_cast<std::size_t>(idx[3 * k]);
        const float* b = p + 3 * static_cast<std::size_t>(idx[3 * k + 1]);
        const float* c = p + 3 * static_cast<std::size_t>(idx[3 * k + 2]);
        const float ux = b[0] - a[0], uy = b[1] - a[1], uz = b[2] - a[2];
        const float vx = c[0] - a[0], vy = c[1] - a[1], vz = c[2] - a[2];
        const float nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        area += 0.5f * std::sqrt(nx * nx + ny * ny + nz * nz);
        const float bcx = b[1] * c[2] - b[2] * c[1], bcy = b[2] * c[0] - b[0] * c[2], bcz = b[0] * c[1] - b[1] * c[0];
        volume += a[0] * bcx + a[1] * bcy + a[2] * bcz;
    }
    s.surface_area = area;
    s.signed_volume = volume / 6.0f;

    float extent = std::fmax(std::fmax(hi.x - lo.x, hi.y - lo.y), hi.z - lo.z);
    if (!(extent >= kMinExtent)) extent = kMinExtent;
    s.max_extent = extent;

    s.placement = mesh.origin;
    s.guid = mesh.guid;
    s.type_label = mesh.type_label;
    s.kind = mesh.kind;
    classify_drift(s, ok_distance, mesh.own_translation);
    return s;
}

}  // namespace quarnel
