#include "mesh/boolean_clip.hpp"

#include <cmath>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "mesh/composite_curve.hpp"
#include "step/values.hpp"
#include "mesh/placement.hpp"

namespace quarnel {

namespace {

// Long chains are real (one cut per roof plane), but a chain this long is hostile.
constexpr std::size_t kMaxChain = std::size_t{1} << 17;
constexpr std::size_t kMaxClipWork = std::size_t{1} << 27;   // triangle indices clipped per item
constexpr std::size_t kMaxKeptFloats = std::size_t{1} << 24;  // intermediate levels kept per item
// A boolean reached again through mapped items inside its own operand gives nothing there.
constexpr int kMaxNesting = 8;
thread_local int nesting = 0;

bool is_boolean(std::string_view type) {
    return type_is(type, "IFCBOOLEANRESULT") || type_is(type, "IFCBOOLEANCLIPPINGRESULT");
}


struct Plane {
    Vec3 origin;
    Vec3 normal;  // the kept side is where dot(p - origin, normal) >= 0
};

struct Level {
    std::uint64_t id;
    std::string_view op;  // "DIFFERENCE", "UNION", "INTERSECTION"
    std::optional<std::uint64_t> second;
};

// The plane of a half-space operand with its kept side for `op`; the polygon of a polygonal
// boundary (in the frame `boundary_frame`) when it has one.
struct HalfSpace {
    Plane plane;
    std::vector<Vec3> boundary;
    PlacementMatrix boundary_frame;
    bool bounded = false;
};

std::optional<HalfSpace> read_half_space(const EntityTable& table, std::uint64_t id, bool keep_inside) {
    const auto e = table.get(id);
    if (!e) return std::nullopt;
    const bool bounded = type_is(e->type, "IFCPOLYGONALBOUNDEDHALFSPACE");
    if (!bounded && !type_is(e->type, "IFCHALFSPACESOLID") && !type_is(e->type, "IFCBOXEDHALFSPACE")) {
        return std::nullopt;
    }
    Attributes a(e->attributes);
    if (!a.has(2)) return std::nullopt;
    const auto surface_id = a.ref(0);
    const auto surface = surface_id ? table.get_typed(*surface_id, "IFCPLANE") : std::nullopt;
    if (!surface) return std::nullopt;
    const auto position = Attributes(surface->attributes).ref(0);
    const PlacementMatrix frame = position ? read_axis_placement(table, *position) : PlacementMatrix::identity();
    // The flag is true when the plane's normal points away from the half-space's material.
    const auto flag = a.enumeration(1);
    const bool agreement = !flag || *flag != "F";
    const bool keep_positive = agreement != keep_inside;
    const float s = keep_positive ? 1.0f : -1.0f;
    HalfSpace h;
    h.plane = {frame.translation(), {frame.m[8] * s, frame.m[9] * s, frame.m[10] * s}};
    if (bounded) {
        if (!a.has(4)) return std::nullopt;
        const auto boundary_position = a.ref(2);
        const auto curve = a.ref(3);
        if (!curve) return std::nullopt;
        auto points = read_curve_points(table, *curve);
        if (!points || points->size() < 3) return std::nullopt;
        h.boundary = std::move(*points);
        h.boundary_frame =
            boundary_position ? read_axis_placement(table, *boundary_position) : PlacementMatrix::identity();
        h.bounded = true;
    }
    return h;
}

// Where the vertices of `mesh` stand with respect to the prism of a polygonal boundary.
enum class Prism { Inside, Apart, Crossing };

Prism against_prism(const MeshData& mesh, const HalfSpace& h) {
    const PlacementMatrix& f = h.boundary_frame;
    const Vec3 x{f.m[0], f.m[1], f.m[2]}, y{f.m[4], f.m[5], f.m[6]}, o = f.translation();
    float lo_x = INFINITY, lo_y = INFINITY, hi_x = -INFINITY, hi_y = -INFINITY;
    for (const Vec3& p : h.boundary) {
        lo_x = std::fmin(lo_x, p.x), hi_x = std::fmax(hi_x, p.x);
        lo_y = std::fmin(lo_y, p.y), hi_y = std::fmax(hi_y, p.y);
    }
    std::size_t inside = 0;
    float mx0 = INFINITY, my0 = INFINITY, mx1 = -INFINITY, my1 = -INFINITY;
    const std::size_t n = mesh.positions.size() / 3;
    for (std::size_t i = 0; i < n; ++i) {
        const Vec3 d = sub({mesh.positions[3 * i], mesh.positions[3 * i + 1], mesh.positions[3 * i + 2]}, o);
        const float px = dot(d, x), py = dot(d, y);
        mx0 = std::fmin(mx0, px), mx1 = std::fmax(mx1, px);
        my0 = std::fmin(my0, py), my1 = std::fmax(my1, py);
        bool in = false;  // even-odd rule
        for (std::size_t j = 0, k = h.boundary.size() - 1; j < h.boundary.size(); k = j++) {
            const Vec3 &a = h.boundary[j], &b = h.boundary[k];
            if ((a.y > py) != (b.y > py) && px < (b.x - a.x) * (py - a.y) / (b.y - a.y) + a.x) in = !in;
        }
        inside += in;
    }
    if (inside == n) return Prism::Inside;
    if (inside == 0 && (mx1 < lo_x || mx0 > hi_x || my1 < lo_y || my0 > hi_y)) return Prism::Apart;
    return Prism::Crossing;
}

// Keeps the part of `mesh` on the kept side of the plane and closes each cut with a fan.
MeshData clip(const MeshData& mesh, const Plane& plane) {
    const std::size_t n = mesh.positions.size() / 3;
    std::vector<float> d(n);
    for (std::size_t i = 0; i < n; ++i) {
        d[i] = dot(sub({mesh.positions[3 * i], mesh.positions[3 * i + 1], mesh.positions[3 * i + 2]}, plane.origin),
                   plane.normal);
    }
    MeshData out;
    std::vector<std::uint32_t> kept(n, UINT32_MAX);
    std::unordered_map<std::uint64_t, std::uint32_t> cuts;
    const auto vertex = [&](std::uint32_t i) {
        if (kept[i] == UINT32_MAX) {
            kept[i] = static_cast<std::uint32_t>(out.positions.size() / 3);
            out.positions.insert(out.positions.end(), mesh.positions.begin() + 3 * i, mesh.positions.begin() + 3 * i + 3);
        }
        return kept[i];
    };
    const auto cut = [&](std::uint32_t i, std::uint32_t j) {
        const std::uint64_t key = i < j ? (std::uint64_t{i} << 32 | j) : (std::uint64_t{j} << 32 | i);
        const auto [slot, fresh] = cuts.try_emplace(key, 0);
        if (fresh) {
            const float t = d[i] / (d[i] - d[j]);
            slot->second = static_cast<std::uint32_t>(out.positions.size() / 3);
            for (int c = 0; c < 3; ++c) {
                const float a = mesh.positions[3 * i + c], b = mesh.positions[3 * j + c];
                out.positions.push_back(a + (b - a) * t);
            }
        }
        return slot->second;
    };
    std::optional<std::uint32_t> cap_centre;
    std::vector<std::uint32_t> cap;  // pairs (u, v): cut edges in the kept faces' order
    for (std::size_t k = 0; k + 2 < mesh.indices.size(); k += 3) {
        const std::uint32_t t[3] = {mesh.indices[k], mesh.indices[k + 1], mesh.indices[k + 2]};
        if (t[0] >= n || t[1] >= n || t[2] >= n) continue;
        std::uint32_t poly[4];
        bool on_cut[4];
        int m = 0;
        for (int e = 0; e < 3; ++e) {
            const std::uint32_t p = t[e], q = t[(e + 1) % 3];
            const bool p_in = d[p] >= 0.0f, q_in = d[q] >= 0.0f;
            if (p_in) poly[m] = vertex(p), on_cut[m++] = false;
            if (p_in != q_in) poly[m] = cut(p, q), on_cut[m++] = true;
        }
        if (m < 3) continue;
        for (int i = 2; i < m; ++i) out.indices.insert(out.indices.end(), {poly[0], poly[i - 1], poly[i]});
        for (int i = 0; i < m; ++i) {
            const int j = (i + 1) % m;
            if (on_cut[i] && on_cut[j]) cap.insert(cap.end(), {poly[i], poly[j]});
        }
    }
    for (std::size_t k = 0; k + 1 < cap.size(); k += 2) {
        if (!cap_centre) cap_centre = cap[k];
        if (cap[k] == *cap_centre || cap[k + 1] == *cap_centre) continue;
        out.indices.insert(out.indices.end(), {*cap_centre, cap[k + 1], cap[k]});
    }
    return out;
}

// Applies one level to `mesh`; false when it could not be done.
bool apply(const EntityTable& table, const Level& level, MeshData& mesh) {
    if (!level.second) return false;
    const bool difference = type_is(level.op, "DIFFERENCE");
    if (!difference && !type_is(level.op, "INTERSECTION")) return false;
    const auto h = read_half_space(table, *level.second, !difference);
    if (!h) return false;
    if (h->bounded) {
        // A bounded half-space removes only what lies within its prism: inside it the cut is
        // the plane's, apart from it nothing; a mesh that crosses it is left whole.
        const Prism where = against_prism(mesh, *h);
        if (where == Prism::Crossing || !difference) return false;
        if (where == Prism::Apart) return true;
    }
    mesh = clip(mesh, h->plane);
    return true;
}

void append(const SubMesh& sub, MeshData& out) {
    const auto base = static_cast<std::uint32_t>(out.positions.size() / 3);
    const std::size_t whole = sub.positions.size() / 3 * 3;
    out.positions.insert(out.positions.end(), sub.positions.begin(), sub.positions.begin() + whole);
    for (std::uint32_t i : sub.indices) out.indices.push_back(i + base);
}

struct NestingGuard {
    NestingGuard() { ++nesting; }
    ~NestingGuard() { --nesting; }
};

}  // namespace

std::optional<SubMesh> mesh_boolean(const EntityTable& table, std::uint64_t id, ItemMeshCache& cache) {
    if (nesting >= kMaxNesting) return std::nullopt;
    const NestingGuard guard;

    // Down the first operands to the first one that is not a boolean, or to a boolean
    // already built in this pass.
    std::vector<Level> levels;
    std::unordered_set<std::uint64_t> seen;
    std::uint64_t current = id;
    const std::vector<SubMesh>* built = nullptr;
    for (;;) {
        if (current != id) {
            if ((built = cache.items.find(current))) break;
        }
        const auto e = table.get(current);
        if (!e) return std::nullopt;
        if (!is_boolean(e->type)) break;
        if (!seen.insert(current).second || levels.size() >= kMaxChain) return std::nullopt;
        Attributes a(e->attributes);
        const auto first = a.ref(1);
        if (!first) return std::nullopt;
        levels.push_back({current, a.enumeration(0).value_or(""), a.ref(2)});
        current = *first;
    }

    MeshData mesh;
    bool whole = true;
    if (built) {
        for (const SubMesh& sub : *built) {
            append(sub, mesh);
            if (sub.kind == "boolean_unclipped") whole = false;
        }
    } else {
        std::vector<SubMesh> owned;
        for (const SubMesh& sub : mesh_item(table, current, cache, owned)) append(sub, mesh);
    }
    if (mesh.indices.empty()) return std::nullopt;
    // Every level is kept for the pass, so a product whose body is a level further down is
    // not built again; what a chain costs in clipping and in kept copies is bounded.
    std::size_t work = 0, kept = 0;
    for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
        work += mesh.indices.size();
        if (work > kMaxClipWork || !apply(table, *level, mesh)) whole = false;
        if (mesh.indices.empty()) return std::nullopt;
        if (level->id != id && (kept += mesh.positions.size()) <= kMaxKeptFloats) {
            cache.items[level->id] = {SubMesh{mesh.positions, mesh.indices, whole ? "boolean" : "boolean_unclipped"}};
        }
    }
    return SubMesh{std::move(mesh.positions), std::move(mesh.indices), whole ? "boolean" : "boolean_unclipped"};
}

}  // namespace quarnel
