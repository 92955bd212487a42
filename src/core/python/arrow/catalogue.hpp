#pragma once
#include "python/pyref.hpp"

namespace quarnel::py {

// catalogue() -> dict: every table (name, about, stub class, columns as (name, kind, nullable,
// in the dict face, "schema" where the Arrow face respells type names), facts), every function of quarnel._core (name, stub class, entries as
// (what, name)), every fact (key, type) and the drift thresholds. The Python registry and the
// type stubs are made from it.
PyObject* catalogue(PyObject* self, PyObject* unused);

}  // namespace quarnel::py
