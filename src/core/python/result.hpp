#pragma once
#include "python/pyref.hpp"
#include "tables/catalogue.hpp"

namespace quarnel::py {

// One function of quarnel._core: binds `path`, maps the file, runs the passes its result needs
// with the lock released, and builds the dict the catalogue describes.
PyObject* call_function(const tables::FunctionDef& function, PyObject* args, PyObject* kwargs);

}  // namespace quarnel::py
