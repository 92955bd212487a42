#include "mesh/mapped.hpp"

#include <unordered_set>

#include "mesh/placement.hpp"
#include "step/values.hpp"

namespace quarnel {

namespace {


std::optional<Vec3> axis_at(const EntityTable& table, Attributes& attributes, std::size_t index) {
    const auto ref = attributes.ref(index);
    return ref ? read_direction(table, *ref) : std::nullopt;
}

// One mapped item being expanded: the items of its representation and the
// frame that takes them to the coordinates of the outermost mapped item.
struct Expansion {
    std::uint64_t map;
    std::vector<std::uint64_t> items;
    std::size_t next = 0;
    PlacementMatrix frame;
};

std::optional<Expansion> open_mapped_item(const EntityTable& table, std::uint64_t id, const PlacementMatrix& outer) {
    const auto item = table.get_typed(id, "IFCMAPPEDITEM");
    if (!item) return std::nullopt;
    Attributes item_attributes(item->attributes);
    const auto map_id = item_attributes.ref(0);
    if (!map_id) return std::nullopt;
    const auto map = table.get_typed(*map_id, "IFCREPRESENTATIONMAP");
    if (!map) return std::nullopt;
    Attributes map_attributes(map->attributes);
    const auto representation = map_attributes.ref(1);
    if (!representation) return std::nullopt;
    const auto origin_id = map_attributes.ref(0);
    const PlacementMatrix origin = origin_id ? read_axis_placement(table, *origin_id) : PlacementMatrix::identity();
    const auto target_id = item_attributes.ref(1);
    const PlacementMatrix target =
        target_id ? read_transformation_operator(table, *target_id) : PlacementMatrix::identity();
    return Expansion{*map_id, representation_items(table, *representation), 0,
                     multiply(outer, multiply(target, origin))};
}

void append_placed(const SubMesh& source, const PlacementMatrix& frame, std::vector<SubMesh>& out) {
    SubMesh& sub = out.emplace_back();
    const std::size_t whole = source.positions.size() / 3 * 3;
    sub.positions.resize(whole);
    for (std::size_t i = 0; i < whole; i += 3) {
        const Vec3 p = frame.apply({source.positions[i], source.positions[i + 1], source.positions[i + 2]});
        sub.positions[i] = p.x;
        sub.positions[i + 1] = p.y;
        sub.positions[i + 2] = p.z;
    }
    sub.indices = source.indices;
    sub.kind = source.kind == "extrusion" ? std::string_view("mapped") : source.kind;
}

}  // namespace

PlacementMatrix read_transformation_operator(const EntityTable& table, std::uint64_t id) {
    const auto e = table.get(id);
    if (!e) return PlacementMatrix::identity();
    const bool non_uniform = type_is(e->type, "IFCCARTESIANTRANSFORMATIONOPERATOR3DNONUNIFORM");
    if (!non_uniform && !type_is(e->type, "IFCCARTESIANTRANSFORMATIONOPERATOR3D")) return PlacementMatrix::identity();
    Attributes a(e->attributes);

    // The axes are normalised but deliberately not made orthogonal: a skewed
    // or mirrored operator keeps its shape.
    const Vec3 x = normalise(axis_at(table, a, 0).value_or(Vec3{1.0f, 0.0f, 0.0f}));
    const Vec3 y = normalise(axis_at(table, a, 1).value_or(Vec3{0.0f, 1.0f, 0.0f}));
    const auto axis3 = axis_at(table, a, 4);
    const Vec3 z = normalise(axis3 ? *axis3 : cross(x, y));

    Vec3 origin;
    if (const auto p = a.ref(2)) origin = read_point(table, *p).value_or(Vec3{});
    const float s = number_at(a, 3).value_or(1.0f);
    float s2 = s;
    float s3 = s;
    if (non_uniform && a.has(6)) {
        s2 = number_at(a, 5).value_or(s);
        s3 = number_at(a, 6).value_or(s);
    }
    const Vec3 cx = mul(x, s), cy = mul(y, s2), cz = mul(z, s3);
    PlacementMatrix m;
    m.m = {cx.x, cx.y, cx.z, 0.0f, cy.x, cy.y, cy.z, 0.0f, cz.x, cz.y, cz.z, 0.0f, origin.x, origin.y, origin.z, 1.0f};
    return m;
}

// Nested mapped items are expanded with an explicit stack, so nesting depth
// costs heap, not call stack. A mapped item whose representation map is
// already being expanded further out gives nothing: that cuts every cycle.
// Maps that each place the next one several times grow exponentially without
// any cycle, so one expansion visits a bounded number of items and emits a
// bounded number of vertices; what lies beyond is left out.
std::vector<SubMesh> mesh_mapped_item(const EntityTable& table, std::uint64_t id, ItemMeshCache& cache) {
    constexpr std::size_t kMaxVisits = std::size_t{1} << 20;
    constexpr std::size_t kMaxFloats = std::size_t{3} << 24;  // 16 M vertices
    std::size_t visits = 0;
    std::size_t floats = 0;
    std::vector<SubMesh> out;
    auto first = open_mapped_item(table, id, PlacementMatrix::identity());
    if (!first) return out;
    std::vector<Expansion> stack;
    std::unordered_set<std::uint64_t> open_maps;
    open_maps.insert(first->map);
    stack.push_back(std::move(*first));
    std::vector<SubMesh> scratch;
    while (!stack.empty()) {
        Expansion& top = stack.back();
        if (top.next == top.items.size()) {
            open_maps.erase(top.map);
            stack.pop_back();
            continue;
        }
        if (++visits > kMaxVisits || floats > kMaxFloats) break;
        const std::uint64_t item = top.items[top.next++];
        const auto e = table.get(item);
        if (!e) continue;
        if (type_is(e->type, "IFCMAPPEDITEM")) {
            auto nested = open_mapped_item(table, item, top.frame);
            if (nested && open_maps.insert(nested->map).second) stack.push_back(std::move(*nested));
            continue;
        }
        for (const SubMesh& sub : mesh_item(table, item, cache, scratch)) {
            floats += sub.positions.size();
            if (floats > kMaxFloats) break;
            append_placed(sub, top.frame, out);
        }
    }
    return out;
}

}  // namespace quarnel
