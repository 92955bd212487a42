#include <array>
#include <exception>
#include <new>
#include <string>
#include <utility>

#include "python/result.hpp"

#ifndef QUARNEL_VERSION
#error "QUARNEL_VERSION comes from the build (pyproject.toml)"
#endif

namespace quarnel::py {
namespace {

constexpr std::size_t kFunctions = tables::kFunctionCount;

// No C++ exception may unwind into the interpreter: that would abort the
// process. The only ones the core can raise are failed allocations (a file
// whose results do not fit in memory), which become MemoryError. RAII owners
// have re-taken the interpreter lock and dropped their references by the time
// the exception arrives here.
template <std::size_t I>
PyObject* guarded(PyObject*, PyObject* args, PyObject* kwargs) noexcept {
    try {
        return call_function(tables::function_defs()[I], args, kwargs);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_Format(PyExc_SystemError, "quarnel internal error: %s", e.what());
        return nullptr;
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "quarnel internal error");
        return nullptr;
    }
}

// The method table, one entry per function of the catalogue in its order (the order of
// __all__), filled once before the module is created.
std::array<PyMethodDef, kFunctions + 1> methods{};
std::array<std::string, kFunctions> docs;

template <std::size_t... I>
void fill_methods(std::index_sequence<I...>) {
    ((docs[I] = std::string(tables::function_defs()[I].name) + "(path)\n--\n\n" +
                std::string(tables::function_defs()[I].doc),
      methods[I] = {tables::function_defs()[I].name.data(),
                    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(guarded<I>)), METH_VARARGS | METH_KEYWORDS,
                    docs[I].c_str()}),
     ...);
    methods[kFunctions] = {nullptr, nullptr, 0, nullptr};
}

int exec_module(PyObject* module) {
    // The module keeps no per-interpreter state and is not built for
    // isolation: refuse every interpreter but the main one.
    if (PyInterpreterState_GetID(PyInterpreterState_Get()) != 0) {
        PyErr_SetString(PyExc_ImportError, "quarnel._core does not support sub-interpreters");
        return -1;
    }
    PyRef all(PyList_New(0));
    if (!all) return -1;
    for (const PyMethodDef* m = methods.data(); m->ml_name; ++m) {
        PyRef name(PyUnicode_FromString(m->ml_name));
        if (!name || PyList_Append(all.get(), name.get()) != 0) return -1;
    }
    PyRef version_name(PyUnicode_FromString("__version__"));
    if (!version_name || PyList_Append(all.get(), version_name.get()) != 0) return -1;
    if (PyModule_AddStringConstant(module, "__version__", QUARNEL_VERSION) != 0) return -1;
    // PyModule_AddObject steals the reference only on success.
    if (PyModule_AddObject(module, "__all__", all.get()) != 0) return -1;
    all.release();
    return 0;
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_core", "", 0, nullptr, slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace quarnel::py

PyMODINIT_FUNC PyInit__core(void) {
    using namespace quarnel::py;
    if (!module_def.m_methods) {
        fill_methods(std::make_index_sequence<kFunctions>());
        module_def.m_methods = methods.data();
    }
    return PyModuleDef_Init(&module_def);
}
