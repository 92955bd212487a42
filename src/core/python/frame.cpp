#include "python/frame.hpp"

namespace quarnel::py {

std::optional<std::string> bind_path(const char* function, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"path", nullptr};
    PyObject* path = nullptr;  // borrowed
    const std::string format = std::string("O:") + function;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, format.c_str(), const_cast<char**>(keywords), &path)) {
        return std::nullopt;
    }
    return path_text(function, path);
}

std::optional<std::string> path_text(const char* function, PyObject* path) {
    if (!PyUnicode_Check(path)) {
        PyRef type_name(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(path)), "__name__"));
        if (!type_name) return std::nullopt;
        PyErr_Format(PyExc_TypeError, "%s() argument 'path' must be str, not %U", function, type_name.get());
        return std::nullopt;
    }
    PyRef utf8(PyUnicode_AsUTF8String(path));
    if (!utf8) return std::nullopt;
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(utf8.get(), &data, &size) != 0) return std::nullopt;
    return std::string(data, static_cast<std::size_t>(size));
}

bool main_interpreter_only(const char* module) {
    if (PyInterpreterState_GetID(PyInterpreterState_Get()) == 0) return true;
    PyErr_Format(PyExc_ImportError, "%s does not support sub-interpreters", module);
    return false;
}

std::optional<MappedFile> open_mapped(const std::string& path) {
    std::string error;
    auto file = MappedFile::open(path, error);
    if (!file) {
        // The message is the only argument, so errno and filename stay None.
        PyRef message(PyUnicode_DecodeUTF8(error.data(), static_cast<Py_ssize_t>(error.size()), "replace"));
        if (message) PyErr_SetObject(PyExc_OSError, message.get());
    }
    return file;
}

}  // namespace quarnel::py
