#pragma once
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

// A copy of `schema` owned by `out` (for each request of a consumer).
void copy_schema(const ArrowSchema& schema, ArrowSchema* out);

}  // namespace quarnel::arrow
