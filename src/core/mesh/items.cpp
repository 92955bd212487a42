#include "mesh/items.hpp"

#include "mesh/brep.hpp"
#include "mesh/extrusion.hpp"
#include "mesh/faceset.hpp"
#include "mesh/mapped.hpp"
#include "step/values.hpp"

namespace quarnel {

namespace {

std::optional<SubMesh> build_item(const EntityTable& table, const Entity& e) {
    if (type_is(e.type, "IFCEXTRUDEDAREASOLID")) {
        auto m = mesh_extrusion(table, e.attributes);
        if (!m) return std::nullopt;
        return SubMesh{std::move(m->positions), std::move(m->indices), "extrusion"};
    }
    if (type_is(e.type, "IFCFACETEDBREP") || type_is(e.type, "IFCMANIFOLDSOLIDBREP")) {
        return mesh_brep(table, e.attributes);
    }
    if (type_is(e.type, "IFCPOLYGONALFACESET")) return mesh_polygonal_face_set(table, e.attributes);
    if (type_is(e.type, "IFCTRIANGULATEDFACESET")) return mesh_triangulated_face_set(table, e.attributes);
    if (type_is(e.type, "IFCFACEBASEDSURFACEMODEL") || type_is(e.type, "IFCSHELLBASEDSURFACEMODEL")) {
        return mesh_surface_model(table, e.attributes);
    }
    return std::nullopt;
}

}  // namespace

const std::vector<SubMesh>& mesh_item(const EntityTable& table, std::uint64_t id, ItemMeshCache& cache,
                                      std::vector<SubMesh>& owned) {
    if (const auto* hit = cache.items.find(id)) return *hit;
    owned.clear();
    const auto e = table.get(id);
    if (!e) return owned;
    if (type_is(e->type, "IFCMAPPEDITEM")) {
        owned = mesh_mapped_item(table, id, cache);
        return owned;
    }
    auto& slot = cache.items[id];
    if (auto sub = build_item(table, *e)) slot.push_back(std::move(*sub));
    return slot;
}

std::vector<std::uint64_t> representation_items(const EntityTable& table, std::uint64_t id) {
    std::vector<std::uint64_t> items;
    const auto e = table.get_typed(id, "IFCSHAPEREPRESENTATION");
    if (!e) return items;
    const auto list = Attributes(e->attributes).list(3);
    if (!list) return items;
    PieceWalker elements(*list);
    for (std::string_view element; elements.next(element);) {
        if (const auto ref = value::ref(element)) items.push_back(*ref);
    }
    return items;
}

}  // namespace quarnel
