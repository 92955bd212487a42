#include "arrow/table.hpp"

#include <nanoarrow/nanoarrow.h>

#include "clock.hpp"
#include "schema/names.hpp"
#include "parallel.hpp"

#include <algorithm>
#include <atomic>
#include <numeric>
#include <charconv>
#include <climits>
#include <cstring>
#include <new>
#include <unordered_map>

namespace quarnel::arrow {
namespace {

using tables::Column;
using tables::Kind;
using tables::PooledIdParts;
using tables::PooledIds;
using tables::Source;
using tables::Spelling;

// nanoarrow reports failures as error codes; the only one building can meet is ENOMEM.
void check(ArrowErrorCode code) {
    if (code != NANOARROW_OK) throw std::bad_alloc();
}

// Releases an Arrow struct still owned here when the scope is left early.
template <class T>
struct Owned {
    T value{};
    Owned() { value.release = nullptr; }
    ~Owned() {
        if (value.release) value.release(&value);
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    T* get() { return &value; }
};

template <class T>
struct is_vector : std::false_type {};
template <class V>
struct is_vector<std::vector<V>> : std::true_type {};

template <class... F>
struct overloaded : F... {
    using F::operator()...;
};
template <class... F>
overloaded(F...) -> overloaded<F...>;

// f(id) for the rows [begin, end) of parts kept end to end.
template <class F>
void for_each_id(const TextColumnParts& column, std::size_t begin, std::size_t end, F&& f) {
    std::size_t base = 0;
    for (const TextColumn& part : column.parts) {
        const std::size_t stop = base + part.size();
        if (stop > begin && base < end) {
            const std::size_t lo = std::max(begin, base) - base, hi = std::min(end, stop) - base;
            for (std::size_t i = lo; i < hi; ++i) f(part[i]);
        }
        base = stop;
        if (base >= end) break;
    }
}

// f(text) for the rows [begin, end) of a text source; an absent text is passed as nullopt.
template <class F>
void for_each_text(const Source& source, std::size_t begin, std::size_t end, F&& f) {
    std::visit(overloaded{
                   [&](const PooledIds& s) {
                       for (std::size_t i = begin; i < end; ++i) {
                           const std::uint32_t id = (*s.ids)[i];
                           f(id == TextPool::null ? std::nullopt : std::optional<std::string_view>((*s.pool)[id]));
                       }
                   },
                   [&](const PooledIdParts& s) {
                       for_each_id(*s.ids, begin, end, [&](std::uint32_t id) {
                           f(id == TextPool::null ? std::nullopt : std::optional<std::string_view>((*s.pool)[id]));
                       });
                   },
                   [&](const StringColumn* s) {
                       for (std::size_t i = begin; i < end; ++i) f(s->at(i));
                   },
                   [&](const LabelColumn* s) {
                       for (std::size_t i = begin; i < end; ++i) f(s->at(i));
                   },
                   [&](const std::vector<std::string_view>* s) {
                       for (std::size_t i = begin; i < end; ++i) f(std::optional<std::string_view>((*s)[i]));
                   },
                   [&](const auto*) {},
               },
               source);
}

// Writes the validity bitmap only once a null turns up: columns without nulls have none.
class Validity {
public:
    Validity(ArrowArray* array, std::int64_t rows) : array_(array), rows_(rows) {}
    void null(std::int64_t row) {
        if (!bits_) start();
        bits_[row / 8] &= static_cast<std::uint8_t>(~(1u << (row % 8)));
        ++nulls_;
    }
    // The rows [0, rows) from a flag each (nonzero: there), 8 to a byte of the bitmap.
    void flags(const std::uint8_t* present) {
        std::int64_t there = 0;
        for (std::int64_t i = 0; i < rows_; ++i) there += present[i] != 0;
        if (there == rows_) return;
        if (!bits_) start();
        for (std::int64_t b = 0; b * 8 < rows_; ++b) {
            std::uint8_t byte = 0;
            for (std::int64_t k = 0; k < 8 && b * 8 + k < rows_; ++k) {
                byte |= static_cast<std::uint8_t>((present[b * 8 + k] != 0) << k);
            }
            bits_[b] = byte;
        }
        nulls_ = rows_ - there;
    }
    std::int64_t nulls() const { return nulls_; }

private:
    // The bitmap, every row valid, made at the first null: kept out of null() so that it inlines.
    [[gnu::noinline]] void start() {
        ArrowBitmap* bitmap = ArrowArrayValidityBitmap(array_);
        check(ArrowBitmapReserve(bitmap, rows_));
        const std::int64_t bytes = (rows_ + 7) / 8;
        std::memset(bitmap->buffer.data, 0xFF, static_cast<std::size_t>(bytes));
        bitmap->buffer.size_bytes = bytes;
        bitmap->size_bits = rows_;
        bits_ = bitmap->buffer.data;
    }

