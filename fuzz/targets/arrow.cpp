// Every table of the catalogue built from the input in one read, each stream
// read back by a consumer's rules: the Arrow format's own full validation,
// columns of the batch's length, dictionary indices inside their dictionary,
// UTF-8 text, the catalogue's columns in its order and kinds, and its facts in
// the schema's metadata.
#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include <nanoarrow/nanoarrow.h>

#include "arrow/read.hpp"
#include "invariants.hpp"
#include "tables/catalogue.hpp"

using namespace quarnel;
using namespace quarnel::fuzz;

namespace {

// Tables whose every row is an object's and names it by its GlobalId.
constexpr std::string_view kGuidTables[] = {"psets",      "quantities",         "materials", "classifications",
                                            "properties", "element_quantities", "elements"};

std::string_view view_of(ArrowStringView s) {
    require(s.size_bytes >= 0 && (s.size_bytes == 0 || s.data != nullptr));
    return {s.data, static_cast<std::size_t>(s.size_bytes)};
}

// The same columns, types and names, dictionaries included.
void require_same_schema(const ArrowSchema& a, const ArrowSchema& b) {
    require(a.format && b.format && std::strcmp(a.format, b.format) == 0);
    require((a.name == nullptr) == (b.name == nullptr));
    if (a.name) require(std::strcmp(a.name, b.name) == 0);
    require(a.n_children == b.n_children);
    for (std::int64_t i = 0; i < a.n_children; ++i) require_same_schema(*a.children[i], *b.children[i]);
    require((a.dictionary == nullptr) == (b.dictionary == nullptr));
    if (a.dictionary) require_same_schema(*a.dictionary, *b.dictionary);
}

// The table's facts as key and value, and the time of its export; only an
// optional fact may be missing.
void require_metadata(const ArrowSchema& schema, const tables::TableDef& def, std::size_t size) {
    ArrowMetadataReader reader;
    require(ArrowMetadataReaderInit(&reader, schema.metadata) == NANOARROW_OK);
    std::vector<std::string_view> keys;
    ArrowStringView key, value;
    while (reader.remaining_keys > 0) {
        require(ArrowMetadataReaderRead(&reader, &key, &value) == NANOARROW_OK);
        const std::string_view k = view_of(key), v = view_of(value);
        require(is_valid_utf8(k) && is_valid_utf8(v));
        require(k == "marshal_ms" || std::find(def.facts.begin(), def.facts.end(), k) != def.facts.end());
        if (k == "size_bytes") require(v == std::to_string(size));
        keys.push_back(k);
    }
    require(std::find(keys.begin(), keys.end(), "marshal_ms") != keys.end());
    for (const std::string_view fact : def.facts) {
        const tables::FactDef* f = tables::find_fact(fact);
        require(f != nullptr);
        const bool optional = f->type == tables::FactType::OptionalFloat || f->type == tables::FactType::OptionalStr;
        require(optional || std::find(keys.begin(), keys.end(), fact) != keys.end());
    }
}

// The catalogue's columns, in its order, of its kinds.
void require_columns(const ArrowSchema& schema, const tables::TableDef& def) {
    require(schema.n_children == static_cast<std::int64_t>(def.columns.size()));
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
        const ArrowSchema& child = *schema.children[i];
        require(child.name && def.columns[i].name == child.name);
        const std::string_view format = child.format;
        switch (def.columns[i].kind) {
            case tables::Kind::Int: require(format == "l" && !child.dictionary); break;
            case tables::Kind::Float: require(format == "g" && !child.dictionary); break;
            case tables::Kind::Str: require(format == "u" && !child.dictionary); break;
            case tables::Kind::Dict:
                require(format == "i" && child.dictionary && std::string_view(child.dictionary->format) == "u");
                break;
        }
    }
}

void require_utf8_strings(const ArrowArrayView& view) {
    for (std::int64_t i = 0; i < view.length; ++i) {
        if (!ArrowArrayViewIsNull(&view, i)) require(is_valid_utf8(view_of(ArrowArrayViewGetStringUnsafe(&view, i))));
    }
}

