#include "mesh/grid_placement.hpp"

#include <cmath>
#include <memory>

#include "mesh/composite_curve.hpp"
#include "step/values.hpp"
#include "mesh/placement.hpp"

namespace quarnel {

namespace {

struct Line2 {
    float px, py, dx, dy;
};

// An axis as the line through its curve's end points, in its own sense.
std::optional<Line2> axis_line(const EntityTable& table, std::uint64_t id) {
    const auto axis = table.get_typed(id, "IFCGRIDAXIS");
    if (!axis) return std::nullopt;
    Attributes a(axis->attributes);
    const auto curve_id = a.ref(1);
    if (!curve_id) return std::nullopt;
    const auto points = read_curve_points(table, *curve_id);
    if (!points || points->size() < 2) return std::nullopt;
    Vec3 p = points->front(), q = points->back();
    const auto sense = a.enumeration(2);
    if (sense && *sense == "F") std::swap(p, q);
    const float dx = q.x - p.x, dy = q.y - p.y, len = std::sqrt(dx * dx + dy * dy);
    if (!(len > 0.0f) || !std::isfinite(len)) return std::nullopt;
    return Line2{p.x, p.y, dx / len, dy / len};
}

struct Intersection {
    Vec3 point;
    std::uint64_t first_axis;
};

std::optional<Intersection> read_intersection(const EntityTable& table, std::uint64_t id) {
    const auto e = table.get_typed(id, "IFCVIRTUALGRIDINTERSECTION");
    if (!e) return std::nullopt;
    Attributes a(e->attributes);
    const auto axes = a.list(0);
    if (!axes) return std::nullopt;
    const auto ids = reference_list(*axes);
    if (ids.size() < 2) return std::nullopt;
    auto l1 = axis_line(table, ids[0]), l2 = axis_line(table, ids[1]);
    if (!l1 || !l2) return std::nullopt;
    double offsets[3] = {0.0, 0.0, 0.0};
    if (const auto list = a.list(1)) read_numbers(*list, offsets, 3);
    // Offset lines lie to the left of their axis.
    for (auto [line, offset] : {std::pair{&*l1, offsets[0]}, std::pair{&*l2, offsets[1]}}) {
        line->px -= line->dy * static_cast<float>(offset);
        line->py += line->dx * static_cast<float>(offset);
    }
    const float det = l1->dx * l2->dy - l1->dy * l2->dx;
    if (!(std::fabs(det) > 1e-9f)) return std::nullopt;
    const float s = ((l2->px - l1->px) * l2->dy - (l2->py - l1->py) * l2->dx) / det;
    return Intersection{{l1->px + s * l1->dx, l1->py + s * l1->dy, static_cast<float>(offsets[2])}, ids[0]};
}

// The grid each axis belongs to, read from every IFCGRID once per pass.
const IdMap<std::uint64_t>& grids_by_axis(const EntityTable& table, PlacementCache& cache) {
    if (!cache.grid_of_axis) {
        cache.grid_of_axis = std::make_unique<IdMap<std::uint64_t>>(64);
        constexpr std::uint16_t tag = type_tag("IFCGRID");
        table.for_each_in(0, table.records().size(), [](std::uint16_t t) { return t == tag; },
                          [&](std::uint64_t id, const EntityRecord& record) {
                              if (!type_is(table.type_of(record), "IFCGRID")) return;
                              Attributes a(table.entity(record).attributes);
                              for (std::size_t i = 7; i <= 9; ++i) {
                                  const auto list = a.list(i);
                                  if (!list) continue;
                                  for (const std::uint64_t axis : reference_list(*list)) (*cache.grid_of_axis)[axis] = id;
                              }
                          });
    }
    return *cache.grid_of_axis;
}

}  // namespace

std::optional<PlacementMatrix> grid_placement_frame(const EntityTable& table, PlacementCache& cache,
                                                    const Entity& placement) {
    Attributes a(placement.attributes);
    const std::size_t first = a.has(3) ? 1 : 0;  // a leading PlacementRelTo in the latest schema
    const auto location_id = a.ref(first);
    if (!location_id) return std::nullopt;
    const auto location = read_intersection(table, *location_id);
    if (!location) return std::nullopt;

    Vec3 x{1.0f, 0.0f, 0.0f};
    if (const auto ref_id = a.ref(first + 1)) {
        if (const auto d = read_direction(table, *ref_id)) {
            x = {d->x, d->y, 0.0f};
        } else if (const auto other = read_intersection(table, *ref_id)) {
            x = {other->point.x - location->point.x, other->point.y - location->point.y, 0.0f};
        }
    }
    x = normalise(x);
    if (!(x.x * x.x + x.y * x.y > 0.5f)) x = {1.0f, 0.0f, 0.0f};

    PlacementMatrix local;
    const Vec3& p = location->point;
    local.m = {x.x, x.y, 0.0f, 0.0f, -x.y, x.x, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, p.x, p.y, p.z, 1.0f};

    PlacementMatrix grid_frame = PlacementMatrix::identity();
    if (const std::uint64_t* grid = grids_by_axis(table, cache).find(location->first_axis)) {
        if (const auto g = table.get(*grid)) {
            if (const auto grid_placement = Attributes(g->attributes).ref(5)) {
                grid_frame = resolve_placement(table, cache, *grid_placement);
            }
        }
    }
    return multiply(grid_frame, local);
}

}  // namespace quarnel
