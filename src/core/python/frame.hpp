#pragma once
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
