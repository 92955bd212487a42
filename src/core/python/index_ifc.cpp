#include "python/frame.hpp"
#include "python/functions.hpp"

namespace quarnel::py {

PyObject* index_ifc(PyObject*, PyObject* args, PyObject* kwargs) {
    if (!bind_path("index_ifc", args, kwargs)) return nullptr;
    return not_implemented("index_ifc");
}

}  // namespace quarnel::py