    ArrowArray* array_;
    std::int64_t rows_;
    std::uint8_t* bits_ = nullptr;
    std::int64_t nulls_ = 0;
};

template <class T>
T* reserve(ArrowArray* array, int index, std::int64_t count) {
    ArrowBuffer* buffer = ArrowArrayBuffer(array, index);
    const std::int64_t bytes = count * static_cast<std::int64_t>(sizeof(T));
    check(ArrowBufferReserve(buffer, bytes));
    buffer->size_bytes = bytes;
    return reinterpret_cast<T*>(buffer->data);
}

// Hands the storage of `values` to `buffer`, empty until now, which frees it when released.
template <class V>
void adopt(ArrowBuffer* buffer, V&& values) {
    auto* held = new V(std::move(values));
    buffer->allocator = ArrowBufferDeallocator(
        [](ArrowBufferAllocator* allocator, std::uint8_t*, std::int64_t) { delete static_cast<V*>(allocator->private_data); },
        held);
    buffer->data = reinterpret_cast<std::uint8_t*>(held->data());
    buffer->size_bytes = static_cast<std::int64_t>(held->size() * sizeof(typename V::value_type));
    buffer->capacity_bytes = buffer->size_bytes;
}

// A source of `rows` rows that the export may take apart, as a T; null otherwise.
template <class T, class S>
T* consumed(const Source& source, bool consume, std::size_t begin, std::size_t end) {
    const auto* s = std::get_if<S>(&source);
    if (!consume || !s || begin != 0 || end == 0) return nullptr;
    if constexpr (std::is_same_v<S, PooledIds>) {
        // The read that made it owns it, not as const: the caller says it is done with it.
        return s->ids->size() == end ? const_cast<T*>(s->ids) : nullptr;
    } else {
        return (*s)->size() == end ? const_cast<T*>(*s) : nullptr;
    }
}

template <class Out>
void fill_numbers(ArrowArray* array, const Source& source, std::size_t begin, std::size_t end, bool consume) {
    const auto rows = static_cast<std::int64_t>(end - begin);
    if constexpr (std::is_same_v<Out, double>) {
        // Numbers kept as doubles with a flag each: the doubles are the data buffer as they are.
        if (auto* taken = consumed<OptionalColumn<double>, const OptionalColumn<double>*>(source, consume, begin, end)) {
            Validity validity(array, rows);
            validity.flags(taken->present.data());
            adopt(ArrowArrayBuffer(array, 1), std::move(taken->values));
            array->length = rows;
            array->null_count = validity.nulls();
            return;
        }
    }
    Out* out = reserve<Out>(array, 1, rows);
    Validity validity(array, rows);
    std::visit(
        [&](const auto& s) {
            using S = std::decay_t<decltype(s)>;
            if constexpr (std::is_pointer_v<S> && is_vector<std::remove_cv_t<std::remove_pointer_t<S>>>::value) {
                using Value = typename std::remove_pointer_t<S>::value_type;
                if constexpr (std::is_arithmetic_v<Value>) {
                    for (std::size_t i = begin; i < end; ++i) out[i - begin] = static_cast<Out>((*s)[i]);
                } else if constexpr (std::is_same_v<Value, std::optional<std::uint64_t>> ||
                                     std::is_same_v<Value, std::optional<double>>) {
                    for (std::size_t i = begin; i < end; ++i) {
                        const auto& v = (*s)[i];
                        out[i - begin] = v ? static_cast<Out>(*v) : Out{};
                        if (!v) validity.null(static_cast<std::int64_t>(i - begin));
                    }
                }
            } else if constexpr (std::is_same_v<S, const OptionalColumn<double>*> ||
                                 std::is_same_v<S, const OptionalColumn<std::uint32_t>*>) {
                for (std::size_t i = begin; i < end; ++i) out[i - begin] = static_cast<Out>(s->values[i]);
                validity.flags(s->present.data() + begin);
            }
        },
        source);
    array->length = rows;
    array->null_count = validity.nulls();
}

// Offsets and bytes of `texts` into a string array; false when they need more than 32-bit offsets.
// `total` is their bytes when known already.
template <class Each>
bool fill_strings(ArrowArray* array, std::int64_t rows, Each&& each, std::int64_t total = -1) {
    if (total < 0) {
        total = 0;
        each([&](const std::optional<std::string_view>& s) {
            if (s) total += static_cast<std::int64_t>(s->size());
        });
    }
    if (total > INT32_MAX) return false;
    auto* offsets = reserve<std::int32_t>(array, 1, rows + 1);
    char* bytes = reserve<char>(array, 2, total);
    Validity validity(array, rows);
    std::int64_t row = 0;
    std::int32_t at = 0;
    offsets[0] = 0;
    each([&](const std::optional<std::string_view>& s) {
        if (s) {
            if (!s->empty()) std::memcpy(bytes + at, s->data(), s->size());
            at += static_cast<std::int32_t>(s->size());
        } else {
            validity.null(row);
        }
        offsets[++row] = at;
    });
    array->length = rows;
    array->null_count = validity.nulls();
    return true;
}

// Indices into a dictionary of the distinct texts, in order of first appearance. Pool ids are
// remapped to the compact dictionary of the column; equal texts under two ids (pools joined
// from parts) get one entry.
// A type name as the schema spells it (IfcWallStandardCase for IfcWallstandardcase); a name no
// schema has stays as written.
std::string_view schema_spelling(std::string_view text) {
    const auto name = schema_name(text);
    return name ? name->spelling : text;
}

bool fill_dictionary(ArrowArray* array, const Column& column, std::size_t begin, std::size_t end, bool consume) {
    const Source& source = column.source;
    const auto rows = static_cast<std::int64_t>(end - begin);
    // Text ids the export may take apart become the indices in place: row i is read before
    // index i is written.
    TextColumn* ids = consumed<TextColumn, PooledIds>(source, consume, begin, end);
    auto* indices = ids ? reinterpret_cast<std::int32_t*>(ids->data()) : reserve<std::int32_t>(array, 1, rows);
    Validity validity(array, rows);
    std::vector<std::string_view> distinct;
    std::unordered_map<std::string_view, std::int32_t> by_text;
    auto index_of = [&](std::string_view text) {
        if (column.spelling == Spelling::Schema) text = schema_spelling(text);
        auto [it, fresh] = by_text.try_emplace(text, static_cast<std::int32_t>(distinct.size()));
        if (fresh) distinct.push_back(text);
        return it->second;
    };
    std::int64_t row = 0;
    auto put_id = [&](const TextPool& pool, std::vector<std::int32_t>& by_id, std::uint32_t id) {
        if (id == TextPool::null) {
            validity.null(row);
            indices[row++] = 0;
            return;
        }
        std::int32_t& slot = by_id[id];
        if (slot < 0) slot = index_of(pool[id]);
        indices[row++] = slot;
    };
    std::visit(overloaded{
                   [&](const PooledIds& s) {
                       std::vector<std::int32_t> by_id(s.pool->size(), -1);
                       for (std::size_t i = begin; i < end; ++i) put_id(*s.pool, by_id, (*s.ids)[i]);
                   },
                   [&](const PooledIdParts& s) {
                       std::vector<std::int32_t> by_id(s.pool->size(), -1);
                       for_each_id(*s.ids, begin, end, [&](std::uint32_t id) { put_id(*s.pool, by_id, id); });
                   },
                   [&](const LabelColumn* s) {
                       std::int32_t by_code[256];
                       std::fill(std::begin(by_code), std::end(by_code), -1);
                       for (std::size_t i = begin; i < end; ++i) {
                           const std::uint8_t code = s->codes[i];
                           if (s->labels[code].empty()) {
                               validity.null(row);
                               indices[row++] = 0;
                               continue;
                           }
                           if (by_code[code] < 0) by_code[code] = index_of(s->labels[code]);
                           indices[row++] = by_code[code];
                       }
                   },
                   [&](const auto&) {
                       // Plain texts: a run of one text skips the lookup.
                       std::optional<std::string_view> last;
                       std::int32_t last_index = 0;
                       for_each_text(source, begin, end, [&](const std::optional<std::string_view>& s) {
                           if (!s) {
                               validity.null(row);
                               indices[row++] = 0;
                               return;
                           }
                           if (!last || *last != *s) {
                               last = s;
                               last_index = index_of(*s);
                           }
                           indices[row++] = last_index;
                       });
                   },
               },
               source);
    if (ids) adopt(ArrowArrayBuffer(array, 1), std::move(*ids));
    array->length = rows;
    array->null_count = validity.nulls();
    return fill_strings(array->dictionary, static_cast<std::int64_t>(distinct.size()), [&](auto&& f) {
        for (const std::string_view s : distinct) f(std::optional<std::string_view>(s));
    });
}

// `text_bytes`: the bytes of a text column's rows [begin, end) when known already.
// `consume`: the source may be taken apart.
bool fill_column(ArrowArray* array, const Column& column, std::size_t begin, std::size_t end,
                 std::int64_t text_bytes = -1, bool consume = false) {
    switch (column.kind) {
        case Kind::Int:
            fill_numbers<std::int64_t>(array, column.source, begin, end, consume);
            return true;
        case Kind::Float:
            fill_numbers<double>(array, column.source, begin, end, consume);
            return true;
        case Kind::Str:
            return fill_strings(
                array, static_cast<std::int64_t>(end - begin),
                [&](auto&& f) { for_each_text(column.source, begin, end, f); }, text_bytes);
        case Kind::Dict:
            return fill_dictionary(array, column, begin, end, consume);
    }
    return true;
}

// The struct of the table's columns; the metadata comes once the batches are built.
void make_schema(const tables::Table& table, ArrowSchema* schema) {
    ArrowSchemaInit(schema);
    check(ArrowSchemaSetTypeStruct(schema, static_cast<std::int64_t>(table.columns.size())));
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        const Column& column = table.columns[i];
        ArrowSchema* child = schema->children[i];
        switch (column.kind) {
            case Kind::Int:
                check(ArrowSchemaSetType(child, NANOARROW_TYPE_INT64));
                break;
            case Kind::Float:
                check(ArrowSchemaSetType(child, NANOARROW_TYPE_DOUBLE));
                break;
            case Kind::Str:
                check(ArrowSchemaSetType(child, NANOARROW_TYPE_STRING));
                break;
            case Kind::Dict:
                check(ArrowSchemaSetType(child, NANOARROW_TYPE_INT32));
                check(ArrowSchemaAllocateDictionary(child));
                ArrowSchemaInit(child->dictionary);
                check(ArrowSchemaSetType(child->dictionary, NANOARROW_TYPE_STRING));
                break;
        }
        check(ArrowSchemaSetName(child, std::string(column.name).c_str()));
    }
}

// A fact as metadata text: floats as Python writes them (whole numbers with ".0").
std::optional<std::string> fact_text(const tables::FactValue& value) {
    return std::visit(overloaded{
                          [](std::monostate) -> std::optional<std::string> { return std::nullopt; },
                          [](double v) -> std::optional<std::string> {
                              char text[32];
                              auto [end, ec] = std::to_chars(text, text + sizeof text, v);
                              std::string s(text, end);
                              if (s.find_first_of(".eni") == std::string::npos) s += ".0";
                              return s;
                          },
                          [](std::uint64_t v) -> std::optional<std::string> { return std::to_string(v); },
                          [](std::string_view v) -> std::optional<std::string> { return std::string(v); },
                      },
                      value);
}

void set_metadata(const std::vector<tables::Fact>& facts, double marshal_ms, ArrowSchema* schema) {
    ArrowBuffer metadata;
    check(ArrowMetadataBuilderInit(&metadata, nullptr));
    auto append = [&](std::string_view key, const tables::FactValue& value) {
        const auto text = fact_text(value);
        if (!text) return;
        const ArrowErrorCode code = ArrowMetadataBuilderAppend(
            &metadata, ArrowStringView{key.data(), static_cast<std::int64_t>(key.size())},
            ArrowStringView{text->data(), static_cast<std::int64_t>(text->size())});
        if (code != NANOARROW_OK) {
            ArrowBufferReset(&metadata);
            throw std::bad_alloc();
        }
    };
    for (const tables::Fact& f : facts) append(f.key, f.value);
    append("marshal_ms", marshal_ms);
    const ArrowErrorCode code = ArrowSchemaSetMetadata(schema, reinterpret_cast<const char*>(metadata.data));
    ArrowBufferReset(&metadata);
    check(code);
}

// Below this many rows a thread costs more than it saves.
constexpr std::size_t kRowsPerThread = 1 << 16;

// f(i) for every column of `table`, the columns of a long table side by side: each thread takes
// the next column left, plain texts first, then dictionaries, then numbers, so that the few
// costly columns do not end up on one thread.
template <class F>
void for_each_column(const tables::Table& table, std::size_t rows, F&& f) {
    const std::size_t columns = table.columns.size();
    std::vector<std::size_t> order(columns);
    std::iota(order.begin(), order.end(), std::size_t{0});
    const auto cost = [&](std::size_t i) {
        const Kind kind = table.columns[i].kind;
        return kind == Kind::Str ? 0 : kind == Kind::Dict ? 1 : 2;
    };
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return cost(a) < cost(b); });
    std::atomic<std::size_t> next{0};
    const std::size_t parts = rows < kRowsPerThread ? 1 : part_count(columns, 1);
    run_in_parts(parts, parts, [&](std::size_t, std::size_t, std::size_t) {
        for (std::size_t k = next++; k < columns; k = next++) f(order[k]);
    });
}

