#include "mesh/items.hpp"

#include <string>

#include "mesh/boolean_clip.hpp"
#include "mesh/brep.hpp"
#include "mesh/extrusion.hpp"
#include "mesh/faceset.hpp"
#include "mesh/mapped.hpp"
#include "mesh/swept_solids.hpp"
#include "step/values.hpp"

namespace quarnel {

namespace {

std::optional<SubMesh> labelled(std::optional<MeshData> m, std::string_view kind) {
    if (!m) return std::nullopt;
    return SubMesh{std::move(m->positions), std::move(m->indices), kind};
}

std::optional<SubMesh> build_item(const EntityTable& table, std::uint64_t id, const Entity& e) {
    if (type_is(e.type, "IFCEXTRUDEDAREASOLID")) {
        auto m = mesh_extrusion(table, e.attributes);
        if (!m) return std::nullopt;
        return SubMesh{std::move(m->positions), std::move(m->indices), "extrusion"};
    }
    if (type_is(e.type, "IFCEXTRUDEDAREASOLIDTAPERED")) return labelled(mesh_tapered_extrusion(table, e.attributes), "tapered_extrusion");
    if (type_is(e.type, "IFCREVOLVEDAREASOLID")) return labelled(mesh_revolution(table, e.attributes), "revolution");
    if (type_is(e.type, "IFCSWEPTDISKSOLID") || type_is(e.type, "IFCSWEPTDISKSOLIDPOLYGONAL")) {
        return labelled(mesh_swept_disk(table, e.attributes), "swept_disk");
    }
    if (type_is(e.type, "IFCFACESURFACE") || type_is(e.type, "IFCFACE") || type_is(e.type, "IFCADVANCEDFACE")) {
        const std::string self = "#" + std::to_string(id);  // a face standing alone as an item
        return labelled(triangulate_faces(table, self), "face");
    }
    if (type_is(e.type, "IFCADVANCEDBREP") || type_is(e.type, "IFCADVANCEDBREPWITHVOIDS") ||
        type_is(e.type, "IFCFACETEDBREPWITHVOIDS")) {
        return mesh_brep(table, e.attributes);
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
    if (type_is(e->type, "IFCBOOLEANRESULT") || type_is(e->type, "IFCBOOLEANCLIPPINGRESULT")) {
        // Built before its slot is made: the operands are meshed through the same cache.
        auto sub = mesh_boolean(table, id, cache);
        auto& slot = cache.items[id];
        slot.clear();
        if (sub) slot.push_back(std::move(*sub));
        return slot;
    }
    auto& slot = cache.items[id];
    if (auto sub = build_item(table, id, *e)) slot.push_back(std::move(*sub));
    return slot;
}

std::vector<std::uint64_t> representation_items(const EntityTable& table, std::uint64_t id) {
    std::vector<std::uint64_t> items;
    // Structural members draw their faces in a topology representation with the same Items.
    const auto e = table.get(id);
    if (!e || !(type_is(e->type, "IFCSHAPEREPRESENTATION") || type_is(e->type, "IFCTOPOLOGYREPRESENTATION"))) {
        return items;
    }
    const auto list = Attributes(e->attributes).list(3);
    if (!list) return items;
    PieceWalker elements(*list);
    for (std::string_view element; elements.next(element);) {
        if (const auto ref = value::ref(element)) items.push_back(*ref);
    }
    return items;
}

}  // namespace quarnel
