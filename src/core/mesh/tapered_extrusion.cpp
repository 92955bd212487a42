#include "mesh/swept_solids.hpp"

#include "mesh/extrusion.hpp"
#include "mesh/profiles.hpp"
#include "step/values.hpp"
#include "mesh/placement.hpp"

namespace quarnel {

namespace {

bool same_rings(const Profile& a, const Profile& b) {
    if (a.outer.size() != b.outer.size() || a.holes.size() != b.holes.size()) return false;
    for (std::size_t i = 0; i < a.holes.size(); ++i) {
        if (a.holes[i].size() != b.holes[i].size()) return false;
    }
    return true;
}

}  // namespace

std::optional<MeshData> mesh_tapered_extrusion(const EntityTable& table, std::string_view attributes) {
    auto mesh = mesh_extrusion(table, attributes);
    if (!mesh) return std::nullopt;
    Attributes a(attributes);
    if (!a.has(5)) return mesh;
    const auto start_id = a.ref(0), end_id = a.ref(4);
    const auto start_entity = start_id ? table.get(*start_id) : std::nullopt;
    const auto end_entity = end_id ? table.get(*end_id) : std::nullopt;
    if (!start_entity || !end_entity) return mesh;
    const auto start = build_profile(table, *start_entity);
    const auto end = build_profile(table, *end_entity);
    if (!start || !end || !same_rings(*start, *end)) return mesh;

    // The top ring is moved from the start outline's points to the end outline's: the
    // extrusion put top vertex k at M (p_k + d h); it becomes M (q_k + d h).
    const auto position_id = a.ref(1);
    const PlacementMatrix position = position_id ? read_axis_placement(table, *position_id) : PlacementMatrix::identity();
    std::size_t n = start->outer.size();
    for (const auto& hole : start->holes) n += hole.size();
    std::size_t v = 0;
    float* top = mesh->positions.data() + 3 * n;
    const Vec3 origin = position.translation();
    const auto move = [&](const Ring2& from, const Ring2& to) {
        for (std::size_t k = 0; k < from.size(); ++k, ++v) {
            const Vec3 shift = position.apply({to[k].x - from[k].x, to[k].y - from[k].y, 0.0f});
            top[3 * v] += shift.x - origin.x;
            top[3 * v + 1] += shift.y - origin.y;
            top[3 * v + 2] += shift.z - origin.z;
        }
    };
    move(start->outer, end->outer);
    for (std::size_t i = 0; i < start->holes.size(); ++i) move(start->holes[i], end->holes[i]);
    return mesh;
}

}  // namespace quarnel