// The bytes of a plain text column, or at most those of a dictionary column's distinct texts:
// for pooled texts, those of the whole pool (a schema's spelling differs in letter case only).
std::int64_t text_bytes(const Column& column, std::size_t rows) {
    std::int64_t total = 0;
    const auto add = [&](const std::optional<std::string_view>& s) {
        if (s) total += static_cast<std::int64_t>(s->size());
    };
    const TextPool* pool = nullptr;
    if (const auto* s = std::get_if<PooledIds>(&column.source)) pool = s->pool;
    if (const auto* s = std::get_if<PooledIdParts>(&column.source)) pool = s->pool;
    const auto* labels = std::get_if<const LabelColumn*>(&column.source);
    if (column.kind == Kind::Dict && pool) {
        for (std::uint32_t id = 0; id < pool->size(); ++id) total += static_cast<std::int64_t>((*pool)[id].size());
    } else if (column.kind == Kind::Dict && labels) {
        for (const std::string_view s : (*labels)->labels) total += static_cast<std::int64_t>(s.size());
    } else {
        for_each_text(column.source, 0, rows, add);
    }
    return total;
}

// All rows in one batch, built(i) called as each column's array is done: only when every
// column's texts fit 32-bit offsets, as then no column is built twice.
bool build_one_batch(const tables::Table& table, const ArrowSchema* schema, std::vector<ArrowArray>& batches,
                     const Consuming& consuming) {
    const std::size_t columns = table.columns.size(), rows = table.rows();
    std::vector<std::int64_t> bytes(columns, -1);
    for (std::size_t i = 0; i < columns; ++i) {
        const Kind kind = table.columns[i].kind;
        if (kind != Kind::Str && kind != Kind::Dict) continue;
        bytes[i] = text_bytes(table.columns[i], rows);
        if (bytes[i] > INT32_MAX) return false;
    }
    Owned<ArrowArray> batch;
    ArrowError error;
    check(ArrowArrayInitFromSchema(batch.get(), schema, &error));
    for_each_column(table, rows, [&](std::size_t i) {
        const Column& column = table.columns[i];
        fill_column(batch.value.children[i], column, 0, rows, column.kind == Kind::Str ? bytes[i] : -1,
                    i < consuming.consumable.size() && consuming.consumable[i]);
        if (consuming.done) consuming.done(i);
    });
    batch.value.length = static_cast<std::int64_t>(rows);
    batch.value.null_count = 0;
    check(ArrowArrayFinishBuilding(batch.get(), NANOARROW_VALIDATION_LEVEL_DEFAULT, &error));
    batches.push_back(batch.value);
    batch.value.release = nullptr;
    return true;
}

