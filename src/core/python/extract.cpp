#include <memory>
#include <optional>

#include "clock.hpp"
#include "extractors/classifications.hpp"
#include "extractors/materials.hpp"
#include "extractors/psets.hpp"
#include "extractors/quantities.hpp"
#include "python/frame.hpp"
#include "python/functions.hpp"
#include "python/marshal.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel::py {
namespace {

// What every extractor frame has before its core operation runs. Held by
// pointer: the GuidIndex borrows the table, which therefore must not move.
struct Prepared {
    MappedFile file;
    EntityTable table;
    GuidIndex guids;
    double entity_table_ms = 0.0;
    double guid_index_ms = 0.0;

    // The columns borrow only the mapping: give the table memory back before
    // the Python objects are built, which lowers the call's peak.
    void release_tables() {
        guids = GuidIndex();
        table = EntityTable();
    }
};

// Maps the file (errors become OSError, so the lock is held).
std::unique_ptr<Prepared> open_prepared(const char* function, PyObject* args, PyObject* kwargs) {
    const auto path = bind_path(function, args, kwargs);
    if (!path) return nullptr;
    auto file = open_mapped(*path);
    if (!file) return nullptr;
    auto p = std::make_unique<Prepared>();
    p->file = std::move(*file);
    return p;
}

// Builds the table and the GuidIndex: pure C++, run with the lock released.
void build_tables(Prepared& p) {
    Instant t = Instant::now();
    p.table = EntityTable::build(p.file.bytes());
    p.entity_table_ms = ms_since(t);
    t = Instant::now();
    p.guids = GuidIndex::build(p.table);
    p.guid_index_ms = ms_since(t);
}

// The tables and one core operation, all in one release of the lock: other
// threads run meanwhile, and the call takes the lock back only once.
template <class Core>
auto run_released(Prepared& p, Core&& core, double& ms) {
    std::optional<decltype(core())> result;
    ReleasedLock unlocked;
    build_tables(p);
    const Instant t = Instant::now();
    result.emplace(core());
    ms = ms_since(t);
    p.release_tables();
    return std::move(*result);
}

bool put_columns(PyObject* d, const PsetColumns& c) {
    TextObjects text(c.text);
    return put(d, "guid", to_list(c.guid, text)) && put(d, "pset_name", to_list(c.pset_name, text)) &&
           put(d, "prop_name", to_list(c.prop_name, text)) && put(d, "value", to_list(c.value, text)) &&
           put(d, "value_type", to_list(c.value_type, text));
}

bool put_columns(PyObject* d, const QtoColumns& c) {
    TextObjects text(c.text);
    return put(d, "guid", to_list(c.guid, text)) && put(d, "qto_name", to_list(c.qto_name, text)) &&
           put(d, "quantity_name", to_list(c.quantity_name, text)) && put(d, "value", to_list(c.value, text)) &&
           put(d, "quantity_type", to_list(c.quantity_type, text)) && put(d, "unit_step_id", to_list(c.unit_step_id));
}

bool put_columns(PyObject* d, const MaterialColumns& c) {
    TextObjects text(c.text);
    return put(d, "guid", to_list(c.guid, text)) && put(d, "role", to_list(c.role, text)) &&
           put(d, "layer_index", to_list(c.layer_index)) &&
           put(d, "material_name", to_list(c.material_name, text)) &&
           put(d, "layer_thickness_mm", to_list(c.layer_thickness)) && put(d, "category", to_list(c.category, text));
}

bool put_columns(PyObject* d, const ClassificationColumns& c) {
    TextObjects text(c.text);
    return put(d, "guid", to_list(c.guid, text)) && put(d, "system_name", to_list(c.system_name, text)) &&
           put(d, "edition", to_list(c.edition, text)) && put(d, "identification", to_list(c.identification, text)) &&
           put(d, "name", to_list(c.name, text)) && put(d, "location", to_list(c.location, text)) &&
           put(d, "source", to_list(c.source, text));
}

// The columns alone, as one inner dict of extract_all.
template <class Columns>
PyObject* columns_dict(const Columns& columns) {
    PyRef d(PyDict_New());
    if (!d || !put_columns(d.get(), columns)) return nullptr;
    return d.release();
}

// The common tail of the single-extractor results: columns, timings, size.
template <class Columns>
PyObject* extractor_result(const Prepared& p, const Columns& columns, const char* timing_key, double core_ms) {
    const Instant marshal_start = Instant::now();
    PyRef d(PyDict_New());
    if (!d || !put_columns(d.get(), columns)) return nullptr;
    if (!put(d.get(), "open_ms", PyFloat_FromDouble(p.file.open_ms())) ||
        !put(d.get(), "entity_table_ms", PyFloat_FromDouble(p.entity_table_ms)) ||
        !put(d.get(), "guid_index_ms", PyFloat_FromDouble(p.guid_index_ms)) ||
        !put(d.get(), timing_key, PyFloat_FromDouble(core_ms)) ||
        !put(d.get(), "marshal_ms", PyFloat_FromDouble(ms_since(marshal_start))) ||
        !put(d.get(), "size_bytes", PyLong_FromUnsignedLongLong(p.file.size()))) {
        return nullptr;
    }
    return d.release();
}

}  // namespace

