#include <exception>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "arrow/read.hpp"
#include "arrow/wide.hpp"
#include "clock.hpp"
#include "arrow/table.hpp"
#include "python/arrow/catalogue.hpp"
#include "python/frame.hpp"
#include "python/pyref.hpp"
#include "schema/attributes.hpp"
#include "tables/schema_tables.hpp"

namespace quarnel::py {
namespace {

// A table of one read: an Arrow schema and stream behind the Arrow PyCapsule interface. The
// stream is handed out once; the schema as often as asked, each time a copy.
struct StreamObject {
    PyObject_HEAD
    arrow::Exported* exported;  // owned; the stream's release is null once handed out
};

PyTypeObject* stream_type = nullptr;  // the main interpreter's only (see exec_module)

void release_schema_capsule(PyObject* capsule) {
    auto* schema = static_cast<ArrowSchema*>(PyCapsule_GetPointer(capsule, "arrow_schema"));
    if (!schema) return PyErr_Clear();
    if (schema->release) schema->release(schema);
    delete schema;
}

void release_stream_capsule(PyObject* capsule) {
    auto* stream = static_cast<ArrowArrayStream*>(PyCapsule_GetPointer(capsule, "arrow_array_stream"));
    if (!stream) return PyErr_Clear();
    if (stream->release) stream->release(stream);
    delete stream;
}

PyObject* stream_schema(PyObject* self, PyObject*) {
    auto* s = reinterpret_cast<StreamObject*>(self);
    auto* schema = new ArrowSchema;
    schema->release = nullptr;
    try {
        arrow::copy_schema(s->exported->schema, schema);
    } catch (const std::bad_alloc&) {
        delete schema;
        return PyErr_NoMemory();
    }
    PyObject* capsule = PyCapsule_New(schema, "arrow_schema", release_schema_capsule);
    if (!capsule) {
        schema->release(schema);
        delete schema;
    }
    return capsule;
}

PyObject* stream_stream(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"requested_schema", nullptr};
    PyObject* requested = nullptr;  // borrowed; the schema is fixed, a request is not followed
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O:__arrow_c_stream__", const_cast<char**>(keywords), &requested)) {
        return nullptr;
    }
    auto* s = reinterpret_cast<StreamObject*>(self);
    if (!s->exported->stream.release) {
        PyErr_SetString(PyExc_ValueError, "this table's stream was consumed already");
        return nullptr;
    }
    auto* stream = new ArrowArrayStream(s->exported->stream);
    PyObject* capsule = PyCapsule_New(stream, "arrow_array_stream", release_stream_capsule);
    if (!capsule) {
        delete stream;  // the stream stays with the object
        return nullptr;
    }
    s->exported->stream.release = nullptr;  // moved into the capsule
    return capsule;
}

void stream_dealloc(PyObject* self) {
    auto* s = reinterpret_cast<StreamObject*>(self);
    if (s->exported) {
        std::vector<arrow::Exported> one{*s->exported};
        arrow::release(one);
        delete s->exported;
    }
    PyTypeObject* type = Py_TYPE(self);
    reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
    Py_DECREF(type);
}

PyMethodDef stream_methods[] = {
    {"__arrow_c_schema__", stream_schema, METH_NOARGS, "The table's Arrow schema as a PyCapsule."},
    {"__arrow_c_stream__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(stream_stream)),
     METH_VARARGS | METH_KEYWORDS, "The table's record batches as an Arrow stream PyCapsule (once)."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot stream_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(stream_dealloc)},
    {Py_tp_methods, stream_methods},
    {Py_tp_doc, const_cast<char*>("One table of a model, exported through the Arrow PyCapsule interface.")},
    {0, nullptr},
};

PyType_Spec stream_type_desc = {"quarnel._arrow.Stream", sizeof(StreamObject), 0, Py_TPFLAGS_DEFAULT, stream_slots};

