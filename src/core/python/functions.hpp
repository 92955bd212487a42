#pragma once
#include "python/pyref.hpp"

// The module's seven functions, each `name(path)`, defined by their frames.
namespace quarnel::py {
PyObject* index_ifc(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* extract_psets(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* extract_quantities(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* extract_materials(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* extract_classifications(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* extract_all(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* analyse_drift(PyObject* self, PyObject* args, PyObject* kwargs);

// Placeholder for a function whose core is not built yet.
PyObject* not_implemented(const char* function);
}  // namespace quarnel::py
