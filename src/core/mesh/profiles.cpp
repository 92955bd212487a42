#include "mesh/profiles.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

#include "mesh/composite_curve.hpp"
#include "mesh/geometry.hpp"
#include "mesh/section_profiles.hpp"
#include "step/values.hpp"

namespace quarnel {
namespace {

constexpr std::size_t kCircleSegments = 32;

struct Trig {
    float c, s;
};

// Circles and ellipses use 32 points at angles k x 0.19634955 (2 pi / 32 in 32-bit).
const std::array<Trig, kCircleSegments>& circle_table() {
    static const std::array<Trig, kCircleSegments> table = [] {
        std::array<Trig, kCircleSegments> t{};
        for (std::size_t k = 0; k < kCircleSegments; ++k) {
            const float angle = static_cast<float>(k) * 0.19634955f;
            t[k] = {std::cos(angle), std::sin(angle)};
        }
        return t;
    }();
    return table;
}


// The first two numbers of a list text: none gives `fallback`, one gives (first, 0).
Point2 first_two_numbers(std::string_view list, Point2 fallback) {
    double v[2] = {0.0, 0.0};
    if (read_numbers(list, v, 2) == 0) return fallback;
    return {static_cast<float>(v[0]), static_cast<float>(v[1])};
}

// Attribute 0 of an entity of type `upper`, when it is a list.
std::optional<std::string_view> first_list_of(const EntityTable& table, std::uint64_t id, std::string_view upper) {
    const auto entity = table.get_typed(id, upper);
    if (!entity) return std::nullopt;
    return Attributes(entity->attributes).list(0);
}

std::optional<Point2> point_2d(const EntityTable& table, std::uint64_t id) {
    const auto list = first_list_of(table, id, "IFCCARTESIANPOINT");
    if (!list) return std::nullopt;
    return first_two_numbers(*list, {0.0f, 0.0f});
}

Ring2 circle(float rx, float ry) {
    const auto& table = circle_table();
    Ring2 ring(kCircleSegments);
    for (std::size_t k = 0; k < kCircleSegments; ++k) ring[k] = {rx * table[k].c, ry * table[k].s};
    return ring;
}

Ring2 outline(std::initializer_list<Point2> points) { return Ring2(points); }


// Parameterised outlines; absent when a listed parameter is missing or not a number.
std::optional<Profile> parameterised(std::string_view type, Attributes& a) {
    Profile p;
    if (type_is(type, "IFCRECTANGLEPROFILEDEF") || type_is(type, "IFCROUNDEDRECTANGLEPROFILEDEF")) {
        const auto x = number_at(a, 3), y = number_at(a, 4);
        if (!x || !y) return std::nullopt;
        const float h = *x / 2, k = *y / 2;
        p.outer = outline({{-h, -k}, {h, -k}, {h, k}, {-h, k}});
    } else if (type_is(type, "IFCCIRCLEPROFILEDEF")) {
        const auto r = number_at(a, 3);
        if (!r) return std::nullopt;
        p.outer = circle(*r, *r);
    } else if (type_is(type, "IFCCIRCLEHOLLOWPROFILEDEF")) {
        const auto r = number_at(a, 3), t = number_at(a, 4);
        if (!r || !t) return std::nullopt;
        p.outer = circle(*r, *r);
        const float inner = std::max(*r - *t, 0.0f);
        Ring2 hole = circle(inner, inner);
        std::reverse(hole.begin(), hole.end());
        p.holes.push_back(std::move(hole));
    } else if (type_is(type, "IFCELLIPSEPROFILEDEF")) {
        const auto s1 = number_at(a, 3), s2 = number_at(a, 4);
        if (!s1 || !s2) return std::nullopt;
        p.outer = circle(*s1, *s2);
    } else if (type_is(type, "IFCISHAPEPROFILEDEF")) {
        const auto w = number_at(a, 3), d = number_at(a, 4), tw = number_at(a, 5), tf = number_at(a, 6);
        if (!w || !d || !tw || !tf) return std::nullopt;
        const float h = *w / 2, b = *d / 2, c = *tw / 2, e = b - *tf;
        p.outer = outline({{-h, -b}, {h, -b}, {h, -e}, {c, -e}, {c, e}, {h, e},
                           {h, b}, {-h, b}, {-h, e}, {-c, e}, {-c, -e}, {-h, -e}});
    } else if (type_is(type, "IFCLSHAPEPROFILEDEF")) {
        const auto d = number_at(a, 3), w = number_at(a, 4), t = number_at(a, 5);
        if (!d || !t) return std::nullopt;
        const float width = w ? *w : *d;
        p.outer = outline({{0, 0}, {width, 0}, {width, *t}, {*t, *t}, {*t, *d}, {0, *d}});
        centre_on_box(p);
    } else if (type_is(type, "IFCTSHAPEPROFILEDEF") || type_is(type, "IFCUSHAPEPROFILEDEF") ||
               type_is(type, "IFCZSHAPEPROFILEDEF")) {
        const auto d = number_at(a, 3), f = number_at(a, 4), tw = number_at(a, 5), tf = number_at(a, 6);
        if (!d || !f || !tw || !tf) return std::nullopt;
        const float top = *d - *tf;
        if (type_is(type, "IFCTSHAPEPROFILEDEF")) {
            const float c = *tw / 2, g = *f / 2;
            p.outer = outline({{-c, 0}, {c, 0}, {c, top}, {g, top}, {g, *d}, {-g, *d}, {-g, top}, {-c, top}});
        } else if (type_is(type, "IFCUSHAPEPROFILEDEF")) {
            p.outer = outline({{0, 0}, {*f, 0}, {*f, *tf}, {*tw, *tf}, {*tw, top}, {*f, top}, {*f, *d}, {0, *d}});
        } else {
            const float c = *tw / 2;
            p.outer = outline({{-c - *f, 0}, {c, 0}, {c, top}, {c + *f, top}, {c + *f, *d}, {-c, *d}, {-c, *tf},
                               {-c - *f, *tf}});
        }
        centre_on_box(p);
    } else {
        return build_section_profile(type, a);
    }
    return p;
}

// Moves every point by the profile's IFCAXIS2PLACEMENT2D: rotation (c, s), then translation.
void place_profile(const EntityTable& table, std::uint64_t placement_id, Profile& profile) {
    const auto placement = table.get(placement_id);
    if (!placement || !type_is(placement->type, "IFCAXIS2PLACEMENT2D")) return;
    Attributes a(placement->attributes);

    Point2 t{0.0f, 0.0f};
    if (const auto id = a.ref(0)) {
        if (const auto p = point_2d(table, *id)) t = *p;
    }
    Point2 r{1.0f, 0.0f};
    if (const auto id = a.ref(1)) {
        if (const auto list = first_list_of(table, *id, "IFCDIRECTION")) {
            const Point2 d = first_two_numbers(*list, {1.0f, 0.0f});
            const Vec3 n = normalise({d.x, d.y, 0.0f});
            r = {n.x, n.y};
        }
    }
    const float c = r.x, s = r.y;
    const auto move = [&](Ring2& ring) {
        for (auto& p : ring) p = {c * p.x - s * p.y + t.x, s * p.x + c * p.y + t.y};
    };
    move(profile.outer);
    for (auto& hole : profile.holes) move(hole);
}

}  // namespace

// Parameterised profiles sit with the centre of their bounding box at their Position;
// outlines drawn from a corner or a web foot are moved there.
void centre_on_box(Profile& p) {
    if (p.outer.empty()) return;
    Point2 lo = p.outer.front(), hi = lo;
    for (const auto& q : p.outer) {
        lo = {std::min(lo.x, q.x), std::min(lo.y, q.y)};
        hi = {std::max(hi.x, q.x), std::max(hi.y, q.y)};
    }
    const float cx = (lo.x + hi.x) * 0.5f, cy = (lo.y + hi.y) * 0.5f;
    const auto move = [&](Ring2& ring) {
        for (auto& q : ring) q = {q.x - cx, q.y - cy};
    };
    move(p.outer);
    for (auto& hole : p.holes) move(hole);
}

std::optional<Ring2> read_curve_2d(const EntityTable& table, std::uint64_t id) {
    const auto curve = table.get(id);
    if (!curve) return std::nullopt;
    const std::string_view first = *Attributes(curve->attributes).at(0);
    const auto list = value::list(first);
    Ring2 points;
    std::string_view element;
    if (type_is(curve->type, "IFCPOLYLINE")) {
        if (!list) return std::nullopt;
        for (PieceWalker elements(*list); elements.next(element);) {
            const auto ref = value::ref(element);
            if (!ref) continue;
            if (const auto p = point_2d(table, *ref)) points.push_back(*p);
        }
    } else {
        // Indexed poly curves with their arcs, composite and trimmed curves, whole conics.
        const auto more = read_curve_points(table, id);
        if (!more) return std::nullopt;
        points.reserve(more->size());
        for (const Vec3& p : *more) points.push_back({p.x, p.y});
    }
    if (points.size() > 2 && points.back().x == points.front().x && points.back().y == points.front().y) {
        points.pop_back();
    }
    return points;
}

std::optional<Profile> build_profile(const EntityTable& table, const Entity& profile) {
    Attributes a(profile.attributes);
    const std::string_view type = profile.type;

    if (type_is(type, "IFCARBITRARYCLOSEDPROFILEDEF") || type_is(type, "IFCARBITRARYPROFILEDEFWITHVOIDS")) {
        const auto outer_id = a.ref(2);
        if (!outer_id) return std::nullopt;
        auto outer = read_curve_2d(table, *outer_id);
        if (!outer) return std::nullopt;
        Profile p;
        p.outer = std::move(*outer);
        if (type_is(type, "IFCARBITRARYPROFILEDEFWITHVOIDS")) {
            if (const auto inner = a.list(3)) {
                std::string_view element;
                for (PieceWalker elements(*inner); elements.next(element);) {
                    const auto id = value::ref(element);
                    if (!id) continue;
                    auto hole = read_curve_2d(table, *id);
                    if (!hole) continue;
                    std::reverse(hole->begin(), hole->end());
                    p.holes.push_back(std::move(*hole));
                }
            }
        }
        return p;
    }

    // Every other supported profile carries its Position (an IFCAXIS2PLACEMENT2D) at 2.
    auto p = parameterised(type, a);
    if (!p) return std::nullopt;
    if (const auto position = a.ref(2)) place_profile(table, *position, *p);
    return p;
}

}  // namespace quarnel
