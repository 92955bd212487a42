#include "mesh/drift.hpp"

#include <cmath>

#include "mesh/emission.hpp"

namespace quarnel {

namespace {

void add_row(DriftColumns& c, const MeshStats& s) {
    c.guid.push(std::string_view(s.guid));
    c.entity.push(std::string_view(s.type_label));
    c.source.push_back(s.kind);
    c.triangle_count.push_back(s.triangle_count);
    c.surface_area.push_back(s.surface_area);
    c.volume_abs.push_back(std::fabs(s.signed_volume));
    c.placement_x.push_back(s.placement.x);
    c.placement_y.push_back(s.placement.y);
    c.placement_z.push_back(s.placement.z);
    const Vec3 centre = s.centre();
    c.centroid_x.push_back(centre.x);
    c.centroid_y.push_back(centre.y);
    c.centroid_z.push_back(centre.z);
    c.drift_distance.push_back(s.drift_distance);
    c.max_extent.push_back(s.max_extent);
    c.drift_ratio.push_back(s.drift_ratio);
    c.severity.push_back(s.severity);
    c.placement.push_back(s.placement_kind);
    if (s.severity == "warn") {
        ++c.warn;
    } else if (s.severity == "error") {
        ++c.error;
    } else {
        ++c.ok;
    }
}

}  // namespace

float ok_distance(std::optional<double> unit_scale) {
    if (!unit_scale || !(*unit_scale > 0.0) || !std::isfinite(*unit_scale)) return kOkUnits;
    return static_cast<float>(kOkMetres / *unit_scale);
}

void classify_drift(MeshStats& s, float ok_distance, bool own_translation) {
    const Vec3 c = s.centre();
    const float dx = c.x - s.placement.x, dy = c.y - s.placement.y, dz = c.z - s.placement.z;
    s.drift_distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    s.drift_ratio = s.drift_distance / s.max_extent;
    if (s.drift_ratio <= kOkRatio || s.drift_distance < ok_distance) {
        s.severity = "ok";
    } else if (s.drift_ratio <= kWarnRatio) {
        s.severity = "warn";
    } else {
        s.severity = "error";  // a NaN ratio lands here too
    }
    s.placement_kind = s.severity != "ok" && !own_translation ? "unplaced" : "placed";
}

DriftColumns analyse_drift(std::string_view file) { return drift_columns(emit_meshes(file)); }

DriftColumns drift_columns(MeshEmission&& emission) {
    DriftColumns c;
    c.entity_table_ms = emission.entity_table_ms;
    c.mesh_emission_ms = emission.mesh_emission_ms;
    const std::size_t n = emission.meshes.size();
    c.guid.reserve(n);
    c.entity.reserve(n);
    for (auto* column : {&c.source, &c.severity, &c.placement}) column->reserve(n);
    c.triangle_count.reserve(n);
    for (auto* column : {&c.surface_area, &c.volume_abs, &c.placement_x, &c.placement_y, &c.placement_z, &c.centroid_x,
                         &c.centroid_y, &c.centroid_z, &c.drift_distance, &c.max_extent, &c.drift_ratio}) {
        column->reserve(n);
    }
    const float floor = ok_distance(emission.unit_scale);
    for (ProductMesh& mesh : emission.meshes) {
        add_row(c, compute_mesh_stats(mesh, floor));
        mesh = ProductMesh();  // its geometry is no longer needed
    }
    return c;
}

}  // namespace quarnel