// Wraps `e` (taken over) in a Stream object; on failure `e` is released.
PyObject* wrap(arrow::Exported e) {
    auto* owned = new arrow::Exported(e);
    PyObject* self = reinterpret_cast<allocfunc>(PyType_GetSlot(stream_type, Py_tp_alloc))(stream_type, 0);
    if (!self) {
        std::vector<arrow::Exported> one{*owned};
        arrow::release(one);
        delete owned;
        return nullptr;
    }
    reinterpret_cast<StreamObject*>(self)->exported = owned;
    return self;
}

std::optional<std::string> text_of(PyObject* s, const char* what) {
    if (!PyUnicode_Check(s)) {
        PyErr_Format(PyExc_TypeError, "%s must be str", what);
        return std::nullopt;
    }
    return utf8_text(s);
}

// [(table, [column, ...] or None), ...] into requests.
std::optional<std::vector<arrow::Request>> bind_requests(PyObject* list) {
    if (!PyList_Check(list)) {
        PyErr_SetString(PyExc_TypeError, "read() argument 'tables' must be a list of (table, columns) tuples");
        return std::nullopt;
    }
    std::vector<arrow::Request> requests;
    for (Py_ssize_t i = 0; i < PyList_Size(list); ++i) {
        PyObject* item = PyList_GetItem(list, i);  // borrowed
        if (!PyTuple_Check(item) || PyTuple_Size(item) != 2) {
            PyErr_SetString(PyExc_TypeError, "read() argument 'tables' must be a list of (table, columns) tuples");
            return std::nullopt;
        }
        arrow::Request request;
        auto name = text_of(PyTuple_GetItem(item, 0), "a table name");
        if (!name) return std::nullopt;
        request.table = std::move(*name);
        PyObject* columns = PyTuple_GetItem(item, 1);
        if (columns != Py_None) {
            if (!PyList_Check(columns)) {
                PyErr_SetString(PyExc_TypeError, "the columns of a table must be a list of str or None");
                return std::nullopt;
            }
            request.columns.emplace();
            for (Py_ssize_t j = 0; j < PyList_Size(columns); ++j) {
                auto column = text_of(PyList_GetItem(columns, j), "a column name");
                if (!column) return std::nullopt;
                request.columns->push_back(std::move(*column));
            }
        }
        requests.push_back(std::move(request));
    }
    return requests;
}

// A list of streams into a Python list of Stream objects; every stream is taken over.
PyObject* stream_list(std::vector<arrow::Exported>& exported) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(exported.size())));
    if (!list) {
        arrow::release(exported);
        return nullptr;
    }
    for (std::size_t i = 0; i < exported.size(); ++i) {
        PyObject* stream = wrap(exported[i]);
        if (!stream) {
            std::vector<arrow::Exported> rest(exported.begin() + static_cast<std::ptrdiff_t>(i) + 1, exported.end());
            arrow::release(rest);
            return nullptr;
        }
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), stream);  // steals stream
    }
    return list.release();
}

// read(path, tables) -> [Stream, ...]: one mapping, the passes the tables need, and the Arrow
// buffers, all in one release of the lock.
PyObject* read(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"path", "tables", nullptr};
    PyObject* path_arg = nullptr;
    PyObject* tables_arg = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO:read", const_cast<char**>(keywords), &path_arg, &tables_arg)) {
        return nullptr;
    }
    const Instant start = Instant::now();
    const auto path = path_text("read", path_arg);
    if (!path) return nullptr;
    auto requests = bind_requests(tables_arg);
    if (!requests) return nullptr;
    auto file = open_mapped(*path);
    if (!file) return nullptr;

    std::vector<arrow::Exported> exported;
    std::string error;
    {
        ReleasedLock unlocked;
        exported = arrow::read_tables(file->bytes(), {file->size(), file->open_ms(), start}, *requests, error);
        file.reset();  // the buffers own their bytes
    }
    if (!error.empty()) {
        PyErr_SetString(PyExc_ValueError, error.c_str());
        return nullptr;
    }
    return stream_list(exported);
}

PyObject* guarded_read(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    return guarded([&] { return read(self, args, kwargs); });
}