PyObject* extract_psets(PyObject*, PyObject* args, PyObject* kwargs) {
    auto p = open_prepared("extract_psets", args, kwargs);
    if (!p) return nullptr;
    double core_ms = 0.0;
    const PsetColumns columns = run_released(*p, [&] { return extract_property_sets(p->table, p->guids); }, core_ms);
    return extractor_result(*p, columns, "pset_extract_ms", core_ms);
}

PyObject* extract_quantities(PyObject*, PyObject* args, PyObject* kwargs) {
    auto p = open_prepared("extract_quantities", args, kwargs);
    if (!p) return nullptr;
    double core_ms = 0.0;
    const QtoColumns columns = run_released(*p, [&] { return extract_element_quantities(p->table, p->guids); }, core_ms);
    return extractor_result(*p, columns, "qto_extract_ms", core_ms);
}

PyObject* extract_materials(PyObject*, PyObject* args, PyObject* kwargs) {
    auto p = open_prepared("extract_materials", args, kwargs);
    if (!p) return nullptr;
    double core_ms = 0.0;
    const MaterialColumns columns = run_released(*p, [&] { return extract_material_assignments(p->table, p->guids); }, core_ms);
    return extractor_result(*p, columns, "materials_extract_ms", core_ms);
}

PyObject* extract_classifications(PyObject*, PyObject* args, PyObject* kwargs) {
    auto p = open_prepared("extract_classifications", args, kwargs);
    if (!p) return nullptr;
    double core_ms = 0.0;
    const ClassificationColumns columns = run_released(*p, [&] { return extract_classification_links(p->table, p->guids); }, core_ms);
    return extractor_result(*p, columns, "classifications_extract_ms", core_ms);
}

PyObject* extract_all(PyObject*, PyObject* args, PyObject* kwargs) {
    const Instant total_start = Instant::now();
    auto p = open_prepared("extract_all", args, kwargs);
    if (!p) return nullptr;

    PsetColumns psets;
    QtoColumns quantities;
    MaterialColumns materials;
    ClassificationColumns classifications;
    double psets_ms = 0.0, quantities_ms = 0.0, materials_ms = 0.0, classifications_ms = 0.0;
    {
        // One release for the tables and all four; each is timed on its own inside it.
        ReleasedLock unlocked;
        build_tables(*p);
        Instant t = Instant::now();
        psets = extract_property_sets(p->table, p->guids);
        psets_ms = ms_since(t);
        t = Instant::now();
        quantities = extract_element_quantities(p->table, p->guids);
        quantities_ms = ms_since(t);
        t = Instant::now();
        materials = extract_material_assignments(p->table, p->guids);
        materials_ms = ms_since(t);
        t = Instant::now();
        classifications = extract_classification_links(p->table, p->guids);
        classifications_ms = ms_since(t);
        p->release_tables();  // the columns need only the mapping
    }

    const Instant marshal_start = Instant::now();
    PyRef d(PyDict_New());
    if (!d || !put(d.get(), "psets", columns_dict(psets)) || !put(d.get(), "quantities", columns_dict(quantities)) ||
        !put(d.get(), "materials", columns_dict(materials)) ||
        !put(d.get(), "classifications", columns_dict(classifications))) {
        return nullptr;
    }
    const Instant end = Instant::now();
    if (!put(d.get(), "open_ms", PyFloat_FromDouble(p->file.open_ms())) ||
        !put(d.get(), "entity_table_ms", PyFloat_FromDouble(p->entity_table_ms)) ||
        !put(d.get(), "guid_index_ms", PyFloat_FromDouble(p->guid_index_ms)) ||
        !put(d.get(), "psets_extract_ms", PyFloat_FromDouble(psets_ms)) ||
        !put(d.get(), "quantities_extract_ms", PyFloat_FromDouble(quantities_ms)) ||
        !put(d.get(), "materials_extract_ms", PyFloat_FromDouble(materials_ms)) ||
        !put(d.get(), "classifications_extract_ms", PyFloat_FromDouble(classifications_ms)) ||
        !put(d.get(), "marshal_ms", PyFloat_FromDouble(elapsed_ms(marshal_start, end))) ||
        !put(d.get(), "total_ms", PyFloat_FromDouble(elapsed_ms(total_start, end))) ||
        !put(d.get(), "size_bytes", PyLong_FromUnsignedLongLong(p->file.size()))) {
        return nullptr;
    }
    return d.release();
}

}  // namespace quarnel::py
