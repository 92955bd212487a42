#pragma once
#include <exception>
#include <new>
#include <optional>
#include <string>

#include "python/pyref.hpp"
#include "step/mapped_file.hpp"

namespace quarnel::py {

// Binds the one argument `path` (positional or keyword, a str); on failure a
// TypeError or UnicodeEncodeError is set and the result is absent.
std::optional<std::string> bind_path(const char* function, PyObject* args, PyObject* kwargs);

// The UTF-8 text of an argument `path` already bound (a str), with the same errors.
std::optional<std::string> path_text(const char* function, PyObject* path);

// Opens and maps the file; on failure OSError("open ...: ..." / "mmap ...: ...") is set.
std::optional<MappedFile> open_mapped(const std::string& path);

// Runs f() for a function of a module: no C++ exception may unwind into the interpreter, which
// would abort the process. The only ones the core raises are failed allocations (a file whose
// results do not fit in memory), which become MemoryError. RAII owners have re-taken the lock
// and dropped their references by the time the exception arrives here.
template <class F>
PyObject* guarded(F&& f) noexcept {
    try {
        return f();
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

// The modules keep state in globals and are not built for isolation: true in the main
// interpreter, else false with ImportError set.
bool main_interpreter_only(const char* module);

// Releases the interpreter lock for its lifetime. No Python object may be
// touched while it lives.
class ReleasedLock {
public:
    ReleasedLock() : state_(PyEval_SaveThread()) {}
    ~ReleasedLock() { PyEval_RestoreThread(state_); }
    ReleasedLock(const ReleasedLock&) = delete;
    ReleasedLock& operator=(const ReleasedLock&) = delete;

private:
    PyThreadState* state_;
};

}  // namespace quarnel::py
