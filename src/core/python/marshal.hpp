#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "columns.hpp"
#include "python/pyref.hpp"

namespace quarnel::py {

// Converters from core columns to new Python objects; each returns a new
// reference or NULL with an exception set. Lists are created at their final
// length and filled by position.
PyObject* to_str(std::string_view s);
PyObject* to_str(const std::optional<std::string_view>& s);
PyObject* to_list(const StringColumn& column);
PyObject* to_list(const std::vector<std::uint64_t>& column);
PyObject* to_list(const std::vector<std::uint32_t>& column);
PyObject* to_list(const std::vector<std::int64_t>& column);
PyObject* to_list(const std::vector<double>& column);
PyObject* to_list(const std::vector<float>& column);
PyObject* to_list(const std::vector<std::optional<std::uint64_t>>& column);
PyObject* to_list(const std::vector<std::optional<double>>& column);
PyObject* to_list(const std::vector<std::string_view>& column);

// One str per distinct text of a pool, created on first use and shared by
// every row (and every column) that repeats it: equal texts under different
// ids share one object too. Holds its references until destroyed.
class TextObjects {
public:
    explicit TextObjects(const TextPool& pool);
    ~TextObjects();
    TextObjects(const TextObjects&) = delete;
    TextObjects& operator=(const TextObjects&) = delete;

    PyObject* get(std::uint32_t id);  // new reference, NULL on failure

private:
    struct Recent {
        std::string_view text;
        PyObject* object = nullptr;  // borrowed from objects_
    };
    const TextPool& pool_;
    std::vector<PyObject*> objects_;
    std::vector<Recent> recent_;  // direct-mapped by hash of the text
};

PyObject* to_list(const TextColumn& column, TextObjects& objects);
PyObject* to_list(const TextColumnParts& column, TextObjects& objects);

// Inserts `value` under `key` and drops the reference (a NULL value passes
// the pending exception through). False when an exception is set.
bool put(PyObject* dict, const char* key, PyObject* value);

}  // namespace quarnel::py