// One record batch of the rows [begin, end), or several when the texts need them.
void build_batches(const tables::Table& table, const ArrowSchema* schema, std::size_t begin, std::size_t end,
                   std::vector<ArrowArray>& batches) {
    Owned<ArrowArray> batch;
    ArrowError error;
    check(ArrowArrayInitFromSchema(batch.get(), schema, &error));
    // The columns are independent arrays: large ones are filled side by side.
    const std::size_t columns = table.columns.size();
    std::vector<char> fits(columns, 1);
    for_each_column(table, end - begin,
                    [&](std::size_t i) { fits[i] = fill_column(batch.value.children[i], table.columns[i], begin, end); });
    if (std::find(fits.begin(), fits.end(), 0) != fits.end()) {
        if (end - begin < 2) throw std::bad_alloc();  // one text over 2 GiB
        const std::size_t middle = begin + (end - begin) / 2;
        build_batches(table, schema, begin, middle, batches);
        build_batches(table, schema, middle, end, batches);
        return;
    }
    batch.value.length = static_cast<std::int64_t>(end - begin);
    batch.value.null_count = 0;
    check(ArrowArrayFinishBuilding(batch.get(), NANOARROW_VALIDATION_LEVEL_DEFAULT, &error));
    batches.push_back(batch.value);
    batch.value.release = nullptr;
}

}  // namespace

