#include "arrow/tables.hpp"

#include <cmath>
#include <tuple>

namespace quarnel::arrow {
namespace {

Table extractor_table(const Reads& r, const char* timing_key, double ms) {
    Table t;
    t.fact("open_ms", r.open_ms);
    t.fact("entity_table_ms", r.entity_table_ms);
    t.fact("guid_index_ms", r.guid_index_ms);
    t.fact(timing_key, ms);
    t.fact("size_bytes", r.size_bytes);
    return t;
}

Table psets(const Reads& r) {
    const PsetColumns& c = *r.psets;
    Table t = extractor_table(r, "pset_extract_ms", r.psets_ms);
    t.add("guid", Kind::Str, PooledIdParts{&c.text, &c.guid});
    t.add("pset_name", Kind::Dict, PooledIdParts{&c.text, &c.pset_name});
    t.add("prop_name", Kind::Dict, PooledIdParts{&c.text, &c.prop_name});
    t.add("value", Kind::Str, PooledIdParts{&c.text, &c.value});
    t.add("value_type", Kind::Dict, PooledIdParts{&c.text, &c.value_type});
    return t;
}

Table quantities(const Reads& r) {
    const QtoColumns& c = *r.quantities;
    Table t = extractor_table(r, "qto_extract_ms", r.quantities_ms);
    t.add("guid", Kind::Str, PooledIds{&c.text, &c.guid});
    t.add("qto_name", Kind::Dict, PooledIds{&c.text, &c.qto_name});
    t.add("quantity_name", Kind::Dict, PooledIds{&c.text, &c.quantity_name});
    t.add("value", Kind::Str, PooledIds{&c.text, &c.value});
    t.add("quantity_type", Kind::Dict, PooledIds{&c.text, &c.quantity_type});
    t.add("unit_step_id", Kind::Int, &c.unit_step_id);
    return t;
}

Table materials(const Reads& r) {
    const MaterialColumns& c = *r.materials;
    Table t = extractor_table(r, "materials_extract_ms", r.materials_ms);
    t.add("guid", Kind::Str, PooledIds{&c.text, &c.guid});
    t.add("role", Kind::Dict, PooledIds{&c.text, &c.role});
    t.add("layer_index", Kind::Int, &c.layer_index);
    t.add("material_name", Kind::Dict, PooledIds{&c.text, &c.material_name});
    t.add("layer_thickness_mm", Kind::Float, &c.layer_thickness);
    t.add("category", Kind::Dict, PooledIds{&c.text, &c.category});
    return t;
}

Table classifications(const Reads& r) {
    const ClassificationColumns& c = *r.classifications;
    Table t = extractor_table(r, "classifications_extract_ms", r.classifications_ms);
    t.add("guid", Kind::Str, PooledIds{&c.text, &c.guid});
    t.add("system_name", Kind::Dict, PooledIds{&c.text, &c.system_name});
    t.add("edition", Kind::Dict, PooledIds{&c.text, &c.edition});
    t.add("identification", Kind::Dict, PooledIds{&c.text, &c.identification});
    t.add("name", Kind::Dict, PooledIds{&c.text, &c.name});
    t.add("location", Kind::Dict, PooledIds{&c.text, &c.location});
    t.add("source", Kind::Dict, PooledIds{&c.text, &c.source});
    return t;
}

Table properties(const Reads& r) {
    const PropertyColumns& c = *r.properties;
    Table t = extractor_table(r, "properties_extract_ms", r.properties_ms);
    const auto text = [&](const TextColumn& ids) { return PooledIds{&c.text, &ids}; };
    // GlobalIds repeat for every value of their object.
    t.add("guid", Kind::Dict, text(c.guid));
    t.add("entity", Kind::Dict, text(c.entity));
    t.add("pset_name", Kind::Dict, text(c.pset_name));
    t.add("prop_name", Kind::Dict, text(c.prop_name));
    t.add("value", Kind::Str, text(c.value));
    t.add("value_type", Kind::Dict, text(c.value_type));
    t.add("number", Kind::Float, &c.number);
    t.add("kind", Kind::Dict, text(c.kind));
    t.add("source", Kind::Dict, text(c.source));
    t.add("type_guid", Kind::Dict, text(c.type_guid));
    t.add("value_index", Kind::Int, &c.value_index);
    t.add("role", Kind::Dict, text(c.role));
    return t;
}

Table element_quantities(const Reads& r) {
    const ElementQuantityColumns& c = *r.element_quantities;
    Table t = extractor_table(r, "element_quantities_extract_ms", r.element_quantities_ms);
    const auto text = [&](const TextColumn& ids) { return PooledIds{&c.text, &ids}; };
    t.add("guid", Kind::Dict, text(c.guid));
    t.add("entity", Kind::Dict, text(c.entity));
    t.add("qto_name", Kind::Dict, text(c.qto_name));
    t.add("quantity_name", Kind::Dict, text(c.quantity_name));
    t.add("value", Kind::Str, text(c.value));
    t.add("number", Kind::Float, &c.number);
    t.add("quantity_type", Kind::Dict, text(c.quantity_type));
    t.add("unit", Kind::Dict, text(c.unit));
    t.add("source", Kind::Dict, text(c.source));
    t.add("type_guid", Kind::Dict, text(c.type_guid));
    return t;
}

Table elements(const Reads& r) {
    const ElementColumns& c = *r.elements;
    Table t = extractor_table(r, "elements_extract_ms", r.elements_ms);
    // Names, descriptions, tags and GlobalIds are mostly distinct: plain text; the rest repeats.
    const std::tuple<const char*, Kind, const TextColumn*> texts[] = {
        {"guid", Kind::Str, &c.guid},
        {"entity", Kind::Dict, &c.entity},
        {"name", Kind::Str, &c.name},
        {"description", Kind::Str, &c.description},
        {"object_type", Kind::Dict, &c.object_type},
        {"tag", Kind::Str, &c.tag},
        {"predefined_type", Kind::Dict, &c.predefined_type},
        {"type_guid", Kind::Str, &c.type_guid},
        {"type_entity", Kind::Dict, &c.type_entity},
        {"type_name", Kind::Dict, &c.type_name},
        {"storey_guid", Kind::Str, &c.storey_guid},
        {"storey_name", Kind::Dict, &c.storey_name},
        {"building_guid", Kind::Str, &c.building_guid},
        {"site_guid", Kind::Str, &c.site_guid},
    };
    for (const auto& [name, kind, ids] : texts) t.add(name, kind, PooledIds{&c.text, ids});
    return t;
}

// Every table of the index carries the model's facts.
Table index_table(const Reads& r) {
    const ModelIndex& m = *r.index;
    Table t;
    t.fact("schema", m.schema);
    if (m.project_name) t.fact("project_name", *m.project_name);
    if (m.authoring_app) t.fact("authoring_app", *m.authoring_app);
    if (m.unit_scale) t.fact("unit_scale", *m.unit_scale);
    t.fact("size_bytes", r.size_bytes);
    t.fact("open_ms", r.open_ms);
    t.fact("index_ms", r.index_ms);
    return t;
}

Table products(const Reads& r) {
    const ProductColumns& c = r.index->products;
    Table t = index_table(r);
    t.add("step_id", Kind::Int, &c.step_id);
    t.add("guid", Kind::Str, &c.guid);
    t.add("entity", Kind::Dict, &c.entity);
    t.add("name", Kind::Str, &c.name);
    t.add("predefined_type", Kind::Dict, &c.predefined_type);
    t.add("object_type", Kind::Dict, &c.object_type);
    t.add("tag", Kind::Str, &c.tag);
    return t;
}

Table storeys(const Reads& r) {
    const StoreyColumns& c = r.index->storeys;
    Table t = index_table(r);
    t.add("step_id", Kind::Int, &c.step_id);
    t.add("guid", Kind::Str, &c.guid);
    t.add("name", Kind::Str, &c.name);
    t.add("elevation", Kind::Float, &c.elevation);
    t.add("building_step_id", Kind::Int, &c.building_step_id);
    return t;
}

Table pairs(const Reads& r, const IdPairs& p, const char* first, const char* second) {
    Table t = index_table(r);
    t.add(first, Kind::Int, &p.first);
    t.add(second, Kind::Int, &p.second);
    return t;
}

// Ids in the map's iteration order, each with its own GlobalId at the same position.
Table guid_map(const Reads& r, const GuidMap& map) {
    std::vector<std::uint64_t> ids;
    std::vector<std::string_view> guids;
    ids.reserve(map.size());
    guids.reserve(map.size());
    map.for_each([&](std::uint64_t id, std::string_view guid) {
        ids.push_back(id);
        guids.push_back(guid);
    });
    Table t = index_table(r);
    t.add("step_id", Kind::Int, t.own(std::move(ids)));
    t.add("guid", Kind::Str, t.own(std::move(guids)));
    return t;
}

Table type_counts(const Reads& r) {
    std::vector<std::string_view> entity;
    std::vector<std::uint32_t> count;
    for (const TypeCount& c : r.index->type_counts) {
        entity.push_back(c.entity);
        count.push_back(c.count);
    }
    Table t = index_table(r);
    t.add("entity", Kind::Str, t.own(std::move(entity)));
    t.add("count", Kind::Int, t.own(std::move(count)));
    return t;
}

Table drift(const Reads& r) {
    const std::vector<MeshStats>& rows = *r.drift;
    std::vector<std::string_view> guid, entity, source, severity, placement;
    std::vector<std::uint32_t> triangles;
    std::vector<float> area, volume, px, py, pz, cx, cy, cz, distance, extent, ratio;
    std::uint64_t ok = 0, warn = 0, error = 0;
    for (const MeshStats& s : rows) {
        guid.push_back(s.guid);
        entity.push_back(s.type_label);
        source.push_back(s.kind);
        triangles.push_back(s.triangle_count);
        area.push_back(s.surface_area);
        volume.push_back(std::fabs(s.signed_volume));
        px.push_back(s.placement.x);
        py.push_back(s.placement.y);
        pz.push_back(s.placement.z);
        const Vec3 c = s.centre();
        cx.push_back(c.x);
        cy.push_back(c.y);
        cz.push_back(c.z);
        distance.push_back(s.drift_distance);
        extent.push_back(s.max_extent);
        ratio.push_back(s.drift_ratio);
        severity.push_back(s.severity);
        placement.push_back(s.placement_kind);
        if (s.severity == "warn") {
            ++warn;
        } else if (s.severity == "error") {
            ++error;
        } else {
            ++ok;
        }
    }
    Table t;
    t.fact("mesh_emission_ms", r.mesh_emission_ms);
    t.fact("entity_table_ms", r.mesh_entity_table_ms);
    t.fact("total_ms", r.drift_total_ms);
    t.fact("size_bytes", r.size_bytes);
    t.fact("drift_ok", ok);
    t.fact("drift_warn", warn);
    t.fact("drift_error", error);
    t.add("guid", Kind::Str, t.own(std::move(guid)));
    t.add("entity", Kind::Dict, t.own(std::move(entity)));
    t.add("source", Kind::Dict, t.own(std::move(source)));
    t.add("triangle_count", Kind::Int, t.own(std::move(triangles)));
    const std::pair<const char*, std::vector<float>*> floats[] = {
        {"surface_area", &area}, {"volume_abs", &volume},       {"placement_x", &px}, {"placement_y", &py},
        {"placement_z", &pz},    {"centroid_x", &cx},           {"centroid_y", &cy},  {"centroid_z", &cz},
        {"drift_distance", &distance}, {"max_extent", &extent}, {"drift_ratio", &ratio},
    };
    for (const auto& [name, values] : floats) t.add(name, Kind::Float, t.own(std::move(*values)));
    t.add("drift_severity", Kind::Dict, t.own(std::move(severity)));
    t.add("placement", Kind::Dict, t.own(std::move(placement)));
    return t;
}

}  // namespace

const std::vector<TableDef>& table_defs() {
    static const std::vector<TableDef> defs = {
        {"psets", kPsets, psets},
        {"quantities", kQuantities, quantities},
        {"materials", kMaterials, materials},
        {"classifications", kClassifications, classifications},
        {"products", kIndex, products},
        {"storeys", kIndex, storeys},
        {"contained_in", kIndex, [](const Reads& r) { return pairs(r, r.index->contained_in, "child", "structure"); }},
        {"aggregates", kIndex, [](const Reads& r) { return pairs(r, r.index->aggregates, "child", "parent"); }},
        {"storey_building", kIndex,
         [](const Reads& r) { return pairs(r, r.index->storey_building, "storey", "building"); }},
        {"sites", kIndex, [](const Reads& r) { return guid_map(r, r.index->sites); }},
        {"buildings", kIndex, [](const Reads& r) { return guid_map(r, r.index->buildings); }},
        {"projects", kIndex, [](const Reads& r) { return guid_map(r, r.index->projects); }},
        {"spaces", kIndex, [](const Reads& r) { return guid_map(r, r.index->spaces); }},
        {"type_counts", kIndex, type_counts},
        {"drift", kDrift, drift},
        {"properties", kProperties, properties},
        {"element_quantities", kElementQuantities, element_quantities},
        {"elements", kElements, elements},
    };
    return defs;
}

const TableDef* find_table(std::string_view name) {
    for (const TableDef& d : table_defs()) {
        if (d.name == name) return &d;
    }
    return nullptr;
}

}  // namespace quarnel::arrow
