#include "mesh/composite_curve.hpp"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "mesh/model_units.hpp"
#include "step/values.hpp"
#include "mesh/placement.hpp"

namespace quarnel {

namespace {

using Points = std::vector<Vec3>;

constexpr int kMaxDepth = 16;                          // composite curves within composite curves
constexpr std::size_t kMaxPoints = std::size_t{1} << 20;  // nesting can multiply points without bound
constexpr double kTwoPi = 6.283185307179586;


bool same_point(const Vec3& a, const Vec3& b) {
    const Vec3 d = sub(a, b);
    const float scale = 1.0f + std::fabs(a.x) + std::fabs(a.y) + std::fabs(a.z);
    return std::fabs(d.x) + std::fabs(d.y) + std::fabs(d.z) <= 1e-6f * scale;
}

// Appends `more`, leaving out a first point that repeats the last one.
void join(Points& out, const Points& more) {
    auto from = more.begin();
    if (!out.empty() && from != more.end() && same_point(out.back(), *from)) ++from;
    out.insert(out.end(), from, more.end());
}

int chords_for(double sweep) {
    const double n = std::ceil(std::fabs(sweep) / kArcStep);
    return static_cast<int>(std::clamp(n, 1.0, 4096.0));
}

// A conic in its placement: a circle (a = b = radius) or an ellipse.
struct Conic {
    PlacementMatrix frame;
    float a = 0.0f, b = 0.0f;

