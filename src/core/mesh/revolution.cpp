#include "mesh/swept_solids.hpp"

#include <algorithm>
#include <cmath>

#include "mesh/cap_triangulation.hpp"
#include "mesh/composite_curve.hpp"
#include "mesh/model_units.hpp"
#include "mesh/profiles.hpp"
#include "step/values.hpp"
#include "mesh/placement.hpp"

namespace quarnel {

namespace {


// p turned by `angle` about the line through `a` along the unit vector `w` (Rodrigues).
Vec3 turn(const Vec3& p, const Vec3& a, const Vec3& w, double angle) {
    const Vec3 d = sub(p, a);
    const float c = static_cast<float>(std::cos(angle)), s = static_cast<float>(std::sin(angle));
    const Vec3 x = cross(w, d);
    const float k = dot(w, d) * (1.0f - c);
    return {a.x + d.x * c + x.x * s + w.x * k, a.y + d.y * c + x.y * s + w.y * k, a.z + d.z * c + x.z * s + w.z * k};
}

}  // namespace

std::optional<MeshData> mesh_revolution(const EntityTable& table, std::string_view attributes) {
    Attributes a(attributes);
    const auto area = a.ref(0);
    const auto axis_id = a.ref(2);
    const auto angle_value = a.number(3);
    if (!area || !axis_id || !angle_value || !std::isfinite(*angle_value)) return std::nullopt;
    const auto entity = table.get(*area);
    if (!entity) return std::nullopt;
    const auto profile = build_profile(table, *entity);
    if (!profile || profile->outer.size() < 2) return std::nullopt;
    const auto axis_entity = table.get_typed(*axis_id, "IFCAXIS1PLACEMENT");
    if (!axis_entity) return std::nullopt;
    Vec3 origin;
    if (const auto p = Attributes(axis_entity->attributes).ref(0)) origin = read_point(table, *p).value_or(Vec3{});
    Vec3 w{0.0f, 0.0f, 1.0f};
    if (const auto d = Attributes(axis_entity->attributes).ref(1)) w = read_direction(table, *d).value_or(w);
    w = normalise(w);
    if (dot(w, w) < 0.5f) return std::nullopt;

    const double angle = std::clamp(*angle_value * radians_per_angle_unit(), -6.283185307179586, 6.283185307179586);
    const double step = kArcStep;
    const int steps = static_cast<int>(std::clamp(std::ceil(std::fabs(angle) / step), 1.0, 4096.0));
    const bool whole = std::fabs(angle) >= 6.2831853;

    std::vector<const Ring2*> rings{&profile->outer};
    for (const auto& hole : profile->holes) rings.push_back(&hole);
    std::size_t np = 0;
    for (const Ring2* r : rings) np += r->size();
    if (np * static_cast<std::size_t>(steps + 1) >= (std::size_t{1} << 30)) return std::nullopt;

    MeshData mesh;
    mesh.positions.reserve(3 * np * (steps + 1));
    for (int j = 0; j <= steps; ++j) {
        const double phi = angle * j / steps;
        for (const Ring2* r : rings) {
            for (const Point2& p : *r) {
                const Vec3 q = turn({p.x, p.y, 0.0f}, origin, w, phi);
                mesh.positions.insert(mesh.positions.end(), {q.x, q.y, q.z});
            }
        }
    }
    // Wound as an extrusion whose top is the last ring; flipped below when the turn carries
    // the profile towards -z.
    const auto base = static_cast<std::uint32_t>(np);
    for (int j = 0; j < steps; ++j) {
        std::uint32_t start = 0;
        const std::uint32_t lo = static_cast<std::uint32_t>(j) * base, hi = lo + base;
        for (const Ring2* r : rings) {
            const auto m = static_cast<std::uint32_t>(r->size());
            for (std::uint32_t k = 0; k < m; ++k) {
                const std::uint32_t i = start + k, n = start + (k + 1) % m;
                mesh.indices.insert(mesh.indices.end(), {lo + i, lo + n, hi + n, lo + i, hi + n, hi + i});
            }
            start += m;
        }
    }
    if (!whole) {
        std::vector<double> coords;
        std::vector<std::uint32_t> hole_starts;
        for (const Ring2* r : rings) {
            if (r != rings.front()) hole_starts.push_back(static_cast<std::uint32_t>(coords.size() / 2));
            for (const Point2& p : *r) coords.insert(coords.end(), {p.x, p.y});
        }
        std::vector<std::uint32_t> caps;
        earcut(coords, hole_starts, 2, caps);
        const std::uint32_t last = static_cast<std::uint32_t>(steps) * base;
        for (std::size_t k = 0; k + 2 < caps.size(); k += 3) {
            mesh.indices.insert(mesh.indices.end(), {last + caps[k], last + caps[k + 1], last + caps[k + 2], caps[k],
                                                     caps[k + 2], caps[k + 1]});
        }
    }
    const Point2& c = profile->outer.front();
    if (dot(cross(w, sub({c.x, c.y, 0.0f}, origin)), Vec3{0.0f, 0.0f, 1.0f}) * static_cast<float>(angle) < 0.0f) {
        for (std::size_t k = 0; k + 2 < mesh.indices.size(); k += 3) std::swap(mesh.indices[k + 1], mesh.indices[k + 2]);
    }

    PlacementMatrix position = PlacementMatrix::identity();
    if (const auto id = a.ref(1)) position = read_axis_placement(table, *id);
    for (std::size_t i = 0; i + 2 < mesh.positions.size(); i += 3) {
        const Vec3 p = position.apply({mesh.positions[i], mesh.positions[i + 1], mesh.positions[i + 2]});
        mesh.positions[i] = p.x, mesh.positions[i + 1] = p.y, mesh.positions[i + 2] = p.z;
    }
    return mesh;
}

}  // namespace quarnel
