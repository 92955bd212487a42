// quarnel._complete: the complete element tables (properties, element
// quantities, elements) as dicts of lists, until the Arrow face exports them.
#include <memory>
#include <optional>
#include <string_view>

#include "clock.hpp"
#include "extractors/element_quantities.hpp"
#include "extractors/elements.hpp"
#include "extractors/properties.hpp"
#include "extractors/property_values.hpp"
#include "python/frame.hpp"
#include "python/marshal.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel::py {
namespace {

PyObject* labels(const std::vector<std::uint8_t>& codes, const std::string_view* names) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(codes.size())));
    if (!list) return nullptr;
    PyRef objects[8];
    for (std::size_t i = 0; i < codes.size(); ++i) {
        PyObject* item = nullptr;
        if (names[codes[i]].empty()) {
            item = Py_None;
            Py_INCREF(item);
        } else {
            PyRef& o = objects[codes[i]];
            if (!o) o = PyRef(to_str(names[codes[i]]));
            if (!o) return nullptr;
            item = o.get();
            Py_INCREF(item);
        }
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

PyObject* numbers(const std::vector<double>& values, const std::vector<std::uint8_t>& valid) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(values.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyObject* item = valid[i] ? PyFloat_FromDouble(values[i]) : (Py_INCREF(Py_None), Py_None);
        if (!item) return nullptr;
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

PyObject* indices(const std::vector<std::int32_t>& values) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(values.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyObject* item = values[i] >= 0 ? PyLong_FromLong(values[i]) : (Py_INCREF(Py_None), Py_None);
        if (!item) return nullptr;
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

bool put_columns(PyObject* d, const PropertyColumns& c) {
    TextObjects t(c.text);
    return put(d, "guid", to_list(c.guid, t)) && put(d, "entity", to_list(c.entity, t)) &&
           put(d, "pset_name", to_list(c.pset_name, t)) && put(d, "prop_name", to_list(c.prop_name, t)) &&
           put(d, "value", to_list(c.value, t)) && put(d, "value_type", to_list(c.value_type, t)) &&
           put(d, "number", numbers(c.number, c.has_number)) && put(d, "kind", labels(c.kind, kPropertyKindLabels)) &&
           put(d, "source", labels(c.source, kSourceLabels)) && put(d, "type_guid", to_list(c.type_guid, t)) &&
           put(d, "value_index", indices(c.value_index)) && put(d, "role", labels(c.role, kValueRoleLabels));
}

bool put_columns(PyObject* d, const ElementQuantityColumns& c) {
    TextObjects t(c.text);
    return put(d, "guid", to_list(c.guid, t)) && put(d, "entity", to_list(c.entity, t)) &&
           put(d, "qto_name", to_list(c.qto_name, t)) && put(d, "quantity_name", to_list(c.quantity_name, t)) &&
           put(d, "value", to_list(c.value, t)) && put(d, "number", numbers(c.number, c.has_number)) &&
           put(d, "quantity_type", to_list(c.quantity_type, t)) && put(d, "unit", to_list(c.unit, t)) &&
           put(d, "source", labels(c.source, kSourceLabels)) && put(d, "type_guid", to_list(c.type_guid, t));
}

bool put_columns(PyObject* d, const ElementColumns& c) {
    TextObjects t(c.text);
    return put(d, "guid", to_list(c.guid, t)) && put(d, "entity", to_list(c.entity, t)) &&
           put(d, "name", to_list(c.name, t)) && put(d, "description", to_list(c.description, t)) &&
           put(d, "object_type", to_list(c.object_type, t)) && put(d, "tag", to_list(c.tag, t)) &&
           put(d, "predefined_type", to_list(c.predefined_type, t)) && put(d, "type_guid", to_list(c.type_guid, t)) &&
           put(d, "type_entity", to_list(c.type_entity, t)) && put(d, "type_name", to_list(c.type_name, t)) &&
           put(d, "storey_guid", to_list(c.storey_guid, t)) && put(d, "storey_name", to_list(c.storey_name, t)) &&
           put(d, "building_guid", to_list(c.building_guid, t)) && put(d, "site_guid", to_list(c.site_guid, t));
}

// Maps the file, runs `core` on its tables with the lock released, marshals.
template <class Core>
PyObject* run(const char* function, PyObject* args, PyObject* kwargs, Core&& core) {
    const auto path = bind_path(function, args, kwargs);
    if (!path) return nullptr;
    auto file = open_mapped(*path);
    if (!file) return nullptr;
    std::optional<decltype(core(std::declval<const EntityTable&>(), std::declval<const GuidIndex&>()))> columns;
    double tables_ms = 0.0, core_ms = 0.0;
    {
        ReleasedLock unlocked;
        Instant t = Instant::now();
        const EntityTable table = EntityTable::build(file->bytes());
        const GuidIndex guids = GuidIndex::build(table);
        tables_ms = ms_since(t);
        t = Instant::now();
        columns.emplace(core(table, guids));
        core_ms = ms_since(t);
    }
    const Instant marshal_start = Instant::now();
    PyRef d(PyDict_New());
    if (!d || !put_columns(d.get(), *columns)) return nullptr;
    if (!put(d.get(), "open_ms", PyFloat_FromDouble(file->open_ms())) ||
        !put(d.get(), "entity_table_ms", PyFloat_FromDouble(tables_ms)) ||
        !put(d.get(), "extract_ms", PyFloat_FromDouble(core_ms)) ||
        !put(d.get(), "marshal_ms", PyFloat_FromDouble(ms_since(marshal_start))) ||
        !put(d.get(), "size_bytes", PyLong_FromUnsignedLongLong(file->size()))) {
        return nullptr;
    }
    return d.release();
}

PyObject* read_properties(PyObject*, PyObject* args, PyObject* kwargs) {
    return run("read_properties", args, kwargs, extract_properties);
}
PyObject* read_element_quantities(PyObject*, PyObject* args, PyObject* kwargs) {
    return run("read_element_quantities", args, kwargs, extract_element_quantity_rows);
}
PyObject* read_elements(PyObject*, PyObject* args, PyObject* kwargs) {
    return run("read_elements", args, kwargs, extract_elements);
}

template <PyObject* (*F)(PyObject*, PyObject*, PyObject*)>
PyObject* guarded(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    try {
        return F(self, args, kwargs);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "quarnel internal error");
        return nullptr;
    }
}
template <PyObject* (*F)(PyObject*, PyObject*, PyObject*)>
constexpr PyCFunction method() {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(guarded<F>));
}

PyMethodDef methods[] = {
    {"read_properties", method<read_properties>(), METH_VARARGS | METH_KEYWORDS, nullptr},
    {"read_element_quantities", method<read_element_quantities>(), METH_VARARGS | METH_KEYWORDS, nullptr},
    {"read_elements", method<read_elements>(), METH_VARARGS | METH_KEYWORDS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "_complete", "", 0, methods, nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace quarnel::py

PyMODINIT_FUNC PyInit__complete(void) { return PyModuleDef_Init(&quarnel::py::module_def); }
