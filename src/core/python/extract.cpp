#include <memory>

#include "clock.hpp"
#include "extractors/psets.hpp"
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

// Binds `path`, maps the file and builds the table and the GuidIndex with the lock held.
std::unique_ptr<Prepared> prepare(const char* function, PyObject* args, PyObject* kwargs) {
    const auto path = bind_path(function, args, kwargs);
    if (!path) return nullptr;
    auto file = open_mapped(*path);
    if (!file) return nullptr;
    auto p = std::make_unique<Prepared>();
    p->file = std::move(*file);
    Instant t = Instant::now();
    p->table = EntityTable::build(p->file.bytes());
    p->entity_table_ms = ms_since(t);
    t = Instant::now();
    p->guids = GuidIndex::build(p->table);
    p->guid_index_ms = ms_since(t);
    return p;
}

// Runs `core` with the lock released; the time includes releasing and re-taking it.
template <class Core>
auto run_released(Core&& core, double& ms) {
    const Instant t = Instant::now();
    std::optional<decltype(core())> result;
    {
        ReleasedLock unlocked;
        result.emplace(core());
    }
    ms = ms_since(t);
    return std::move(*result);
}

bool put_columns(PyObject* d, const PsetColumns& c) {
    TextObjects text(c.text);
    return put(d, "guid", to_list(c.guid, text)) && put(d, "pset_name", to_list(c.pset_name, text)) &&
           put(d, "prop_name", to_list(c.prop_name, text)) && put(d, "value", to_list(c.value, text)) &&
           put(d, "value_type", to_list(c.value_type, text));
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
    auto p = prepare("extract_psets", args, kwargs);
    if (!p) return nullptr;
    double core_ms = 0.0;
    const PsetColumns columns = run_released([&] { return extract_property_sets(p->table, p->guids); }, core_ms);
    p->release_tables();
    return extractor_result(*p, columns, "pset_extract_ms", core_ms);
}

PyObject* extract_quantities(PyObject*, PyObject* args, PyObject* kwargs) {
    if (!bind_path("extract_quantities", args, kwargs)) return nullptr;
    return not_implemented("extract_quantities");
}

PyObject* extract_materials(PyObject*, PyObject* args, PyObject* kwargs) {
    if (!bind_path("extract_materials", args, kwargs)) return nullptr;
    return not_implemented("extract_materials");
}

PyObject* extract_classifications(PyObject*, PyObject* args, PyObject* kwargs) {
    if (!bind_path("extract_classifications", args, kwargs)) return nullptr;
    return not_implemented("extract_classifications");
}

PyObject* extract_all(PyObject*, PyObject* args, PyObject* kwargs) {
    if (!bind_path("extract_all", args, kwargs)) return nullptr;
    return not_implemented("extract_all");
}

}  // namespace quarnel::py
