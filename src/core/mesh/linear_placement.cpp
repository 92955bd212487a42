#include "mesh/linear_placement.hpp"

#include <cmath>

#include "mesh/composite_curve.hpp"
#include "step/values.hpp"
#include "mesh/placement.hpp"

namespace quarnel {

namespace {

// A plain number or the number inside a typed value such as IFCLENGTHMEASURE(12.5).
std::optional<double> measure(std::optional<std::string_view> piece) {
    if (!piece) return std::nullopt;
    const auto typed = value::typed(*piece);
    return value::number(typed ? trim(typed->inner) : *piece);
}

struct Along {
    double distance = 0.0, lateral = 0.0, vertical = 0.0, longitudinal = 0.0;
};

// The frame at `along` on the points of a polyline: x ahead, y to the left, z up.
std::optional<PlacementMatrix> frame_on(const std::vector<Vec3>& points, const Along& along) {
    if (points.size() < 2 || !std::isfinite(along.distance)) return std::nullopt;
    double left = along.distance;
    std::size_t k = 0;
    Vec3 t{};
    float length = 0.0f;
    for (;; ++k) {
        const Vec3 d{points[k + 1].x - points[k].x, points[k + 1].y - points[k].y, points[k + 1].z - points[k].z};
        length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
        if (length > 0.0f) t = {d.x / length, d.y / length, d.z / length};
        if (left <= length || k + 2 == points.size()) break;  // beyond the end: along the last segment
        left -= length;
    }
    if (!(length > 0.0f) && t.x == 0.0f && t.y == 0.0f && t.z == 0.0f) return std::nullopt;
    Vec3 y = normalise({-t.y, t.x, 0.0f});
    if (!(y.x * y.x + y.y * y.y > 0.5f)) y = {0.0f, 1.0f, 0.0f};
    const Vec3 z{t.y * y.z - t.z * y.y, t.z * y.x - t.x * y.z, t.x * y.y - t.y * y.x};
    const float s = static_cast<float>(left + along.longitudinal), l = static_cast<float>(along.lateral),
                v = static_cast<float>(along.vertical);
    const Vec3& p = points[k];
    PlacementMatrix m;
    m.m = {t.x, t.y, t.z, 0.0f, y.x, y.y, y.z, 0.0f, z.x, z.y, z.z, 0.0f,
           p.x + t.x * s + y.x * l + z.x * v, p.y + t.y * s + y.y * l + z.y * v, p.z + t.z * s + y.z * l + z.z * v, 1.0f};
    return m;
}

// Distance along, lateral, vertical and longitudinal offsets of a distance expression.
Along read_along(Attributes& e) {
    Along along;
    along.distance = measure(e.at(0)).value_or(0.0);
    along.lateral = measure(e.at(1)).value_or(0.0);
    along.vertical = measure(e.at(2)).value_or(0.0);
    along.longitudinal = measure(e.at(3)).value_or(0.0);
    return along;
}

std::optional<PlacementMatrix> follow(const EntityTable& table, std::optional<std::uint64_t> curve_id, const Along& along) {
    if (!curve_id) return std::nullopt;
    const auto curve = table.get(*curve_id);
    if (!curve || !(type_is(curve->type, "IFCPOLYLINE") || type_is(curve->type, "IFCINDEXEDPOLYCURVE"))) {
        return std::nullopt;
    }
    const auto points = read_curve_points(table, *curve_id);
    return points ? frame_on(*points, along) : std::nullopt;
}

// The frame relative to PlacementRelTo: along the curve where it can be followed, else the
// CartesianPosition.
std::optional<PlacementMatrix> local_frame(const EntityTable& table, Attributes& a) {
    const auto relative = a.ref(1);
    const auto relative_entity = relative ? table.get(*relative) : std::nullopt;
    if (relative_entity && type_is(relative_entity->type, "IFCAXIS2PLACEMENTLINEAR")) {
        if (const auto location = Attributes(relative_entity->attributes).ref(0)) {
            if (const auto point = table.get_typed(*location, "IFCPOINTBYDISTANCEEXPRESSION")) {
                Attributes p(point->attributes);
                if (auto m = follow(table, p.ref(4), read_along(p))) return m;
            }
        }
    } else if (relative_entity) {
        // An earlier form: the curve itself, then a distance expression.
        if (const auto distance = a.ref(2)) {
            if (const auto expression = table.get_typed(*distance, "IFCDISTANCEEXPRESSION")) {
                Attributes d(expression->attributes);
                if (auto m = follow(table, relative, read_along(d))) return m;
            }
        }
    }
    for (std::size_t i = a.size(); i-- > 1;) {
        const auto id = a.ref(i);
        if (id && table.get_typed(*id, "IFCAXIS2PLACEMENT3D")) return read_axis_placement(table, *id);
    }
    return std::nullopt;
}

}  // namespace

std::optional<PlacementMatrix> linear_placement_frame(const EntityTable& table, PlacementCache& cache,
                                                      const Entity& placement) {
    Attributes a(placement.attributes);
    const auto local = local_frame(table, a);
    if (!local) return std::nullopt;
    const auto parent = a.ref(0);
    return parent ? multiply(resolve_placement(table, cache, *parent), *local) : *local;
}

}  // namespace quarnel
