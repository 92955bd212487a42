#include "arrow/read.hpp"

#include <algorithm>
#include <functional>

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
            // A result no later table needs is freed as it is exported: each column's source is
            // taken apart or freed as soon as its Arrow array is built (unless another column of
            // the table reads it too), the rest once the table is done. The read's peak is then
            // about one result, not every result and its Arrow buffers at once.
            bool later = false;
            for (std::size_t j = i + 1; j < requests.size(); ++j) later = later || defs[j]->pass == defs[i]->pass;
            {
                tables::Table table = tables::make_table(*defs[i], reads, false);
                if (requests[i].columns) table.select(*requests[i].columns);
                std::vector<const tables::ColumnGetter*> getters;
                for (const tables::Column& column : table.columns) {
                    for (const tables::ColumnDef& c : defs[i]->columns) {
                        if (c.name == column.name) getters.push_back(&c.get);
                    }
                }
                std::vector<void (*)(tables::Reads&)> releases(getters.size(), nullptr);
                for (std::size_t k = 0; k < getters.size() && !later; ++k) {
                    const auto shared = std::count_if(getters.begin(), getters.end(), [&](const auto* g) {
                        return g->get == getters[k]->get;
                    });
                    if (shared == 1) releases[k] = getters[k]->release;
                }
                arrow::Consuming consuming;
                if (std::any_of(releases.begin(), releases.end(), [](auto release) { return release != nullptr; })) {
                    for (const auto release : releases) consuming.consumable.push_back(release != nullptr);
                    consuming.done = [&](std::size_t k) {
                        if (releases[k]) releases[k](reads);
                    };
                }
                Exported e;
                export_table(table, &e.schema, &e.stream, consuming);
                out.push_back(e);
            }
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
