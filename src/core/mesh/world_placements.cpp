#include "mesh/world_placements.hpp"

#include <array>
#include <cmath>
#include <unordered_map>

#include "mesh/model_units.hpp"
#include "mesh/placement.hpp"
#include "schema/names.hpp"
#include "step/text.hpp"
#include "step/values.hpp"
#include "units/length_unit.hpp"
#include "units/measure_units.hpp"

namespace quarnel {
namespace {

bool is_object_placement(std::string_view type) {
    return type_is(type, "IFCLOCALPLACEMENT") || type_is(type, "IFCGRIDPLACEMENT") ||
           type_is(type, "IFCLINEARPLACEMENT");
}

// A frame in double precision: x, y, z axes, then the origin. The mesh pass resolves frames in
// single precision, which rounds a location 500 km from the origin by centimetres; a table of
// locations (and a diff of them) wants them as written.
using Frame = std::array<double, 12>;
constexpr Frame kIdentity = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
// Chains deeper than this (or cycles) are left to the single-precision resolver.
constexpr int kMaxDepth = 64;

std::array<double, 3> coordinates(const EntityTable& table, std::optional<std::uint64_t> id, bool& found) {
    std::array<double, 3> v{0.0, 0.0, 0.0};
    found = false;
    const auto e = id ? table.get(*id) : std::nullopt;
    const auto list = e ? Attributes(e->attributes).list(0) : std::nullopt;
    if (list) found = read_numbers(*list, v.data(), 3) > 0;
    return v;
}

double dot(const std::array<double, 3>& a, const std::array<double, 3>& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// The frame of an IFCAXIS2PLACEMENT3D or 2D, as the mesh pass reads it (a degenerate axis falls
// back on the world's); absent for anything else.
std::optional<Frame> axis_frame(const EntityTable& table, std::uint64_t id) {
    const auto e = table.get(id);
    if (!e) return kIdentity;
    const bool is3d = type_is(e->type, "IFCAXIS2PLACEMENT3D");
    if (!is3d && !type_is(e->type, "IFCAXIS2PLACEMENT2D")) return std::nullopt;
    Attributes a(e->attributes);
    bool found = false;
    const auto location = coordinates(table, a.ref(0), found);
    auto z = coordinates(table, is3d ? a.ref(1) : std::nullopt, found);
    if (!found) z = {0.0, 0.0, 1.0};
    auto r = coordinates(table, a.ref(is3d ? 2 : 1), found);
    if (!found) r = {1.0, 0.0, 0.0};
    if (!is3d) r[2] = 0.0;
    const double zl = std::sqrt(dot(z, z));
    z = zl * zl < 1e-12 ? std::array<double, 3>{0.0, 0.0, 1.0} : std::array<double, 3>{z[0] / zl, z[1] / zl, z[2] / zl};
    const double along = dot(r, z);
    std::array<double, 3> x{r[0] - along * z[0], r[1] - along * z[1], r[2] - along * z[2]};
    const double xl = std::sqrt(dot(x, x));
    x = xl * xl < 1e-12 ? std::array<double, 3>{1.0, 0.0, 0.0} : std::array<double, 3>{x[0] / xl, x[1] / xl, x[2] / xl};
    const std::array<double, 3> y{z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2], z[0] * x[1] - z[1] * x[0]};
    return Frame{x[0], x[1], x[2], y[0], y[1], y[2], z[0], z[1], z[2], location[0], location[1], location[2]};
}

// parent x child: `child` is applied first.
Frame compose(const Frame& p, const Frame& c) {
    Frame out{};
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 3; ++row) {
            out[col * 3 + row] = p[row] * c[col * 3] + p[3 + row] * c[col * 3 + 1] + p[6 + row] * c[col * 3 + 2] +
                                 (col == 3 ? p[9 + row] : 0.0);
        }
    }
    return out;
}

