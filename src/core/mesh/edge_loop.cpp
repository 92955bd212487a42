#include "mesh/edge_loop.hpp"

#include "step/values.hpp"

namespace quarnel {

void edge_loop_points(const EntityTable& table, const Entity& loop, std::vector<std::uint64_t>& points) {
    points.clear();
    const auto edges = Attributes(loop.attributes).list(0);
    if (!edges) return;
    PieceWalker walker(*edges);
    for (std::string_view piece; walker.next(piece);) {
        const auto ref = value::ref(piece);
        const auto oriented = ref ? table.get_typed(*ref, "IFCORIENTEDEDGE") : std::nullopt;
        if (!oriented) continue;
        Attributes o(oriented->attributes);
        const auto edge_id = o.ref(2);
        const auto edge = edge_id ? table.get(*edge_id) : std::nullopt;
        if (!edge) continue;
        const auto orientation = o.enumeration(3);
        Attributes e(edge->attributes);
        const auto vertex = e.ref(orientation && *orientation == "F" ? 1 : 0);
        const auto vertex_point = vertex ? table.get_typed(*vertex, "IFCVERTEXPOINT") : std::nullopt;
        if (!vertex_point) continue;
        if (const auto point = Attributes(vertex_point->attributes).ref(0)) points.push_back(*point);
    }
}

}  // namespace quarnel
