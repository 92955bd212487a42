#include <array>
#include <string>
#include <utility>

#include "python/frame.hpp"
#include "python/result.hpp"

#ifndef QUARNEL_VERSION
#error "QUARNEL_VERSION comes from the build (pyproject.toml)"
#endif

namespace quarnel::py {
namespace {

constexpr std::size_t kFunctions = tables::kFunctionCount;

template <std::size_t I>
PyObject* call(PyObject*, PyObject* args, PyObject* kwargs) noexcept {
    return guarded([&] { return call_function(tables::function_defs()[I], args, kwargs); });
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
                    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(call<I>)), METH_VARARGS | METH_KEYWORDS,
                    docs[I].c_str()}),
     ...);
    methods[kFunctions] = {nullptr, nullptr, 0, nullptr};
}

int exec_module(PyObject* module) {
    if (!main_interpreter_only("quarnel._core")) return -1;
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
