#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "columns.hpp"

namespace quarnel::tables {

// How a column is typed: int64, float64, UTF-8 text, or repeating UTF-8 text (a dictionary of
// distinct texts and int32 indices on the Arrow face). On the Arrow face every column may hold
// nulls; the dict face gives None where a source has no value.
enum class Kind { Int, Float, Str, Dict };

// Which spelling a text column of type names takes on the Arrow face. The dict face keeps the
// texts as the pass wrote them.
enum class Spelling { AsWritten, Schema };

// Text ids of a pool, in one vector or in parts kept end to end.
struct PooledIds {
    const TextPool* pool;
    const TextColumn* ids;
};
struct PooledIdParts {
    const TextPool* pool;
    const TextColumnParts* ids;
};

// Where a column's values are: borrowed from a pass's result (which must outlive every use of
// the table) or from vectors the table owns.
using Source = std::variant<PooledIds, PooledIdParts, const StringColumn*, const std::vector<std::string_view>*,
                            const std::vector<std::uint64_t>*, const std::vector<std::optional<std::uint64_t>>*,
                            const std::vector<std::int64_t>*, const std::vector<std::uint32_t>*,
                            const std::vector<double>*, const std::vector<std::optional<double>>*,
                            const std::vector<float>*, const OptionalColumn<double>*,
                            const OptionalColumn<std::uint32_t>*, const LabelColumn*>;

// A scalar fact of a read (a timing, a size, the schema); monostate where the model has none.
using FactValue = std::variant<std::monostate, double, std::uint64_t, std::string_view>;

struct Column {
    std::string_view name;
    Kind kind;
    Source source;
    Spelling spelling = Spelling::AsWritten;
};

struct Fact {
    std::string_view key;
    FactValue value;
};

// A table of one read: named columns of equal length, and the facts that travel with it.
struct Table {
    std::vector<Column> columns;
    std::vector<Fact> facts;
    std::vector<std::shared_ptr<const void>> owned;  // keeps the sources of derived columns alive

    // Moves `values` into the table and returns a pointer usable as a Source.
    template <class T>
    const T* own(T&& values) {
        auto held = std::make_shared<const T>(std::move(values));
        const T* p = held.get();
        owned.push_back(std::move(held));
        return p;
    }
    // Keeps only the named columns, in that order; false if one is missing.
    bool select(const std::vector<std::string>& names);
    std::size_t rows() const;
};

// The number of rows of one source.
std::size_t source_rows(const Source& source);

}  // namespace quarnel::tables
