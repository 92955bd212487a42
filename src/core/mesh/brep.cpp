#include "mesh/brep.hpp"

#include <algorithm>

#include "mesh/edge_loop.hpp"
#include "mesh/placement.hpp"
#include "step/flat_map.hpp"
#include "step/values.hpp"

namespace quarnel {

namespace {

struct Bound {
    std::uint64_t loop;
    bool orientation;
};

// The bound a face is drawn from: its first outer bound, else its first bound.
std::optional<Bound> choose_bound(const EntityTable& table, std::string_view bounds) {
    std::optional<Bound> first;
    PieceWalker elements(bounds);
    for (std::string_view element; elements.next(element);) {
        const auto ref = value::ref(element);
        if (!ref) continue;
        const auto b = table.get(*ref);
        if (!b) continue;
        const bool outer = type_is(b->type, "IFCFACEOUTERBOUND");
        if (!outer && !type_is(b->type, "IFCFACEBOUND")) continue;
        Attributes attributes(b->attributes);
        const auto loop = attributes.ref(0);
        if (!loop) continue;
        bool orientation = true;
        if (const auto e = attributes.enumeration(1)) orientation = *e == "T";
        if (outer) return Bound{*loop, orientation};
        if (!first) first = Bound{*loop, orientation};
    }
    return first;
}

// Vertex ids of one shell: each point entity becomes one vertex, however many faces use it.
class ShellVertices {
public:
    ShellVertices(const EntityTable& table, std::size_t expected, MeshData& out)
        : table_(table), map_(expected), out_(out) {}

    std::optional<std::uint32_t> vertex(std::uint64_t point_id) {
        if (const auto* hit = map_.find(point_id)) return *hit;
        const auto p = read_point(table_, point_id);
        if (!p) return std::nullopt;
        const auto index = static_cast<std::uint32_t>(out_.positions.size() / 3);
        out_.positions.push_back(p->x);
        out_.positions.push_back(p->y);
        out_.positions.push_back(p->z);
        map_[point_id] = index;
        return index;
    }

private:
    const EntityTable& table_;
    IdMap<std::uint32_t> map_;
    MeshData& out_;
};

}  // namespace

std::optional<MeshData> triangulate_shell(const EntityTable& table, std::uint64_t id) {
    const auto shell = table.get(id);
    // Face-based surface models hold connected face sets: the same list of faces at 0.
    if (!shell || !(type_is(shell->type, "IFCOPENSHELL") || type_is(shell->type, "IFCCLOSEDSHELL") ||
                    type_is(shell->type, "IFCCONNECTEDFACESET"))) {
        return std::nullopt;
    }
    const auto faces = Attributes(shell->attributes).list(0);
    if (!faces) return std::nullopt;
    return triangulate_faces(table, *faces);
}

std::optional<MeshData> triangulate_faces(const EntityTable& table, std::string_view faces_list) {
    const std::optional<std::string_view> faces = faces_list;
    MeshData mesh;
    // Sized to the shell (a quad face brings about one new point) rather than
    // to a fixed large table: many small shells are the common case.
    ShellVertices vertices(table, std::min<std::size_t>(count_elements(*faces) * 2, 8192), mesh);
    std::vector<std::uint32_t> polygon;
    std::vector<std::uint64_t> edge_points;
    PieceWalker elements(*faces);
    for (std::string_view element; elements.next(element);) {
        const auto ref = value::ref(element);
        if (!ref) continue;
        const auto face = table.get(*ref);
        if (!face || !(type_is(face->type, "IFCFACE") || type_is(face->type, "IFCFACESURFACE") ||
                       type_is(face->type, "IFCADVANCEDFACE"))) {
            continue;
        }
        const auto bounds = Attributes(face->attributes).list(0);
        if (!bounds) continue;
        const auto bound = choose_bound(table, *bounds);
        if (!bound) continue;
        const auto loop = table.get(bound->loop);
        if (!loop) continue;
        polygon.clear();
        if (type_is(loop->type, "IFCEDGELOOP")) {
            // Faces of advanced breps and structural faces are bounded by edges.
            edge_loop_points(table, *loop, edge_points);
            for (const std::uint64_t point : edge_points) {
                if (const auto v = vertices.vertex(point)) polygon.push_back(*v);
            }
        } else {
            if (!type_is(loop->type, "IFCPOLYLOOP")) continue;
            const auto points = Attributes(loop->attributes).list(0);
            if (!points) continue;
            PieceWalker point_walker(*points);
            for (std::string_view point; point_walker.next(point);) {
                const auto point_ref = value::ref(point);
                if (!point_ref) continue;
                if (const auto v = vertices.vertex(*point_ref)) polygon.push_back(*v);
            }
        }
        if (polygon.size() <= 2) continue;
        if (!bound->orientation) std::reverse(polygon.begin(), polygon.end());
        for (std::size_t i = 2; i < polygon.size(); ++i) {
            mesh.indices.push_back(polygon[0]);
            mesh.indices.push_back(polygon[i - 1]);
            mesh.indices.push_back(polygon[i]);
        }
    }
    if (mesh.indices.empty()) return std::nullopt;
    return mesh;
}

std::optional<SubMesh> mesh_brep(const EntityTable& table, std::string_view attributes) {
    const auto outer = Attributes(attributes).ref(0);
    if (!outer) return std::nullopt;
    auto shell = triangulate_shell(table, *outer);
    if (!shell) return std::nullopt;
    return SubMesh{std::move(shell->positions), std::move(shell->indices), "brep"};
}

// Every shell of the model's attribute 0, merged into one sub-mesh.
std::optional<SubMesh> mesh_surface_model(const EntityTable& table, std::string_view attributes) {
    const auto shells = Attributes(attributes).list(0);
    if (!shells) return std::nullopt;
    SubMesh mesh;
    mesh.kind = "shell";
    PieceWalker elements(*shells);
    for (std::string_view element; elements.next(element);) {
        const auto ref = value::ref(element);
        if (!ref) continue;
        const auto shell = triangulate_shell(table, *ref);
        if (!shell) continue;
        const auto base = static_cast<std::uint32_t>(mesh.positions.size() / 3);
        mesh.positions.insert(mesh.positions.end(), shell->positions.begin(), shell->positions.end());
        for (std::uint32_t i : shell->indices) mesh.indices.push_back(i + base);
    }
    if (mesh.indices.empty()) return std::nullopt;
    return mesh;
}

}  // namespace quarnel
