#pragma once
#include <optional>
#include <span>
#include <string_view>

#include "tables/reads.hpp"
#include "tables/table.hpp"

namespace quarnel::tables {

// Reads one column of a table from the result of `pass`; a derived column is owned by `table`.
struct ColumnGetter {
    Source (*get)(const Reads& reads, Table& table);
    Pass pass;
    // Frees the member the column reads, for a read done with it; null for a derived column.
    void (*release)(Reads& reads) = nullptr;
};
using FactGetter = FactValue (*)(const Reads& reads);

// The Python type of a fact on the dict face (for the type stubs).
enum class FactType { Float, Int, Str, OptionalFloat, OptionalStr };

struct ColumnDef {
    std::string_view name;
    Kind kind;
    ColumnGetter get;
    bool nullable = false;  // whether the dict face may give None in it
    bool dict_face = true;  // false: only the Arrow face has the column
    Spelling spelling = Spelling::AsWritten;
};

struct FactDef {
    std::string_view key;
    FactType type;
    FactGetter get;
};

// One table: its name, the pass that fills it, its columns, the facts its Arrow schema carries
// as metadata, the stub class of its dict form and what one row is.
struct TableDef {
    std::string_view name;
    Pass pass;
    std::span<const ColumnDef> columns;
    std::span<const std::string_view> facts;
    std::string_view stub;
    std::string_view about;
};

// One entry of a dict result of quarnel._core, in key order.
struct DictEntry {
    enum What {
        Columns,  // the dict-face columns of `name` (a table) at the top level
        Nested,   // the dict-face columns of `name` as a dict under `name`
        Mapping,  // {first column: second column} of the table `name`, under `name`
        Fact,     // the fact `name`
        Marshal,  // "marshal_ms": the time spent building the result so far
        Total,    // "total_ms": the time from the start of the call
    } what;
    std::string_view name;
};

// One function of quarnel._core: its name (NUL-terminated), the keys of its result in order,
// its stub class and the rest of its docstring.
struct FunctionDef {
    std::string_view name;
    std::span<const DictEntry> entries;
    std::string_view stub;
    std::string_view doc = "";
};

inline constexpr std::size_t kFunctionCount = 7;

std::span<const TableDef> table_defs();
std::span<const FactDef> fact_defs();
std::span<const FunctionDef> function_defs();

const TableDef* find_table(std::string_view name);
const FactDef* find_fact(std::string_view key);
const FunctionDef* find_function(std::string_view name);

// The passes a function's result needs.
unsigned passes_of(const FunctionDef& function);

// Builds the table `def` from a read: every column (the dict face's only, when `dict_face`) with
// its facts.
Table make_table(const TableDef& def, const Reads& reads, bool dict_face);

}  // namespace quarnel::tables
