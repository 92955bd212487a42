#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nanoarrow/nanoarrow.h>

#include "tables/reads.hpp"

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

using tables::ReadFacts;

// Runs every pass the requested tables need over `file` once (the extractors share one entity
// table) and exports each table of the catalogue in request order. An unknown table or column
// leaves `error` set and nothing exported. Throws std::bad_alloc when memory runs out, with
// nothing leaked.
std::vector<Exported> read_tables(std::string_view file, const ReadFacts& facts, const std::vector<Request>& requests,
                                  std::string& error);

// Releases what `exported` still owns.
void release(std::vector<Exported>& exported);

}  // namespace quarnel::arrow
