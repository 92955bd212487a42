#include "mesh/extrusion.hpp"

#include "mesh/cap_triangulation.hpp"
#include "mesh/placement.hpp"
#include "step/values.hpp"

namespace quarnel {

MeshData extrude_profile(const Profile& profile, const Vec3& direction, float depth, const PlacementMatrix& position) {
    std::size_t n = profile.outer.size();
    for (const auto& hole : profile.holes) n += hole.size();

    // One flat x, y array (outer ring, then each hole) and the vertex index where each hole begins.
    std::vector<double> coords;
    coords.reserve(2 * n);
    std::vector<std::uint32_t> hole_starts;
    hole_starts.reserve(profile.holes.size());
    const auto add_ring = [&](const Ring2& ring) {
        for (const auto& p : ring) {
            coords.push_back(p.x);
            coords.push_back(p.y);
        }
    };
    add_ring(profile.outer);
    for (const auto& hole : profile.holes) {
        hole_starts.push_back(static_cast<std::uint32_t>(coords.size() / 2));
        add_ring(hole);
    }
    std::vector<std::uint32_t> caps;
    earcut(coords, hole_starts, 2, caps);

    MeshData mesh;
    mesh.positions.resize(6 * n);
    const float ox = direction.x * depth, oy = direction.y * depth, oz = direction.z * depth;
    float* bottom = mesh.positions.data();
    float* top = bottom + 3 * n;
    std::size_t v = 0;
    const auto emit_ring = [&](const Ring2& ring) {
        for (const auto& p : ring) {
            const Vec3 b = position.apply({p.x, p.y, 0.0f});
            const Vec3 t = position.apply({p.x + ox, p.y + oy, oz});
            bottom[3 * v] = b.x, bottom[3 * v + 1] = b.y, bottom[3 * v + 2] = b.z;
            top[3 * v] = t.x, top[3 * v + 1] = t.y, top[3 * v + 2] = t.z;
            ++v;
        }
    };
    emit_ring(profile.outer);
    for (const auto& hole : profile.holes) emit_ring(hole);

    const auto base = static_cast<std::uint32_t>(n);
    const std::size_t cap_triangles = caps.size() / 3;
    mesh.indices.reserve(6 * cap_triangles + 6 * n);
    for (std::size_t k = 0; k < cap_triangles; ++k) {
        const std::uint32_t t0 = caps[3 * k], t1 = caps[3 * k + 1], t2 = caps[3 * k + 2];
        mesh.indices.insert(mesh.indices.end(), {base + t0, base + t1, base + t2, t0, t2, t1});
    }
    // The caps face outwards whichever way a ring runs; the walls of a ring that runs the other
    // way than its role wants (an outline clockwise, a hole counter-clockwise) are turned round.
    std::uint32_t start = 0;
    const auto walls = [&](const Ring2& ring, bool hole) {
        const auto m = static_cast<std::uint32_t>(ring.size());
        double twice_area = 0.0;
        for (std::uint32_t k = 0; k < m; ++k) {
            const Point2& p = ring[k];
            const Point2& q = ring[(k + 1) % m];
            twice_area += static_cast<double>(p.x) * q.y - static_cast<double>(q.x) * p.y;
        }
        const bool turned = hole ? twice_area > 0.0 : twice_area < 0.0;
        for (std::uint32_t k = 0; k < m; ++k) {
            const std::uint32_t i = start + k, j = start + (k + 1) % m;
            if (turned) {
                mesh.indices.insert(mesh.indices.end(), {i, base + j, j, i, base + i, base + j});
            } else {
                mesh.indices.insert(mesh.indices.end(), {i, j, base + j, i, base + j, base + i});
            }
        }
        start += m;
    };
    walls(profile.outer, false);
    for (const auto& hole : profile.holes) walls(hole, true);
    return mesh;
}

std::optional<MeshData> mesh_extrusion(const EntityTable& table, std::string_view attributes) {
    Attributes a(attributes);
    if (!a.has(4)) return std::nullopt;
    const auto depth = a.number(3);
    if (!depth) return std::nullopt;

    const auto area = a.ref(0);
    if (!area) return std::nullopt;
    const auto entity = table.get(*area);
    if (!entity) return std::nullopt;
    auto profile = build_profile(table, *entity);
    if (!profile) return std::nullopt;
    // Two vertices per profile point must stay addressable by 32-bit indices.
    std::size_t n = profile->outer.size();
    for (const auto& hole : profile->holes) n += hole.size();
    if (n >= (std::size_t{1} << 30)) return std::nullopt;

    Vec3 direction{0.0f, 0.0f, 1.0f};
    if (const auto id = a.ref(2)) {
        if (const auto d = read_direction(table, *id)) direction = *d;
    }
    direction = normalise(direction);
    if (direction.x * direction.x + direction.y * direction.y + direction.z * direction.z < 1e-12f) {
        direction = {0.0f, 0.0f, 1.0f};
    }

    PlacementMatrix position = PlacementMatrix::identity();
    if (const auto id = a.ref(1)) position = read_axis_placement(table, *id);

    return extrude_profile(*profile, direction, static_cast<float>(*depth), position);
}

}  // namespace quarnel
