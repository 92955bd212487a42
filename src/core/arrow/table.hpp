#pragma once
#include <cstddef>
#include <functional>
#include <vector>

#include "tables/table.hpp"

struct ArrowSchema;
struct ArrowArrayStream;

namespace quarnel::arrow {

// Builds the Arrow schema and record batches of `table` into `schema` and `stream`, which own
// every byte they point to: the sources may go away afterwards. The facts become the schema's
// metadata (as text; absent ones are left out), with the time of the export as "marshal_ms".
// Strings longer than 32-bit offsets can address are split into several batches. Throws
// std::bad_alloc when memory runs out.
void export_table(const tables::Table& table, ArrowSchema* schema, ArrowArrayStream* stream);

// A caller done with the sources of a table, for an export that keeps the sources and the
// Arrow buffers from being all held at once. When the table fits one batch, the source of a
// column whose `consumable` flag is set may be taken apart (its storage becoming the Arrow
// array's), and done(i) is called (from the thread that built it) as soon as the Arrow array
// of column i no longer needs its source: the caller frees what is left there.
struct Consuming {
    std::vector<char> consumable;
    std::function<void(std::size_t)> done;
};
void export_table(const tables::Table& table, ArrowSchema* schema, ArrowArrayStream* stream,
                  const Consuming& consuming);

// A copy of `schema` owned by `out` (for each request of a consumer).
void copy_schema(const ArrowSchema& schema, ArrowSchema* out);

}  // namespace quarnel::arrow
