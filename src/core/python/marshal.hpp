#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <string_view>
#include <vector>

#include "columns.hpp"
#include "python/pyref.hpp"
#include "tables/table.hpp"

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
PyObject* to_list(const OptionalColumn<double>& column);
PyObject* to_list(const OptionalColumn<std::uint32_t>& column);
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

// The shared str objects of one result: one TextObjects per text pool, and one str per distinct
// text of the repeating columns of plain string views (type names, labels).
class TextCache {
public:
    TextCache() = default;
    ~TextCache();
    TextCache(const TextCache&) = delete;
    TextCache& operator=(const TextCache&) = delete;

    TextObjects& of(const TextPool& pool);
    PyObject* label(std::string_view text);  // new reference, NULL on failure

private:
    std::unordered_map<const TextPool*, std::unique_ptr<TextObjects>> pools_;
    std::unordered_map<std::string_view, PyObject*> labels_;  // owned references; keys live as long as the result's sources
};

// Any column as a list: texts of a Dict column through the shared objects of `texts`.
PyObject* to_list(const tables::Source& source, tables::Kind kind, TextCache& texts);

// Inserts `value` under `key` and drops the reference (a NULL value passes
// the pending exception through). False when an exception is set.
bool put(PyObject* dict, const char* key, PyObject* value);

}  // namespace quarnel::py