    Vec3 at(double t) const {
        return frame.apply({a * static_cast<float>(std::cos(t)), b * static_cast<float>(std::sin(t)), 0.0f});
    }
    // Parameter of the point of the conic nearest `p` (by its direction from the centre).
    double angle_of(const Vec3& p) const {
        const Vec3 d = sub(p, frame.translation());
        const Vec3 x{frame.m[0], frame.m[1], frame.m[2]}, y{frame.m[4], frame.m[5], frame.m[6]};
        return std::atan2(dot(d, y) / (b != 0.0f ? b : 1.0f), dot(d, x) / (a != 0.0f ? a : 1.0f));
    }
    Points arc(double from, double to, bool sense) const {
        double sweep = to - from;
        if (sense) {
            while (sweep <= 0.0) sweep += kTwoPi;
        } else {
            while (sweep >= 0.0) sweep -= kTwoPi;
        }
        const int n = chords_for(sweep);
        Points out(static_cast<std::size_t>(n) + 1);
        for (int k = 0; k <= n; ++k) out[k] = at(from + sweep * k / n);
        return out;
    }
};

std::optional<Conic> read_conic(const EntityTable& table, const Entity& e) {
    const bool circle = type_is(e.type, "IFCCIRCLE");
    if (!circle && !type_is(e.type, "IFCELLIPSE")) return std::nullopt;
    Attributes a(e.attributes);
    const auto r1 = a.number(1);
    const auto r2 = circle ? r1 : a.number(2);
    if (!r1 || !r2 || !std::isfinite(*r1) || !std::isfinite(*r2)) return std::nullopt;
    Conic c;
    if (const auto p = a.ref(0)) c.frame = read_axis_placement(table, *p);
    c.a = static_cast<float>(*r1);
    c.b = static_cast<float>(*r2);
    return c;
}

// One trimming select: a parameter value and a point, either of which may be given.
struct Trim {
    std::optional<double> parameter;
    std::optional<Vec3> point;
};

Trim read_trim(const EntityTable& table, std::string_view list) {
    Trim t;
    PieceWalker cursor(list);
    std::string_view piece;
    while (cursor.next(piece)) {
        if (const auto ref = value::ref(piece)) {
            if (!t.point) t.point = read_point(table, *ref);
        } else if (const auto typed = value::typed(piece)) {
            if (type_is(trim(typed->name), "IFCPARAMETERVALUE")) t.parameter = value::number(trim(typed->inner));
        } else if (const auto v = value::number(piece)) {
            t.parameter = v;
        }
    }
    return t;
}

std::optional<Points> read_curve(const EntityTable& table, std::uint64_t id, int depth, std::size_t& budget);

std::optional<Points> read_trimmed(const EntityTable& table, const Entity& e) {
    Attributes a(e.attributes);
    if (!a.has(4)) return std::nullopt;
    const auto basis_id = a.ref(0);
    const auto l1 = a.list(1), l2 = a.list(2);
    if (!basis_id || !l1 || !l2) return std::nullopt;
    const auto basis = table.get(*basis_id);
    if (!basis) return std::nullopt;
    const Trim t1 = read_trim(table, *l1), t2 = read_trim(table, *l2);
    const auto sense_enum = a.enumeration(3);
    const bool sense = !sense_enum || *sense_enum != "F";
    const auto master = a.enumeration(4);
    const bool prefer_point = master && type_is(*master, "CARTESIAN");

    if (const auto conic = read_conic(table, *basis)) {
        const double unit = radians_per_angle_unit();
        const auto angle = [&](const Trim& t) -> std::optional<double> {
            if (t.point && (prefer_point || !t.parameter)) return conic->angle_of(*t.point);
            if (t.parameter && std::isfinite(*t.parameter)) return *t.parameter * unit;
            return std::nullopt;
        };
        const auto from = angle(t1), to = angle(t2);
        if (!from || !to) return std::nullopt;
        return conic->arc(*from, *to, sense);
    }
    if (type_is(basis->type, "IFCLINE")) {
        Attributes line(basis->attributes);
        const auto origin_id = line.ref(0);
        const auto vector_id = line.ref(1);
        const auto vector = vector_id ? table.get_typed(*vector_id, "IFCVECTOR") : std::nullopt;
        if (!origin_id || !vector) return std::nullopt;
        const Vec3 origin = read_point(table, *origin_id).value_or(Vec3{});
        Attributes along(vector->attributes);
        const auto dir_id = along.ref(0);
        const auto magnitude = along.number(1);
        const Vec3 dir = mul(normalise(dir_id ? read_direction(table, *dir_id).value_or(Vec3{1, 0, 0}) : Vec3{1, 0, 0}),
                             static_cast<float>(magnitude.value_or(1.0)));
        const auto at = [&](const Trim& t) -> std::optional<Vec3> {
            if (t.point && (prefer_point || !t.parameter)) return t.point;
            if (t.parameter) return add(origin, mul(dir, static_cast<float>(*t.parameter)));
            return std::nullopt;
        };
        const auto p1 = at(t1), p2 = at(t2);
        if (!p1 || !p2) return std::nullopt;
        return Points{*p1, *p2};
    }
    // Other bases are drawn as the chord between their trimming points when both are given.
    if (t1.point && t2.point) return Points{*t1.point, *t2.point};
    return std::nullopt;
}

std::optional<Points> read_composite(const EntityTable& table, const Entity& e, int depth, std::size_t& budget) {
    const auto segments = Attributes(e.attributes).list(0);
    if (!segments) return std::nullopt;
    Points out;
    PieceWalker cursor(*segments);
    std::string_view piece;
    while (cursor.next(piece)) {
        const auto ref = value::ref(piece);
        const auto segment = ref ? table.get_typed(*ref, "IFCCOMPOSITECURVESEGMENT") : std::nullopt;
        if (!segment) continue;
        Attributes s(segment->attributes);
        const auto parent = s.ref(2);
        if (!parent) continue;
        auto points = read_curve(table, *parent, depth + 1, budget);
        if (!points) return std::nullopt;  // a gap would change the outline's shape
        const auto same_sense = s.enumeration(1);
        if (same_sense && *same_sense == "F") std::reverse(points->begin(), points->end());
        join(out, *points);
        if (out.size() > kMaxPoints) return std::nullopt;
    }
    if (out.empty()) return std::nullopt;
    return out;
}

// Points of an IFCCARTESIANPOINTLIST2D or 3D: up to three numbers per element.
std::optional<Points> read_point_list_any(const EntityTable& table, std::uint64_t id) {
    const auto e = table.get(id);
    if (!e || !(type_is(e->type, "IFCCARTESIANPOINTLIST2D") || type_is(e->type, "IFCCARTESIANPOINTLIST3D"))) {
        return std::nullopt;
    }
    const auto list = Attributes(e->attributes).list(0);
    if (!list) return std::nullopt;
    Points out;
    PieceWalker cursor(*list);
    std::string_view piece;
    while (cursor.next(piece)) {
        const auto inner = value::list(piece);
        if (!inner) continue;
        double v[3] = {0.0, 0.0, 0.0};
        if (read_numbers(*inner, v, 3) < 2) continue;
        out.push_back({static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])});
    }
    return out;
}