// schema_table(schema, table) -> Stream: "entities" or "attributes" of IFC2X3, IFC4 or IFC4X3.
PyObject* schema_table(PyObject*, PyObject* args) {
    const char* name = nullptr;
    const char* which = nullptr;
    if (!PyArg_ParseTuple(args, "ss:schema_table", &name, &which)) return nullptr;
    const Schema* schema = schema_named(name);
    if (!schema || schema->name.size() != std::string_view(name).size()) {
        PyErr_Format(PyExc_ValueError, "no schema '%s'; choose one of IFC2X3, IFC4, IFC4X3", name);
        return nullptr;
    }
    const std::string_view what(which);
    if (what != "entities" && what != "attributes") {
        PyErr_Format(PyExc_ValueError, "no schema table '%s'; choose entities or attributes", which);
        return nullptr;
    }
    arrow::Exported e;
    {
        const tables::Table table =
            what == "entities" ? tables::schema_entities(*schema) : tables::schema_attributes(*schema);
        arrow::export_table(table, &e.schema, &e.stream);
    }
    return wrap(e);
}

PyObject* guarded_schema_table(PyObject* self, PyObject* args) noexcept {
    return guarded([&] { return schema_table(self, args); });
}

// wide(path, entities) -> [elements, cells]: see arrow::read_wide.
PyObject* wide(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"path", "entities", nullptr};
    PyObject* path_arg = nullptr;
    PyObject* entities_arg = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO:wide", const_cast<char**>(keywords), &path_arg,
                                     &entities_arg)) {
        return nullptr;
    }
    const Instant start = Instant::now();
    const auto path = path_text("wide", path_arg);
    if (!path) return nullptr;
    std::optional<std::vector<std::string>> entities;
    if (entities_arg != Py_None) {
        if (!PyList_Check(entities_arg)) {
            PyErr_SetString(PyExc_TypeError, "wide() argument 'entities' must be a list of str or None");
            return nullptr;
        }
        entities.emplace();
        for (Py_ssize_t i = 0; i < PyList_Size(entities_arg); ++i) {
            auto name = text_of(PyList_GetItem(entities_arg, i), "an entity name");
            if (!name) return nullptr;
            entities->push_back(std::move(*name));
        }
    }
    auto file = open_mapped(*path);
    if (!file) return nullptr;
    std::vector<arrow::Exported> exported;
    {
        ReleasedLock unlocked;
        exported = arrow::read_wide(file->bytes(), {file->size(), file->open_ms(), start}, entities);
        file.reset();  // the buffers own their bytes
    }
    return stream_list(exported);
}

PyObject* guarded_wide(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    return guarded([&] { return wide(self, args, kwargs); });
}

PyMethodDef methods[] = {
    {"read", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(guarded_read)), METH_VARARGS | METH_KEYWORDS,
     "read(path, tables)\n--\n\nTables of one model as Arrow streams: `tables` is a list of (table, columns or None)."},
    {"schema_table", guarded_schema_table, METH_VARARGS,
     "schema_table(schema, table)\n--\n\nThe entities or attributes of IFC2X3, IFC4 or IFC4X3 as an Arrow stream."},
    {"wide", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(guarded_wide)), METH_VARARGS | METH_KEYWORDS,
     "wide(path, entities)\n--\n\nThe elements of a model and their properties spread into columns: two Arrow "
     "streams, the elements (guid, entity, name) and the cells (the row of each element kept, then a column per "
     "property). `entities`: the lower-case entity names to keep, or None for all."},
    {"catalogue", catalogue, METH_NOARGS, "catalogue()\n--\n\nEvery table, column and kind, and the results of quarnel._core."},
    {nullptr, nullptr, 0, nullptr},
};

int exec_module(PyObject* module) {
    // The Stream type is kept in a global.
    if (!main_interpreter_only("quarnel._arrow")) return -1;
    if (!stream_type) {
        stream_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&stream_type_desc));
        if (!stream_type) return -1;
    }
    Py_INCREF(stream_type);
    if (PyModule_AddObject(module, "Stream", reinterpret_cast<PyObject*>(stream_type)) != 0) {
        Py_DECREF(stream_type);
        return -1;
    }
    return 0;
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_arrow", "", 0, methods, slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace quarnel::py

PyMODINIT_FUNC PyInit__arrow(void) { return PyModuleDef_Init(&quarnel::py::module_def); }