void export_table(const tables::Table& table, ArrowSchema* schema, ArrowArrayStream* stream) {
    export_table(table, schema, stream, Consuming{});
}

void export_table(const tables::Table& table, ArrowSchema* schema, ArrowArrayStream* stream,
                  const Consuming& consuming) {
    const Instant start = Instant::now();
    Owned<ArrowSchema> built;
    make_schema(table, built.get());
    std::vector<ArrowArray> batches;
    try {
        const bool consumes = consuming.done || !consuming.consumable.empty();
        if (!consumes || !build_one_batch(table, built.get(), batches, consuming)) {
            build_batches(table, built.get(), 0, table.rows(), batches);
        }
        set_metadata(table.facts, ms_since(start), built.get());
        Owned<ArrowSchema> stream_schema;
        copy_schema(built.value, stream_schema.get());
        check(ArrowBasicArrayStreamInit(stream, stream_schema.get(), static_cast<std::int64_t>(batches.size())));
        stream_schema.value.release = nullptr;  // moved into the stream
    } catch (...) {
        for (ArrowArray& b : batches) b.release(&b);
        throw;
    }
    for (std::size_t i = 0; i < batches.size(); ++i) {
        ArrowBasicArrayStreamSetArray(stream, static_cast<std::int64_t>(i), &batches[i]);
    }
    *schema = built.value;
    built.value.release = nullptr;
}

void copy_schema(const ArrowSchema& schema, ArrowSchema* out) { check(ArrowSchemaDeepCopy(&schema, out)); }

}  // namespace quarnel::arrow
