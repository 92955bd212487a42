#include <cmath>

#include "clock.hpp"
#include "mesh/emission.hpp"
#include "mesh/stats.hpp"
#include "python/frame.hpp"
#include "python/functions.hpp"
#include "python/marshal.hpp"

namespace quarnel::py {
namespace {

// The per-product columns of the result, in key order.
struct DriftColumns {
    std::vector<std::string_view> guid, entity, source, severity;
    std::vector<std::uint32_t> triangle_count;
    std::vector<float> surface_area, volume_abs, placement_x, placement_y, placement_z, centroid_x, centroid_y,
        centroid_z, drift_distance, max_extent, drift_ratio;
    std::uint64_t ok = 0, warn = 0, error = 0;

    explicit DriftColumns(const std::vector<MeshStats>& rows) {
        for (auto* c : {&guid, &entity, &source, &severity}) c->reserve(rows.size());
        triangle_count.reserve(rows.size());
        for (auto* c : {&surface_area, &volume_abs, &placement_x, &placement_y, &placement_z, &centroid_x,
                        &centroid_y, &centroid_z, &drift_distance, &max_extent, &drift_ratio}) {
            c->reserve(rows.size());
        }
        for (const MeshStats& s : rows) {
            guid.push_back(s.guid);
            entity.push_back(s.type_label);
            source.push_back(s.kind);
            triangle_count.push_back(s.triangle_count);
            surface_area.push_back(s.surface_area);
            volume_abs.push_back(std::fabs(s.signed_volume));
            placement_x.push_back(s.placement.x);
            placement_y.push_back(s.placement.y);
            placement_z.push_back(s.placement.z);
            const Vec3 c = s.centre();
            centroid_x.push_back(c.x);
            centroid_y.push_back(c.y);
            centroid_z.push_back(c.z);
            drift_distance.push_back(s.drift_distance);
            max_extent.push_back(s.max_extent);
            drift_ratio.push_back(s.drift_ratio);
            severity.push_back(s.severity);
            if (s.severity == "warn") {
                ++warn;
            } else if (s.severity == "error") {
                ++error;
            } else {
                ++ok;
            }
        }
    }

    bool put_into(PyObject* d) const {
        return put(d, "guid", to_list(guid)) && put(d, "entity", to_list(entity)) &&
               put(d, "source", to_list(source)) && put(d, "triangle_count", to_list(triangle_count)) &&
               put(d, "surface_area", to_list(surface_area)) && put(d, "volume_abs", to_list(volume_abs)) &&
               put(d, "placement_x", to_list(placement_x)) && put(d, "placement_y", to_list(placement_y)) &&
               put(d, "placement_z", to_list(placement_z)) && put(d, "centroid_x", to_list(centroid_x)) &&
               put(d, "centroid_y", to_list(centroid_y)) && put(d, "centroid_z", to_list(centroid_z)) &&
               put(d, "drift_distance", to_list(drift_distance)) && put(d, "max_extent", to_list(max_extent)) &&
               put(d, "drift_ratio", to_list(drift_ratio)) && put(d, "drift_severity", to_list(severity)) &&
               put(d, "drift_ok", PyLong_FromUnsignedLongLong(ok)) &&
               put(d, "drift_warn", PyLong_FromUnsignedLongLong(warn)) &&
               put(d, "drift_error", PyLong_FromUnsignedLongLong(error));
    }
};

}  // namespace

PyObject* analyse_drift(PyObject*, PyObject* args, PyObject* kwargs) {
    const auto path = bind_path("analyse_drift", args, kwargs);
    if (!path) return nullptr;
    const Instant start = Instant::now();
    auto file = open_mapped(*path);
    if (!file) return nullptr;

    MeshEmission emission;
    {
        ReleasedLock unlocked;
        emission = emit_meshes(file->bytes());
    }

    std::vector<MeshStats> rows;
    rows.reserve(emission.meshes.size());
    const float floor = ok_distance(emission.unit_scale);
    for (const ProductMesh& mesh : emission.meshes) rows.push_back(compute_mesh_stats(mesh, floor));
    emission.meshes = {};  // the geometry is no longer needed; free it before the lists are built

    const DriftColumns columns(rows);
    PyRef d(PyDict_New());
    if (!d || !columns.put_into(d.get())) return nullptr;
    if (!put(d.get(), "mesh_emission_ms", PyFloat_FromDouble(emission.mesh_emission_ms)) ||
        !put(d.get(), "entity_table_ms", PyFloat_FromDouble(emission.entity_table_ms)) ||
        !put(d.get(), "total_ms", PyFloat_FromDouble(ms_since(start))) ||
        !put(d.get(), "size_bytes", PyLong_FromUnsignedLongLong(file->size()))) {
        return nullptr;
    }
    return d.release();
}

}  // namespace quarnel::py
