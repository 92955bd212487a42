#include "mesh/emission.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "clock.hpp"
#include "mesh/items.hpp"
#include "mesh/placement.hpp"
#include "mesh/model_units.hpp"
#include "step/values.hpp"

namespace quarnel {

namespace {

// IFC entities that are never meshed as products, whatever their attributes.
constexpr std::array<std::string_view, 59> kNonProducts = {
    "IFCSITE", "IFCPERSON", "IFCSIUNIT", "IFCPROJECT", "IFCBUILDING", "IFCMATERIAL", "IFCPOLYLINE",
    "IFCDIRECTION", "IFCMAPPEDITEM", "IFCPROPERTYSET", "IFCAPPLICATION", "IFCQUANTITYAREA",
    "IFCORGANIZATION", "IFCOWNERHISTORY", "IFCMATERIALLAYER", "IFCQUANTITYCOUNT", "IFCRELAGGREGATES",
    "IFCBUILDINGSTOREY", "IFCCARTESIANPOINT", "IFCLOCALPLACEMENT", "IFCQUANTITYVOLUME", "IFCQUANTITYLENGTH",
    "IFCUNITASSIGNMENT", "IFCELEMENTQUANTITY", "IFCAXIS2PLACEMENT2D", "IFCAXIS2PLACEMENT3D",
    "IFCCIRCLEPROFILEDEF", "IFCINDEXEDPOLYCURVE", "IFCISHAPEPROFILEDEF", "IFCLSHAPEPROFILEDEF",
    "IFCTSHAPEPROFILEDEF", "IFCUSHAPEPROFILEDEF", "IFCZSHAPEPROFILEDEF", "IFCMATERIALLAYERSET",
    "IFCRELDEFINESBYTYPE", "IFCELLIPSEPROFILEDEF", "IFCEXTRUDEDAREASOLID", "IFCREPRESENTATIONMAP",
    "IFCCOMPOSITEPROFILEDEF", "IFCPROPERTYSINGLEVALUE", "IFCRECTANGLEPROFILEDEF", "IFCSHAPEREPRESENTATION",
    "IFCCARTESIANPOINTLIST2D", "IFCCARTESIANPOINTLIST3D", "IFCMATERIALLAYERSETUSAGE",
    "IFCPERSONANDORGANIZATION", "IFCRELASSOCIATESMATERIAL", "IFCCIRCLEHOLLOWPROFILEDEF",
    "IFCRELDEFINESBYPROPERTIES", "IFCPRODUCTDEFINITIONSHAPE", "IFCARBITRARYCLOSEDPROFILEDEF",
    "IFCROUNDEDRECTANGLEPROFILEDEF", "IFCRELASSOCIATESCLASSIFICATION", "IFCARBITRARYPROFILEDEFWITHVOIDS",
    "IFCGEOMETRICREPRESENTATIONCONTEXT", "IFCRELCONTAINEDINSPATIALSTRUCTURE",
    "IFCCARTESIANTRANSFORMATIONOPERATOR3D", "IFCGEOMETRICREPRESENTATIONSUBCONTEXT",
    "IFCCARTESIANTRANSFORMATIONOPERATOR3DNONUNIFORM",
};

// The names above bucketed by length, so a type costs one length lookup and a few compares.
struct NonProductIndex {
    static constexpr std::size_t kMaxLength = 64;
    std::array<std::vector<std::string_view>, kMaxLength> by_length;
    NonProductIndex() {
        for (auto name : kNonProducts) by_length[name.size()].push_back(name);
    }
};

bool is_product_candidate(std::string_view type) {
    static const NonProductIndex index;
    if (type.size() < 3 || type.substr(0, 3) != "IFC") return false;
    if (type.size() >= NonProductIndex::kMaxLength) return true;
    for (auto name : index.by_length[type.size()]) {
        if (name == type) return false;
    }
    return true;
}

bool is_body_identifier(std::optional<std::string_view> piece) {
    const auto text = piece ? value::text(*piece) : std::nullopt;
    return text && (equals_upper(*text, "BODY") || equals_upper(*text, "FACETATION"));
}

// The representation a product is meshed from: its 'Body' or 'Facetation'
// shape representation, else the first one listed.
std::optional<std::uint64_t> choose_representation(const EntityTable& table, std::uint64_t id) {
    const auto e = table.get(id);
    if (!e) return std::nullopt;
    if (!type_is(e->type, "IFCPRODUCTDEFINITIONSHAPE")) return id;
    const auto list = Attributes(e->attributes).list(2);
    if (!list) return std::nullopt;
    std::optional<std::uint64_t> fallback;
    PieceWalker elements(*list);
    for (std::string_view element; elements.next(element);) {
        const auto ref = value::ref(element);
        if (!ref) continue;
        if (!fallback) fallback = ref;
        const auto rep = table.get_typed(*ref, "IFCSHAPEREPRESENTATION");
        if (!rep) continue;
        if (is_body_identifier(Attributes(rep->attributes).at(1))) return ref;
    }
    return fallback;
}

// The placement a product's placement is relative to, when it names one.
std::optional<std::uint64_t> container_of(const EntityTable& table, std::uint64_t placement) {
    const auto e = table.get_typed(placement, "IFCLOCALPLACEMENT");
    return e ? Attributes(e->attributes).ref(0) : std::nullopt;
}

// A mesh none of whose coordinates is finite has no place to measure drift
// from: it counts as not meshed, not as a mesh at the origin.
bool has_finite_coordinate(const std::vector<float>& positions) {
    for (const float v : positions) {
        if (std::isfinite(v)) return true;
    }
    return false;
}

void append_transformed(const SubMesh& sub, const PlacementMatrix& placement, ProductMesh& out) {
    const auto base = static_cast<std::uint32_t>(out.positions.size() / 3);
    const std::size_t whole = sub.positions.size() / 3 * 3;
    const auto& m = placement.m;
    // push_back keeps geometric growth: reserving the exact new size on every
    // sub-mesh would copy the whole mesh each time, quadratic in its items.
    for (std::size_t i = 0; i < whole; i += 3) {
        const float x = sub.positions[i], y = sub.positions[i + 1], z = sub.positions[i + 2];
        out.positions.push_back(m[0] * x + m[4] * y + m[8] * z + m[12]);
        out.positions.push_back(m[1] * x + m[5] * y + m[9] * z + m[13]);
        out.positions.push_back(m[2] * x + m[6] * y + m[10] * z + m[14]);
    }
    for (std::uint32_t i : sub.indices) out.indices.push_back(i + base);
    out.kind = sub.kind;
}

}  // namespace

MeshEmission emit_meshes(std::string_view file) {
    const Instant table_start = Instant::now();
    const EntityTable table = EntityTable::build(file);
    const double table_ms = ms_since(table_start);
    MeshEmission result = emit_meshes(table);
    result.entity_table_ms = table_ms;
    return result;
}

MeshEmission emit_meshes(const EntityTable& table) {
    MeshEmission result;
    const Instant mesh_start = Instant::now();
    PlacementCache placements;
    ItemMeshCache items;
    std::vector<SubMesh> owned;
    const ModelUnits units = read_model_units(table);
    const ModelUnitsScope units_scope(units);
    result.unit_scale = units.length;
    table.for_each([&](std::uint64_t, const EntityRecord& record) {
        const std::string_view type = table.type_of(record);
        if (!is_product_candidate(type)) return;
        Attributes attributes(table.entity(record).attributes);
        const auto representation = attributes.ref(6);
        if (!representation) return;

        const auto chosen = choose_representation(table, *representation);
        if (!chosen) return;
        const auto item_ids = representation_items(table, *chosen);
        if (item_ids.empty()) return;

        PlacementMatrix placement = PlacementMatrix::identity();
        Vec3 container_origin;
        const auto placement_id = attributes.ref(5);
        if (placement_id) {
            placement = resolve_placement(table, placements, *placement_id);
            if (const auto parent = container_of(table, *placement_id)) {
                container_origin = resolve_placement(table, placements, *parent).translation();
            }
        }

        ProductMesh mesh;
        for (std::uint64_t item : item_ids) {
            for (const SubMesh& sub : mesh_item(table, item, items, owned)) append_transformed(sub, placement, mesh);
        }
        if (mesh.indices.empty() || !has_finite_coordinate(mesh.positions)) return;
        if (auto guid = value::text(*attributes.at(0))) mesh.guid = std::move(*guid);
        mesh.type_label = display_case(type);
        mesh.origin = placement.translation();
        mesh.own_translation = mesh.origin.x != container_origin.x || mesh.origin.y != container_origin.y ||
                               mesh.origin.z != container_origin.z;
        result.meshes.push_back(std::move(mesh));
    });

    result.mesh_emission_ms = ms_since(mesh_start);
    return result;
}

}  // namespace quarnel
