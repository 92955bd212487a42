#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nanoarrow/nanoarrow.h>

namespace quarnel::arrow {

// One table asked for, with the columns wanted (all when absent).
struct Request {
    std::string table;
    std::optional<std::vector<std::string>> columns;
};

// The schema and the stream of one table, owned by whoever holds them: release them (or hand
// them to a consumer) exactly once.
struct Exported {
    ArrowSchema schema;
    ArrowArrayStream stream;
};

struct ReadFacts {
    std::uint64_t size_bytes = 0;
    double open_ms = 0.0;
};

// Runs every pass the requested tables need over `file` once (the extractors share one entity
// table) and exports each table in request order. An unknown table or column leaves `error`
// set and nothing exported. Throws std::bad_alloc when memory runs out, with nothing leaked.
std::vector<Exported> read_tables(std::string_view file, const ReadFacts& facts, const std::vector<Request>& requests,
                                  std::string& error);

// Releases what `exported` still owns.
void release(std::vector<Exported>& exported);

}  // namespace quarnel::arrow