// The world frame of a chain of local placements; absent where the chain holds another kind
// of placement (grids, linear placements) or runs too deep.
std::optional<Frame> local_chain(const EntityTable& table, std::unordered_map<std::uint64_t, std::optional<Frame>>& cache,
                                 std::uint64_t id, int depth = 0) {
    if (const auto hit = cache.find(id); hit != cache.end()) return hit->second;
    std::optional<Frame> frame;
    const auto e = table.get(id);
    if (e && depth < kMaxDepth && type_is(e->type, "IFCLOCALPLACEMENT")) {
        Attributes a(e->attributes);
        const auto relative = a.ref(1);
        frame = relative ? axis_frame(table, *relative) : kIdentity;
        if (frame) {
            if (const auto parent = a.ref(0)) {
                const auto above = local_chain(table, cache, *parent, depth + 1);
                frame = above ? std::optional<Frame>(compose(*above, *frame)) : std::nullopt;
            }
        }
    }
    cache[id] = frame;
    return frame;
}

void read_units(const EntityTable& table, PlacementColumns& out) {
    const ModelUnits units = read_model_units(table);
    out.length_scale = units.length;
    std::optional<std::uint64_t> assignment;
    constexpr std::uint16_t kAssignment = type_tag("IFCUNITASSIGNMENT");
    constexpr std::uint16_t kContext = type_tag("IFCGEOMETRICREPRESENTATIONCONTEXT");
    const auto wanted = [](std::uint16_t tag) { return tag == kAssignment || tag == kContext; };
    table.for_each_in(0, table.records().size(), wanted, [&](std::uint64_t id, const EntityRecord& record) {
        const std::string_view type = table.type_of(record);
        if (!assignment && type_is(type, "IFCUNITASSIGNMENT")) assignment = id;
        if (!out.precision && type_is(type, "IFCGEOMETRICREPRESENTATIONCONTEXT")) {
            Attributes context(table.entity(record).attributes);
            const auto precision = context.number(3);
            if (precision && *precision > 0.0 && context.number(2) == 3.0) {
                out.precision = *precision * units.length.value_or(1.0);
            }
        }
    });
    const auto e = assignment ? table.get(*assignment) : std::nullopt;
    const auto list = e ? Attributes(e->attributes).list(0) : std::nullopt;
    if (!list) return;
    const std::vector<std::uint64_t> assigned = reference_list(*list);
    const UnitLookup lookup = [&table](std::uint64_t id) { return table.get(id); };
    out.area_scale = metre_power_unit_scale(assigned, lookup, "AREAUNIT", 2);
    out.volume_scale = metre_power_unit_scale(assigned, lookup, "VOLUMEUNIT", 3);
    out.angle_scale = plane_angle_unit_scale(assigned, lookup);
}

}  // namespace

PlacementColumns world_placements(const EntityTable& table) {
    PlacementColumns out;
    read_units(table, out);
    const double scale = out.length_scale.value_or(1.0);
    PlacementCache cache;
    std::unordered_map<std::uint64_t, std::optional<Frame>> frames;
    // Only the records whose type may be a product are read: the rest of the file stays unread.
    const auto products = [](std::uint16_t tag) { return tag_may_have(tag, kProduct); };
    table.for_each_in(0, table.records().size(), products, [&](std::uint64_t, const EntityRecord& record) {
        const Entity e = table.entity(record);
        if (e.attributes.empty() || e.attributes.front() != '\'') return;
        Attributes a(e.attributes);
        const auto placement = a.ref(5);
        if (!placement) return;
        const auto target = table.get(*placement);
        if (!target || !is_object_placement(target->type)) return;
        const auto guid = value::text(*a.at(0));
        if (!guid) return;
        auto frame = local_chain(table, frames, *placement);
        if (!frame) {
            const PlacementMatrix m = resolve_placement(table, cache, *placement);
            frame = Frame{m.m[0], m.m[1], m.m[2], m.m[4], m.m[5], m.m[6], m.m[8], m.m[9], m.m[10], m.m[12], m.m[13], m.m[14]};
        }
        const Frame& f = *frame;
        out.guid.push(std::string_view(*guid));
        out.entity.push(std::string_view(display_case(e.type)));
        out.x.push_back(f[9] * scale);
        out.y.push_back(f[10] * scale);
        out.z.push_back(f[11] * scale);
        out.x_axis_x.push_back(f[0]);
        out.x_axis_y.push_back(f[1]);
        out.x_axis_z.push_back(f[2]);
        out.z_axis_x.push_back(f[6]);
        out.z_axis_y.push_back(f[7]);
        out.z_axis_z.push_back(f[8]);
    });
    return out;
}

}  // namespace quarnel