// The arc from p0 through p1 to p2, as chords; a straight run when the three are collinear.
void arc_through(const Vec3& p0, const Vec3& p1, const Vec3& p2, Points& out) {
    const Vec3 a = sub(p1, p0), b = sub(p2, p0), n = cross(a, b);
    const float nn = dot(n, n);
    const float scale = std::max(dot(a, a), dot(b, b));
    if (!(nn > 1e-12f * scale * scale)) {
        join(out, {p0, p1, p2});
        return;
    }
    const Vec3 centre = add(p0, mul(add(mul(cross(b, n), dot(a, a)), mul(cross(n, a), dot(b, b))), 0.5f / nn));
    const Vec3 u = normalise(sub(p0, centre));
    const float r = std::sqrt(dot(sub(p0, centre), sub(p0, centre)));
    const Vec3 v = cross(normalise(n), u);
    const Vec3 d = sub(p2, centre);
    double sweep = std::atan2(dot(d, v), dot(d, u));
    if (sweep <= 0.0) sweep += kTwoPi;
    const int k = chords_for(sweep);
    Points arc(static_cast<std::size_t>(k) + 1);
    for (int i = 0; i <= k; ++i) {
        const double t = sweep * i / k;
        arc[i] = add(centre, add(mul(u, r * static_cast<float>(std::cos(t))), mul(v, r * static_cast<float>(std::sin(t)))));
    }
    arc.front() = p0;
    arc.back() = p2;
    join(out, arc);
}

std::optional<Points> read_indexed(const EntityTable& table, const Entity& e) {
    Attributes a(e.attributes);
    const auto list_id = a.ref(0);
    if (!list_id) return std::nullopt;
    auto points = read_point_list_any(table, *list_id);
    if (!points) return std::nullopt;
    const auto segments = a.list(1);
    if (!segments) return points;  // no segments: the points in order

    Points out;
    const auto point = [&](double index) -> const Vec3* {
        if (!(index >= 1.0) || index > static_cast<double>(points->size())) return nullptr;
        return &(*points)[static_cast<std::size_t>(index) - 1];
    };
    PieceWalker cursor(*segments);
    std::string_view piece;
    while (cursor.next(piece)) {
        const auto typed = value::typed(piece);
        if (!typed) continue;
        const auto name = trim(typed->name);
        const auto indices = value::list(trim(typed->inner));
        if (!indices) continue;
        double v[3];
        if (type_is(name, "IFCARCINDEX")) {
            if (read_numbers(*indices, v, 3) < 3) continue;
            const Vec3 *p0 = point(v[0]), *p1 = point(v[1]), *p2 = point(v[2]);
            if (p0 && p1 && p2) arc_through(*p0, *p1, *p2, out);
        } else if (type_is(name, "IFCLINEINDEX")) {
            PieceWalker each(*indices);
            std::string_view number;
            Points run;
            while (each.next(number)) {
                const auto i = value::number(number);
                if (const Vec3* p = i ? point(*i) : nullptr) run.push_back(*p);
            }
            join(out, run);
        }
        if (out.size() > kMaxPoints) return std::nullopt;
    }
    return out;
}

std::optional<Points> read_polyline(const EntityTable& table, const Entity& e) {
    const auto list = Attributes(e.attributes).list(0);
    if (!list) return std::nullopt;
    Points out;
    PieceWalker cursor(*list);
    std::string_view piece;
    while (cursor.next(piece)) {
        const auto ref = value::ref(piece);
        if (!ref) continue;
        if (const auto p = read_point(table, *ref)) out.push_back(*p);
    }
    return out;
}

std::optional<Points> read_curve(const EntityTable& table, std::uint64_t id, int depth, std::size_t& budget) {
    if (depth > kMaxDepth) return std::nullopt;
    const auto e = table.get(id);
    if (!e) return std::nullopt;
    std::optional<Points> points;
    if (type_is(e->type, "IFCPOLYLINE")) {
        points = read_polyline(table, *e);
    } else if (type_is(e->type, "IFCINDEXEDPOLYCURVE")) {
        points = read_indexed(table, *e);
    } else if (type_is(e->type, "IFCCOMPOSITECURVE") || type_is(e->type, "IFCCOMPOSITECURVEONSURFACE")) {
        points = read_composite(table, *e, depth, budget);
    } else if (type_is(e->type, "IFCTRIMMEDCURVE")) {
        points = read_trimmed(table, *e);
    } else if (const auto conic = read_conic(table, *e)) {
        points = conic->arc(0.0, kTwoPi, true);
        points->pop_back();  // a whole conic is closed: its last point repeats the first
    }
    // Every point read counts, also those of parts read again and again by nested curves.
    if (points && points->size() > budget) return std::nullopt;
    if (points) budget -= points->size();
    return points;
}

}  // namespace

std::optional<std::vector<Vec3>> read_curve_points(const EntityTable& table, std::uint64_t id) {
    std::size_t budget = kMaxPoints;
    return read_curve(table, id, 0, budget);
}

}  // namespace quarnel
