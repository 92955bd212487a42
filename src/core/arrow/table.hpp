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

struct ArrowSchema;
struct ArrowArrayStream;

namespace quarnel::arrow {

// How a column is typed in Arrow: int64, float64, UTF-8 text, or repeating UTF-8 text as a
// dictionary<int32, string>. Every column may hold nulls.
enum class Kind { Int, Float, Str, Dict };

// Text ids of a pool, in one vector or in parts kept end to end.
struct PooledIds {
    const TextPool* pool;
    const TextColumn* ids;
};
struct PooledIdParts {
    const TextPool* pool;
    const TextColumnParts* ids;
};

// Where a column's values are: borrowed from a core result (which must outlive the export)
// or from vectors the table owns.
using Source = std::variant<PooledIds, PooledIdParts, const StringColumn*, const std::vector<std::string_view>*,
                            const std::vector<std::uint64_t>*, const std::vector<std::optional<std::uint64_t>>*,
                            const std::vector<std::int64_t>*, const std::vector<std::uint32_t>*,
                            const std::vector<double>*, const std::vector<std::optional<double>>*,
                            const std::vector<float>*>;

struct Column {
    std::string name;
    Kind kind;
    Source source;
};

// A table to export: named columns of equal length, and the facts of the read as schema
// metadata (key, text value).
struct Table {
    std::vector<Column> columns;
    std::vector<std::pair<std::string, std::string>> metadata;
    std::vector<std::shared_ptr<const void>> owned;  // keeps the sources of derived columns alive

    void add(std::string name, Kind kind, Source source) { columns.push_back({std::move(name), kind, source}); }
    // Moves `values` into the table and returns a pointer usable as a Source.
    template <class T>
    const T* own(T&& values) {
        auto held = std::make_shared<const T>(std::move(values));
        const T* p = held.get();
        owned.push_back(std::move(held));
        return p;
    }
    void fact(std::string key, std::string value) { metadata.emplace_back(std::move(key), std::move(value)); }
    void fact(std::string key, double value);
    void fact(std::string key, std::uint64_t value);
    // Keeps only the named columns, in that order; false if one is missing.
    bool select(const std::vector<std::string>& names);
    std::size_t rows() const;
};

// Builds the Arrow schema and record batches of `table` into `schema` and `stream`, which own
// every byte they point to: the sources may go away afterwards. The metadata gains the time of
// the export as "marshal_ms". Strings longer than 32-bit
// offsets can address are split into several batches. Throws std::bad_alloc when memory runs out.
void export_table(const Table& table, ArrowSchema* schema, ArrowArrayStream* stream);

// A copy of `schema` owned by `out` (for each request of a consumer).
void copy_schema(const ArrowSchema& schema, ArrowSchema* out);

}  // namespace quarnel::arrow
