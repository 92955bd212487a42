#include "python/frame.hpp"
#include "python/functions.hpp"

namespace quarnel::py {

PyObject* analyse_drift(PyObject*, PyObject* args, PyObject* kwargs) {
    if (!bind_path("analyse_drift", args, kwargs)) return nullptr;
    return not_implemented("analyse_drift");
}

}  // namespace quarnel::py
