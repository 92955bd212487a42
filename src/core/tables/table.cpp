#include "tables/table.hpp"

#include <algorithm>

namespace quarnel::tables {
namespace {

template <class... F>
struct overloaded : F... {
    using F::operator()...;
};
template <class... F>
overloaded(F...) -> overloaded<F...>;

}  // namespace

std::size_t source_rows(const Source& source) {
    return std::visit(overloaded{
                          [](const PooledIds& s) { return s.ids->size(); },
                          [](const PooledIdParts& s) { return s.ids->size(); },
                          [](const auto* s) { return s->size(); },
                      },
                      source);
}

bool Table::select(const std::vector<std::string>& names) {
    std::vector<Column> picked;
    for (const std::string& name : names) {
        auto it = std::find_if(columns.begin(), columns.end(), [&](const Column& c) { return c.name == name; });
        if (it == columns.end()) return false;
        picked.push_back(*it);
    }
    columns = std::move(picked);
    return true;
}

std::size_t Table::rows() const { return columns.empty() ? 0 : source_rows(columns.front().source); }

}  // namespace quarnel::tables
