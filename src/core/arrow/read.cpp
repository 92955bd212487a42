#include "arrow/read.hpp"

#include "arrow/table.hpp"
#include "tables/catalogue.hpp"

namespace quarnel::arrow {

std::vector<Exported> read_tables(std::string_view file, const ReadFacts& facts, const std::vector<Request>& requests,
                                  std::string& error) {
    std::vector<const tables::TableDef*> defs;
    unsigned passes = 0;
    for (const Request& request : requests) {
        const tables::TableDef* def = tables::find_table(request.table);
        if (!def) {
            error = "no table '" + request.table + "'";
            return {};
        }
        defs.push_back(def);
        passes |= tables::bit(def->pass);
    }
    for (std::size_t i = 0; i < requests.size(); ++i) {
        if (!requests[i].columns) continue;
        for (const std::string& name : *requests[i].columns) {
            bool found = false;
            for (const tables::ColumnDef& c : defs[i]->columns) found = found || c.name == name;
            if (!found) {
                error = "table '" + requests[i].table + "' has no column '" + name + "'";
                return {};
            }
        }
    }

    tables::Reads reads = tables::run_passes(file, facts, passes);
    std::vector<Exported> out;
    out.reserve(requests.size());
    try {
        for (std::size_t i = 0; i < requests.size(); ++i) {
            {
                tables::Table table = tables::make_table(*defs[i], reads, false);
                if (requests[i].columns) table.select(*requests[i].columns);
                Exported e;
                export_table(table, &e.schema, &e.stream);
                out.push_back(e);
            }
            // A result no later table needs is freed at once: the read's peak is then one
            // result and its Arrow buffers, not every result at once.
            bool later = false;
            for (std::size_t j = i + 1; j < requests.size(); ++j) later = later || defs[j]->pass == defs[i]->pass;
            if (!later) reads.free(defs[i]->pass);
        }
    } catch (...) {
        release(out);
        throw;
    }
    return out;
}

void release(std::vector<Exported>& exported) {
    for (Exported& e : exported) {
        if (e.schema.release) e.schema.release(&e.schema);
        if (e.stream.release) e.stream.release(&e.stream);
    }
    exported.clear();
}

}  // namespace quarnel::arrow
