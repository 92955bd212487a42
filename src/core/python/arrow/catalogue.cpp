#include "python/arrow/catalogue.hpp"

#include <string>

#include "mesh/drift.hpp"
#include "tables/catalogue.hpp"

namespace quarnel::py {
namespace {

const char* kind_name(tables::Kind kind) {
    switch (kind) {
        case tables::Kind::Int: return "int";
        case tables::Kind::Float: return "float";
        case tables::Kind::Str: return "str";
        case tables::Kind::Dict: return "dict";
    }
    return "";
}

const char* entry_name(tables::DictEntry::What what) {
    switch (what) {
        case tables::DictEntry::Columns: return "columns";
        case tables::DictEntry::Nested: return "nested";
        case tables::DictEntry::Mapping: return "mapping";
        case tables::DictEntry::Fact: return "fact";
        case tables::DictEntry::Marshal: return "marshal";
        case tables::DictEntry::Total: return "total";
    }
    return "";
}

const char* fact_type_name(tables::FactType type) {
    switch (type) {
        case tables::FactType::Float: return "float";
        case tables::FactType::Int: return "int";
        case tables::FactType::Str: return "str";
        case tables::FactType::OptionalFloat: return "optional float";
        case tables::FactType::OptionalStr: return "optional str";
    }
    return "";
}

PyObject* text(std::string_view s) { return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size())); }

// A tuple of f(item) for every item of `items`.
template <class Items, class F>
PyObject* tuple_of(const Items& items, F&& f) {
    PyRef out(PyTuple_New(static_cast<Py_ssize_t>(std::size(items))));
    if (!out) return nullptr;
    Py_ssize_t i = 0;
    for (const auto& item : items) {
        PyObject* value = f(item);
        if (!value) return nullptr;
        PyTuple_SetItem(out.get(), i++, value);  // steals value
    }
    return out.release();
}

PyObject* column(const tables::ColumnDef& c) {
    PyRef name(text(c.name));
    if (!name) return nullptr;
    return Py_BuildValue("(Osiis)", name.get(), kind_name(c.kind), c.nullable ? 1 : 0, c.dict_face ? 1 : 0,
                         c.spelling == tables::Spelling::Schema ? "schema" : "");
}

PyObject* table(const tables::TableDef& t) {
    PyRef name(text(t.name)), stub(text(t.stub)), about(text(t.about));
    PyRef columns(tuple_of(t.columns, column));
    PyRef facts(tuple_of(t.facts, text));
    if (!name || !stub || !about || !columns || !facts) return nullptr;
    return PyTuple_Pack(5, name.get(), about.get(), stub.get(), columns.get(), facts.get());
}

PyObject* entry(const tables::DictEntry& e) {
    PyRef name(text(e.name));
    if (!name) return nullptr;
    return Py_BuildValue("(sO)", entry_name(e.what), name.get());
}

PyObject* function(const tables::FunctionDef& f) {
    PyRef name(text(f.name)), stub(text(f.stub)), entries(tuple_of(f.entries, entry));
    if (!name || !stub || !entries) return nullptr;
    return PyTuple_Pack(3, name.get(), stub.get(), entries.get());
}

PyObject* fact(const tables::FactDef& f) {
    PyRef key(text(f.key));
    if (!key) return nullptr;
    return Py_BuildValue("(Os)", key.get(), fact_type_name(f.type));
}

}  // namespace

PyObject* catalogue(PyObject*, PyObject*) {
    PyRef tables(tuple_of(tables::table_defs(), table));
    PyRef functions(tables ? tuple_of(tables::function_defs(), function) : nullptr);
    PyRef facts(functions ? tuple_of(tables::fact_defs(), fact) : nullptr);
    if (!facts) return nullptr;
    return Py_BuildValue("{sOsOsOs{sdsdsdsd}}", "tables", tables.get(), "functions", functions.get(), "facts",
                         facts.get(), "drift", "floor_mm", kOkMetres * 1000.0, "floor_units",
                         static_cast<double>(kOkUnits), "warn_ratio", static_cast<double>(kOkRatio), "error_ratio",
                         static_cast<double>(kWarnRatio));
}

}  // namespace quarnel::py
