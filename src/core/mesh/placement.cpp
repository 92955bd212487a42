#include "mesh/placement.hpp"

#include "mesh/grid_placement.hpp"
#include "mesh/linear_placement.hpp"

#include <cmath>
#include <unordered_set>

#include "step/values.hpp"

namespace quarnel {
namespace {

constexpr float kMinSquaredLength = 1e-12f;

// x, y or 0, z or 0 from the numbers of a coordinate list (0,0,0 without any).
Vec3 vec_from_list(std::string_view list) {
    double v[3] = {0.0, 0.0, 0.0};
    read_numbers(list, v, 3);
    return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

bool is_placement_type(std::string_view type) { return type_is(type, "IFCLOCALPLACEMENT"); }

PlacementMatrix local_frame(const EntityTable& table, std::optional<std::uint64_t> relative) {
    return relative ? read_axis_placement(table, *relative) : PlacementMatrix::identity();
}

// Grid and linear placements resolve their grid's or parent's placement in turn; a chain of
// them that comes back to itself is cut at this depth, where a placement counts as the identity.
constexpr int kMaxLocatedDepth = 8;
thread_local int located_depth = 0;

PlacementMatrix located_frame(const EntityTable& table, PlacementCache& cache, const Entity& e) {
    if (located_depth >= kMaxLocatedDepth) return PlacementMatrix::identity();
    ++located_depth;
    const auto frame = type_is(e.type, "IFCGRIDPLACEMENT") ? grid_placement_frame(table, cache, e)
                                                           : linear_placement_frame(table, cache, e);
    if (frame) {
        --located_depth;
        return *frame;
    }
    // Unreadable: as a local placement, PlacementRelTo at 0 and a relative frame at 1.
    Attributes a(e.attributes);
    PlacementMatrix fallback = PlacementMatrix::identity();
    if (a.has(2)) {
        if (const auto parent = a.ref(0)) fallback = resolve_placement(table, cache, *parent);
        fallback = multiply(fallback, local_frame(table, a.ref(1)));
    }
    --located_depth;
    return fallback;
}


// Ids on the chain being resolved. Real chains are a handful deep, so a plain
// scan serves until a chain grows long enough to need a hash set.
class ChainMembers {
public:
    bool contains(std::uint64_t id) const {
        if (!set_.empty()) return set_.count(id) != 0;
        for (std::uint64_t x : ids_) {
            if (x == id) return true;
        }
        return false;
    }
    void add(std::uint64_t id) {
        if (set_.empty() && ids_.size() < 32) {
            ids_.push_back(id);
            return;
        }
        if (set_.empty()) set_.insert(ids_.begin(), ids_.end());
        set_.insert(id);
    }

private:
    std::vector<std::uint64_t> ids_;
    std::unordered_set<std::uint64_t> set_;
};

}  // namespace

std::optional<Vec3> read_direction(const EntityTable& table, std::uint64_t id) {
    const auto e = table.get_typed(id, "IFCDIRECTION");
    if (!e) return std::nullopt;
    const auto list = Attributes(e->attributes).list(0);
    if (!list) return std::nullopt;
    return vec_from_list(*list);
}

std::optional<Vec3> read_point(const EntityTable& table, std::uint64_t id) {
    const auto e = table.get_typed(id, "IFCCARTESIANPOINT");
    if (!e) return std::nullopt;
    const auto list = Attributes(e->attributes).list(0);
    if (!list) return std::nullopt;
    return vec_from_list(*list);
}

PlacementMatrix read_axis_placement(const EntityTable& table, std::uint64_t id) {
    const auto e = table.get(id);
    if (!e) return PlacementMatrix::identity();
    const bool is3d = type_is(e->type, "IFCAXIS2PLACEMENT3D");
    if (!is3d && !type_is(e->type, "IFCAXIS2PLACEMENT2D")) return PlacementMatrix::identity();

    Attributes attributes(e->attributes);
    Vec3 location;
    if (const auto p = attributes.ref(0)) location = read_point(table, *p).value_or(Vec3{});

    std::optional<Vec3> axis;
    std::optional<Vec3> ref_direction;
    if (is3d) {
        if (const auto a = attributes.ref(1)) axis = read_direction(table, *a);
        if (const auto r = attributes.ref(2)) ref_direction = read_direction(table, *r);
    } else if (const auto r = attributes.ref(1)) {
        ref_direction = read_direction(table, *r);
        if (ref_direction) ref_direction->z = 0.0f;
    }

    Vec3 z = normalise(axis.value_or(Vec3{0.0f, 0.0f, 1.0f}));
    if (dot(z, z) < kMinSquaredLength) z = {0.0f, 0.0f, 1.0f};
    const Vec3 r = ref_direction.value_or(Vec3{1.0f, 0.0f, 0.0f});
    const float along = dot(r, z);
    Vec3 x = normalise({r.x - along * z.x, r.y - along * z.y, r.z - along * z.z});
    if (dot(x, x) < kMinSquaredLength) x = {1.0f, 0.0f, 0.0f};
    const Vec3 y = cross(z, x);

    PlacementMatrix m;
    m.m = {x.x, x.y, x.z, 0.0f, y.x, y.y, y.z, 0.0f, z.x, z.y, z.z, 0.0f, location.x, location.y, location.z, 1.0f};
    return m;
}

PlacementMatrix resolve_placement(const EntityTable& table, PlacementCache& cache, std::uint64_t id) {
    if (const auto* hit = cache.matrices.find(id)) return *hit;

    // Walk up the PlacementRelTo chain to the first frame already known, then
    // compose back down, caching every placement on the way.
    struct Link {
        std::uint64_t id;
        std::optional<std::uint64_t> relative;
    };
    std::vector<Link> chain;
    ChainMembers members;
    PlacementMatrix top = PlacementMatrix::identity();
    std::uint64_t current = id;
    for (;;) {
        if (const auto* hit = cache.matrices.find(current)) {
            top = *hit;
            break;
        }
        if (members.contains(current)) break;  // a cycle: the placement met again stands for the identity
        const auto e = table.get(current);
        if (e && (type_is(e->type, "IFCGRIDPLACEMENT") || type_is(e->type, "IFCLINEARPLACEMENT"))) {
            top = located_frame(table, cache, *e);
            cache.matrices[current] = top;
            break;
        }
        if (!e || !is_placement_type(e->type)) {
            cache.matrices[current] = PlacementMatrix::identity();
            break;
        }
        Attributes attributes(e->attributes);
        if (!attributes.has(2)) {
            cache.matrices[current] = PlacementMatrix::identity();
            break;
        }
        chain.push_back({current, attributes.ref(1)});
        members.add(current);
        const auto parent = attributes.ref(0);
        if (!parent) break;
        current = *parent;
    }
    for (auto link = chain.rbegin(); link != chain.rend(); ++link) {
        top = multiply(top, local_frame(table, link->relative));
        cache.matrices[link->id] = top;
    }
    return top;
}

}  // namespace quarnel