// One column of a batch; `guids` when every row must hold a GlobalId.
void require_column(const ArrowArrayView& column, std::int64_t length, bool guids) {
    require(column.length == length);
    if (column.dictionary) {
        require(column.storage_type == NANOARROW_TYPE_INT32);
        const ArrowArrayView& dictionary = *column.dictionary;
        require(dictionary.storage_type == NANOARROW_TYPE_STRING);
        require(dictionary.null_count == 0);
        require_utf8_strings(dictionary);
        for (std::int64_t i = 0; i < length; ++i) {
            if (ArrowArrayViewIsNull(&column, i)) {
                require(!guids);
                continue;
            }
            const std::int64_t index = ArrowArrayViewGetIntUnsafe(&column, i);
            require(index >= 0 && index < dictionary.length);
            if (guids) require(ArrowArrayViewGetStringUnsafe(&dictionary, index).size_bytes == 22);
        }
        return;
    }
    if (column.storage_type == NANOARROW_TYPE_STRING) {
        require_utf8_strings(column);
        if (guids) {
            for (std::int64_t i = 0; i < length; ++i) {
                require(!ArrowArrayViewIsNull(&column, i) && ArrowArrayViewGetStringUnsafe(&column, i).size_bytes == 22);
            }
        }
        return;
    }
    require(!guids);
    require(column.storage_type == NANOARROW_TYPE_INT64 || column.storage_type == NANOARROW_TYPE_DOUBLE);
}

// Reads the stream to its end; returns its rows, and the sum of its column `sum` when named.
std::int64_t read_stream(const tables::TableDef& def, arrow::Exported& e, std::size_t size, const char* sum,
                         std::int64_t* total) {
    const ArrowSchema& schema = e.schema;
    require(schema.release && e.stream.release);
    require(std::strcmp(schema.format, "+s") == 0);
    require_columns(schema, def);
    require_metadata(schema, def, size);

    ArrowSchema stream_schema;
    ArrowError error;
    require(ArrowArrayStreamGetSchema(&e.stream, &stream_schema, &error) == NANOARROW_OK);
    require_same_schema(schema, stream_schema);
    stream_schema.release(&stream_schema);

    bool guid_table = false;
    for (const std::string_view t : kGuidTables) guid_table = guid_table || t == def.name;
    std::int64_t guid_column = -1, sum_column = -1;
    for (std::int64_t i = 0; i < schema.n_children; ++i) {
        const std::string_view name = schema.children[i]->name;
        if (guid_table && name == "guid") guid_column = i;
        if (sum && name == sum) sum_column = i;
    }
    require(!guid_table || guid_column >= 0);

    ArrowArrayView view;
    require(ArrowArrayViewInitFromSchema(&view, &schema, &error) == NANOARROW_OK);
    std::int64_t rows = 0;
    while (true) {
        ArrowArray batch;
        require(ArrowArrayStreamGetNext(&e.stream, &batch, &error) == NANOARROW_OK);
        if (!batch.release) break;
        require(batch.n_children == schema.n_children);
        require(ArrowArrayViewSetArray(&view, &batch, &error) == NANOARROW_OK);
        require(ArrowArrayViewValidate(&view, NANOARROW_VALIDATION_LEVEL_FULL, &error) == NANOARROW_OK);
        require(view.offset == 0 && view.null_count == 0);
        for (std::int64_t i = 0; i < view.n_children; ++i) require_column(*view.children[i], view.length, i == guid_column);
        if (sum_column >= 0) {
            const ArrowArrayView& column = *view.children[sum_column];
            for (std::int64_t i = 0; i < column.length; ++i) *total += ArrowArrayViewGetIntUnsafe(&column, i);
        }
        rows += view.length;
        batch.release(&batch);
    }
    ArrowArrayViewReset(&view);
    return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const tables::TableDef> defs = tables::table_defs();
    std::vector<arrow::Request> requests;
    for (const tables::TableDef& def : defs) requests.push_back({std::string(def.name), std::nullopt});
    std::string error;
    std::vector<arrow::Exported> exported = arrow::read_tables(as_file(data, size), {size, 0.0}, requests, error);
    require(error.empty() && exported.size() == requests.size());

    std::int64_t products = -1, counted = 0;
    for (std::size_t i = 0; i < exported.size(); ++i) {
        const std::string_view table = defs[i].name;
        const std::int64_t rows =
            read_stream(defs[i], exported[i], size, table == "type_counts" ? "count" : nullptr, &counted);
        if (table == "products") products = rows;
    }
    // Every product is counted under its type.
    require(products < 0 || products == counted);
    arrow::release(exported);
    return 0;
}
