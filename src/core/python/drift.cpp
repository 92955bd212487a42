#include "clock.hpp"
#include "mesh/drift.hpp"
#include "python/frame.hpp"
#include "python/functions.hpp"
#include "python/marshal.hpp"

namespace quarnel::py {
namespace {

bool put_columns(PyObject* d, const DriftColumns& c) {
    return put(d, "guid", to_list(c.guid)) && put(d, "entity", to_list(c.entity)) &&
           put(d, "source", to_list(c.source)) && put(d, "triangle_count", to_list(c.triangle_count)) &&
           put(d, "surface_area", to_list(c.surface_area)) && put(d, "volume_abs", to_list(c.volume_abs)) &&
           put(d, "placement_x", to_list(c.placement_x)) && put(d, "placement_y", to_list(c.placement_y)) &&
           put(d, "placement_z", to_list(c.placement_z)) && put(d, "centroid_x", to_list(c.centroid_x)) &&
           put(d, "centroid_y", to_list(c.centroid_y)) && put(d, "centroid_z", to_list(c.centroid_z)) &&
           put(d, "drift_distance", to_list(c.drift_distance)) && put(d, "max_extent", to_list(c.max_extent)) &&
           put(d, "drift_ratio", to_list(c.drift_ratio)) && put(d, "drift_severity", to_list(c.severity)) &&
           put(d, "drift_ok", PyLong_FromUnsignedLongLong(c.ok)) &&
           put(d, "drift_warn", PyLong_FromUnsignedLongLong(c.warn)) &&
           put(d, "drift_error", PyLong_FromUnsignedLongLong(c.error));
}

}  // namespace

PyObject* analyse_drift(PyObject*, PyObject* args, PyObject* kwargs) {
    const auto path = bind_path("analyse_drift", args, kwargs);
    if (!path) return nullptr;
    const Instant start = Instant::now();
    auto file = open_mapped(*path);
    if (!file) return nullptr;

    DriftColumns columns;
    {
        ReleasedLock unlocked;
        columns = quarnel::analyse_drift(file->bytes());
    }
    PyRef d(PyDict_New());
    if (!d || !put_columns(d.get(), columns)) return nullptr;
    if (!put(d.get(), "mesh_emission_ms", PyFloat_FromDouble(columns.mesh_emission_ms)) ||
        !put(d.get(), "entity_table_ms", PyFloat_FromDouble(columns.entity_table_ms)) ||
        !put(d.get(), "total_ms", PyFloat_FromDouble(ms_since(start))) ||
        !put(d.get(), "size_bytes", PyLong_FromUnsignedLongLong(file->size()))) {
        return nullptr;
    }
    return d.release();
}

}  // namespace quarnel::py
