#include "python/result.hpp"

#include <optional>
#include <string>

#include "clock.hpp"
#include "python/frame.hpp"
#include "python/marshal.hpp"

namespace quarnel::py {
namespace {

PyObject* fact_object(const tables::FactValue& value) {
    if (const auto* v = std::get_if<double>(&value)) return PyFloat_FromDouble(*v);
    if (const auto* v = std::get_if<std::uint64_t>(&value)) return PyLong_FromUnsignedLongLong(*v);
    if (const auto* v = std::get_if<std::string_view>(&value)) return to_str(*v);
    Py_RETURN_NONE;
}

// The dict-face columns of a table into `d`, in catalogue order.
bool put_columns(PyObject* d, const tables::Table& table, TextCache& texts) {
    for (const tables::Column& c : table.columns) {
        if (!put(d, std::string(c.name).c_str(), to_list(c.source, c.kind, texts))) return false;
    }
    return true;
}

// {first column: second column}, in row order.
PyObject* mapping(const tables::Table& table, TextCache& texts) {
    PyRef keys(to_list(table.columns[0].source, table.columns[0].kind, texts));
    PyRef values(keys ? to_list(table.columns[1].source, table.columns[1].kind, texts) : nullptr);
    PyRef d(values ? PyDict_New() : nullptr);
    if (!d) return nullptr;
    for (Py_ssize_t i = 0; i < PyList_Size(keys.get()); ++i) {
        if (PyDict_SetItem(d.get(), PyList_GetItem(keys.get(), i), PyList_GetItem(values.get(), i)) != 0) return nullptr;
    }
    return d.release();
}

PyObject* build_result(const tables::FunctionDef& function, const tables::Reads& reads, const Instant& start) {
    const Instant marshal_start = Instant::now();
    TextCache texts;
    PyRef d(PyDict_New());
    if (!d) return nullptr;
    for (const tables::DictEntry& e : function.entries) {
        const std::string key(e.name);
        bool ok = true;
        switch (e.what) {
            case tables::DictEntry::Columns:
                ok = put_columns(d.get(), tables::make_table(*tables::find_table(e.name), reads, true), texts);
                break;
            case tables::DictEntry::Nested: {
                PyRef nested(PyDict_New());
                ok = nested && put_columns(nested.get(), tables::make_table(*tables::find_table(e.name), reads, true), texts) &&
                     put(d.get(), key.c_str(), nested.release());
                break;
            }
            case tables::DictEntry::Mapping:
                ok = put(d.get(), key.c_str(), mapping(tables::make_table(*tables::find_table(e.name), reads, true), texts));
                break;
            case tables::DictEntry::Fact:
                ok = put(d.get(), key.c_str(), fact_object(tables::find_fact(e.name)->get(reads)));
                break;
            case tables::DictEntry::Marshal:
                ok = put(d.get(), key.c_str(), PyFloat_FromDouble(ms_since(marshal_start)));
                break;
            case tables::DictEntry::Total:
                ok = put(d.get(), key.c_str(), PyFloat_FromDouble(ms_since(start)));
                break;
        }
        if (!ok) return nullptr;
    }
    return d.release();
}

}  // namespace

PyObject* call_function(const tables::FunctionDef& function, PyObject* args, PyObject* kwargs) {
    const Instant start = Instant::now();
    const std::string name(function.name);
    const auto path = bind_path(name.c_str(), args, kwargs);
    if (!path) return nullptr;
    auto file = open_mapped(*path);
    if (!file) return nullptr;
    std::optional<tables::Reads> reads;
    {
        ReleasedLock unlocked;
        const tables::ReadFacts facts{file->size(), file->open_ms(), start, false};
        reads.emplace(tables::run_passes(file->bytes(), facts, tables::passes_of(function)));
    }
    return build_result(function, *reads, start);
}

}  // namespace quarnel::py
