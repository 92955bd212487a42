#include "mesh/faceset.hpp"

#include <algorithm>
#include <cmath>

#include "step/values.hpp"

namespace quarnel {

namespace {

// A file index: clamped to 0..2^32-1, fraction dropped (NaN reads as 0).
std::uint32_t to_index(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 4294967295.0) return 4294967295u;
    return static_cast<std::uint32_t>(v);
}

// 1-based file index to 0-based; 0 stays 0.
std::uint32_t zero_based(std::uint32_t c) { return c == 0 ? 0 : c - 1; }

void copy_points(const Points& points, SubMesh& out) {
    out.positions.reserve(points.size() * 3);
    for (const Vec3& p : points) {
        out.positions.push_back(p.x);
        out.positions.push_back(p.y);
        out.positions.push_back(p.z);
    }
}

// A triangle whose corners all lie among the `count` points; others are dropped.
void push_triangle(SubMesh& mesh, std::uint32_t count, std::uint32_t a, std::uint32_t b, std::uint32_t c) {
    if (a < count && b < count && c < count) {
        mesh.indices.push_back(a);
        mesh.indices.push_back(b);
        mesh.indices.push_back(c);
    }
}

}  // namespace

std::optional<Points> read_point_list(const EntityTable& table, std::uint64_t id) {
    const auto e = table.get_typed(id, "IFCCARTESIANPOINTLIST3D");
    if (!e) return std::nullopt;
    const auto list = Attributes(e->attributes).list(0);
    if (!list) return std::nullopt;
    Points points;
    PieceWalker elements(*list);
    for (std::string_view element; elements.next(element);) {
        const auto coords = value::list(element);
        if (!coords) continue;
        double v[3];
        if (read_numbers(*coords, v, 3) < 3) continue;
        points.push_back({static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])});
    }
    return points;
}

std::optional<std::vector<std::uint32_t>> read_index_list(std::string_view text) {
    const auto list = value::list(text);
    if (!list) return std::nullopt;
    std::vector<std::uint32_t> indices;
    PieceWalker elements(*list);
    for (std::string_view piece; elements.next(piece);) {
        if (auto v = value::number(piece)) indices.push_back(to_index(*v));
    }
    return indices;
}

std::optional<SubMesh> mesh_polygonal_face_set(const EntityTable& table, std::string_view attributes) {
    Attributes a(attributes);
    const auto coordinates = a.ref(0);
    if (!coordinates) return std::nullopt;
    const auto points = read_point_list(table, *coordinates);
    if (!points || points->empty()) return std::nullopt;
    if (!a.has(3)) return std::nullopt;
    std::optional<std::vector<std::uint32_t>> pn_index;
    if (const auto piece = a.at(3)) pn_index = read_index_list(*piece);
    const auto faces = a.list(2);
    if (!faces) return std::nullopt;

    SubMesh mesh;
    mesh.kind = "polygonal_faceset";
    const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(points->size(), UINT32_MAX));
    std::vector<std::uint32_t> face;
    PieceWalker elements(*faces);
    for (std::string_view element; elements.next(element);) {
        const auto ref = value::ref(element);
        if (!ref) continue;
        const auto f = table.get(*ref);
        if (!f || !(type_is(f->type, "IFCINDEXEDPOLYGONALFACE") || type_is(f->type, "IFCINDEXEDPOLYGONALFACEWITHVOIDS"))) {
            continue;
        }
        const auto raw = read_index_list(*Attributes(f->attributes).at(0));
        if (!raw) continue;
        face.clear();
        for (std::uint32_t c : *raw) {
            if (pn_index) {
                const std::uint32_t k = zero_based(c);
                if (k >= pn_index->size()) continue;
                face.push_back(zero_based((*pn_index)[k]));
            } else {
                face.push_back(zero_based(c));
            }
        }
        for (std::size_t i = 2; i < face.size(); ++i) {
            push_triangle(mesh, count, face[0], face[i - 1], face[i]);
        }
    }
    if (mesh.indices.empty()) return std::nullopt;
    copy_points(*points, mesh);
    return mesh;
}

std::optional<SubMesh> mesh_triangulated_face_set(const EntityTable& table, std::string_view attributes) {
    Attributes a(attributes);
    const auto coordinates = a.ref(0);
    if (!coordinates) return std::nullopt;
    const auto points = read_point_list(table, *coordinates);
    if (!points || points->empty()) return std::nullopt;
    const auto coord_index = a.list(3);
    if (!coord_index) return std::nullopt;

    SubMesh mesh;
    mesh.kind = "triangulated_faceset";
    const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(points->size(), UINT32_MAX));
    PieceWalker elements(*coord_index);
    for (std::string_view element; elements.next(element);) {
        const auto triple = value::list(element);
        if (!triple) continue;
        double v[3];
        if (read_numbers(*triple, v, 3) < 3) continue;
        push_triangle(mesh, count, zero_based(to_index(v[0])), zero_based(to_index(v[1])), zero_based(to_index(v[2])));
    }
    if (mesh.indices.empty()) return std::nullopt;
    copy_points(*points, mesh);
    return mesh;
}

}  // namespace quarnel
