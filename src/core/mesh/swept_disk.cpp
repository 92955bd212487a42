#include "mesh/swept_solids.hpp"

#include <cmath>

#include "mesh/composite_curve.hpp"
#include "step/values.hpp"

namespace quarnel {

namespace {


// Any unit vector perpendicular to the unit vector t.
Vec3 perpendicular(const Vec3& t) {
    const Vec3 other = std::fabs(t.x) < 0.9f ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
    return normalise(cross(t, other));
}

std::optional<float> positive(std::optional<double> v) {
    if (!v || !std::isfinite(*v) || !(*v > 0.0)) return std::nullopt;
    return static_cast<float>(*v);
}

}  // namespace

std::optional<MeshData> mesh_swept_disk(const EntityTable& table, std::string_view attributes) {
    Attributes a(attributes);
    const auto directrix = a.ref(0);
    const auto radius = positive(a.number(1));
    if (!directrix || !radius) return std::nullopt;
    auto inner = positive(a.number(2));
    if (inner && *inner >= *radius) inner.reset();
    const auto curve = read_curve_points(table, *directrix);
    if (!curve) return std::nullopt;

    std::vector<Vec3> path;
    for (const Vec3& p : *curve) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return std::nullopt;
        if (path.empty() || dot(sub(p, path.back()), sub(p, path.back())) > 0.0f) path.push_back(p);
    }
    const std::size_t n = path.size();
    if (n < 2) return std::nullopt;

    // Each ring lies across the mean of the directions in and out of its point (a mitred
    // joint): drawn round the segment that arrives there, then pushed along it onto that
    // plane. Its frame is carried along the path without twisting.
    std::vector<Vec3> tangent(n), segment(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Vec3 in = i > 0 ? normalise(sub(path[i], path[i - 1])) : Vec3{};
        const Vec3 out = i + 1 < n ? normalise(sub(path[i + 1], path[i])) : Vec3{};
        Vec3 t = normalise(add(in, out));
        if (dot(t, t) < 0.5f) t = i > 0 ? in : out;
        tangent[i] = t;
        segment[i] = i > 0 ? in : out;
    }
    const int sides = kTubeSides;
    const std::size_t ring = static_cast<std::size_t>(sides);
    const int layers = inner ? 2 : 1;
    MeshData mesh;
    mesh.positions.reserve(3 * n * ring * layers);
    const Vec3 u = perpendicular(segment[0]);
    for (int layer = 0; layer < layers; ++layer) {
        const float r = layer == 0 ? *radius : *inner;
        Vec3 frame = u;
        for (std::size_t i = 0; i < n; ++i) {
            const Vec3& d = segment[i];
            Vec3 w = normalise(sub(frame, mul(d, dot(frame, d))));
            if (dot(w, w) < 0.5f) w = perpendicular(d);
            frame = w;
            const Vec3 v = cross(d, w);
            const float along = dot(d, tangent[i]);
            for (int k = 0; k < sides; ++k) {
                const float angle = 6.2831855f * static_cast<float>(k) / static_cast<float>(sides);
                Vec3 o = add(mul(w, r * std::cos(angle)), mul(v, r * std::sin(angle)));
                if (along > 0.2f) o = sub(o, mul(d, dot(o, tangent[i]) / along));  // sharper turns stay unmitred
                const Vec3 p = add(path[i], o);
                mesh.positions.insert(mesh.positions.end(), {p.x, p.y, p.z});
            }
        }
    }
    const auto at = [&](int layer, std::size_t i, int k) {
        return static_cast<std::uint32_t>((static_cast<std::size_t>(layer) * n + i) * ring + (k % sides));
    };
    for (int layer = 0; layer < layers; ++layer) {
        for (std::size_t i = 0; i + 1 < n; ++i) {
            for (int k = 0; k < sides; ++k) {
                std::uint32_t q[4] = {at(layer, i, k), at(layer, i, k + 1), at(layer, i + 1, k + 1), at(layer, i + 1, k)};
                if (layer == 1) std::swap(q[1], q[3]);  // the inner wall faces the axis
                mesh.indices.insert(mesh.indices.end(), {q[0], q[1], q[2], q[0], q[2], q[3]});
            }
        }
    }
    for (int end = 0; end < 2; ++end) {
        const std::size_t i = end == 0 ? 0 : n - 1;
        for (int k = 0; k < sides; ++k) {
            if (inner) {
                std::uint32_t q[4] = {at(0, i, k), at(1, i, k), at(1, i, k + 1), at(0, i, k + 1)};
                if (end == 1) std::swap(q[1], q[3]);
                mesh.indices.insert(mesh.indices.end(), {q[0], q[1], q[2], q[0], q[2], q[3]});
            } else if (k >= 2) {
                const std::uint32_t first = at(0, i, 0), b = at(0, i, k - 1), c = at(0, i, k);
                if (end == 0) {
                    mesh.indices.insert(mesh.indices.end(), {first, c, b});
                } else {
                    mesh.indices.insert(mesh.indices.end(), {first, b, c});
                }
            }
        }
    }
    return mesh;
}

}  // namespace quarnel
