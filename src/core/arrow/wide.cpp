#include "arrow/wide.hpp"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <numeric>
#include <tuple>
#include <unordered_map>

#include "arrow/table.hpp"
#include "parallel.hpp"
#include "tables/catalogue.hpp"

namespace quarnel::arrow {
namespace {

using tables::Column;
using tables::Kind;

// Lower case as Unicode has it, for the letters type names are written in: ASCII, and Latin-1
// letters (U+00C0 to U+00DE but U+00D7) as UTF-8.
std::string lower_case(std::string_view s) {
    std::string out(s);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c + 32);
        } else if (c == 0xC3 && i + 1 < out.size()) {
            const auto d = static_cast<unsigned char>(out[++i]);
            if (d >= 0x80 && d <= 0x9E && d != 0x97) out[i] = static_cast<char>(d + 0x20);
        }
    }
    return out;
}

// Ranks of texts in order of first appearance, equal texts under several ids of one pool
// ranked once.
class FirstSeen {
public:
    explicit FirstSeen(const TextPool& pool) : pool_(pool), by_id_(pool.size(), -1) {}
    std::uint32_t operator()(std::uint32_t id) {
        if (id == TextPool::null) return rank(std::string_view());
        std::int64_t& r = by_id_[id];
        if (r < 0) r = rank(pool_[id]);
        return static_cast<std::uint32_t>(r);
    }
    std::string_view text(std::uint32_t rank) const { return texts_[rank]; }
    std::size_t size() const { return texts_.size(); }

private:
    std::uint32_t rank(std::string_view text) {
        auto [it, fresh] = ranks_.try_emplace(text, static_cast<std::uint32_t>(texts_.size()));
        if (fresh) texts_.push_back(text);
        return it->second;
    }
    const TextPool& pool_;
    std::vector<std::int64_t> by_id_;
    std::unordered_map<std::string_view, std::uint32_t> ranks_;
    std::vector<std::string_view> texts_;
};

// One "Set.Property": the rows of it that belong to elements kept, in row order, and what
// its column holds.
struct Key {
    std::uint32_t set = 0, name = 0;  // first-seen ranks
    std::string text;
    std::vector<std::uint32_t> rows;  // property rows
    bool several = false;             // a list, enumeration, bound or table value among them
    bool texts = false;               // a value that is not a number among them
};

// The cells of one column, filled by one element row per property row (the last one wins).
struct Cells {
    OptionalColumn<double> numbers;
    TextColumn texts;
    StringColumn joined;
};

// The cells table of the elements kept (see read_wide); frees the columns of `props` it has no
// more use for as it goes.
Exported export_cells(const ElementColumns& elements, PropertyColumns& props,
                      const std::optional<std::vector<std::string>>& entities) {
    // The elements kept and the row of each GlobalId among them (its first).
    std::vector<std::int64_t> kept;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (entities) {
            const std::uint32_t e = elements.entity[i];
            const std::string entity = lower_case(e == TextPool::null ? std::string_view() : elements.text[e]);
            if (std::find(entities->begin(), entities->end(), entity) == entities->end()) continue;
        }
        kept.push_back(static_cast<std::int64_t>(i));
    }
    const std::size_t n = kept.size();
    std::unordered_map<std::string_view, std::uint32_t> row_of_guid;
    row_of_guid.reserve(n);
    for (std::size_t r = 0; r < n; ++r) {
        const std::uint32_t g = elements.guid[static_cast<std::size_t>(kept[r])];
        if (g != TextPool::null) row_of_guid.try_emplace(elements.text[g], static_cast<std::uint32_t>(r));
    }

    // The element row of each property row, each pool id looked up once.
    constexpr std::uint32_t none = ~std::uint32_t{0}, unknown = none - 1;
    std::vector<std::uint32_t> row_of_id(props.text.size(), unknown);
    const auto element_row = [&](std::uint32_t id) {
        if (id == TextPool::null) return none;
        std::uint32_t& r = row_of_id[id];
        if (r == unknown) {
            const auto it = row_of_guid.find(props.text[id]);
            r = it == row_of_guid.end() ? none : it->second;
        }
        return r;
    };

    // The keys, with the ranks of their set and property names by first appearance in the
    // whole table, as the dictionary columns of the properties table rank them.
    FirstSeen sets(props.text), names(props.text);
    std::unordered_map<std::uint64_t, std::uint32_t> key_of_pair;
    std::vector<Key> keys;
    std::vector<std::uint32_t> row_cell(props.size(), none);
    for (std::size_t i = 0; i < props.size(); ++i) {
        const std::uint32_t set = sets(props.pset_name[i]), name = names(props.prop_name[i]);
        const std::uint32_t row = element_row(props.guid[i]);
        if (row == none) continue;
        row_cell[i] = row;
        const std::uint64_t pair = (std::uint64_t{set} << 32) | name;
        auto [it, fresh] = key_of_pair.try_emplace(pair, static_cast<std::uint32_t>(keys.size()));
        if (fresh) keys.push_back({set, name, {}, {}});
        Key& k = keys[it->second];
        k.rows.push_back(static_cast<std::uint32_t>(i));
        k.several = k.several || props.value_index.present[i] || props.role.at(i).has_value();
        k.texts = k.texts || (!props.number.present[i] && props.value[i] != TextPool::null);
    }
    for (Key& k : keys) k.text = std::string(sets.text(k.set)) + "." + std::string(names.text(k.name));
    // The cells need only the values and numbers of the properties (and their texts) from here on.
    for (TextColumn* c : {&props.guid, &props.entity, &props.pset_name, &props.prop_name, &props.value_type,
                          &props.type_guid}) {
        *c = TextColumn();
    }
    for (LabelColumn* c : {&props.kind, &props.role, &props.source}) c->codes = {};
    props.value_index = {};

    // Columns in order of their names; of keys spelled alike, one column at the first's place
    // with the last one's cells (in the order of the ranks of their names).
    std::vector<std::uint32_t> order(keys.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return std::tie(keys[a].text, keys[a].set, keys[a].name) < std::tie(keys[b].text, keys[b].set, keys[b].name);
    });
    std::vector<std::uint32_t> picked;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i + 1 < order.size() && keys[order[i + 1]].text == keys[order[i]].text) continue;
        picked.push_back(order[i]);
    }

    // Each column's cells, built side by side and freed as soon as its Arrow array is.
    std::vector<Cells> cells(picked.size());
    std::vector<std::string> column_names(picked.size());
    const auto fill = [&](Key& k, Cells& column) {
        if (k.several) {
            std::vector<std::optional<std::string>> joined(n);
            for (const std::uint32_t i : k.rows) {
                std::optional<std::string>& cell = joined[row_cell[i]];
                const std::uint32_t v = props.value[i];
                if (!cell) {
                    if (v != TextPool::null) cell.emplace(props.text[v]);
                } else {
                    // An absent value among present ones reads as Python prints None.
                    cell->append("; ").append(v == TextPool::null ? std::string_view("None") : props.text[v]);
                }
            }
            column.joined.reserve(n);
            for (const auto& cell : joined) column.joined.push(cell ? std::optional<std::string_view>(*cell) : std::nullopt);
        } else if (k.texts) {
            column.texts.assign(n, TextPool::null);
            for (const std::uint32_t i : k.rows) column.texts[row_cell[i]] = props.value[i];
        } else {
            column.numbers.values.assign(n, 0.0);
            column.numbers.present.assign(n, 0);
            for (const std::uint32_t i : k.rows) {
                column.numbers.values[row_cell[i]] = props.number.values[i];
                column.numbers.present[row_cell[i]] = props.number.present[i];
            }
        }
        std::vector<std::uint32_t>().swap(k.rows);
    };
    const std::size_t parts = n * picked.size() < (std::size_t{1} << 20) ? 1 : part_count(picked.size(), 1);
    run_in_parts(picked.size(), parts, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t c = begin; c < end; ++c) fill(keys[picked[c]], cells[c]);
    });
    tables::Table table;
    table.columns.push_back({"row", Kind::Int, &kept});
    for (std::size_t c = 0; c < picked.size(); ++c) {
        const Key& k = keys[picked[c]];
        column_names[c] = k.text;
        if (k.several) {
            table.columns.push_back({column_names[c], Kind::Str, &cells[c].joined});
        } else if (k.texts) {
            table.columns.push_back({column_names[c], Kind::Str, tables::PooledIds{&props.text, &cells[c].texts}});
        } else {
            table.columns.push_back({column_names[c], Kind::Float, &cells[c].numbers});
        }
    }

    Consuming consuming;
    consuming.consumable.assign(table.columns.size(), 1);
    consuming.consumable[0] = 0;
    consuming.done = [&](std::size_t i) {
        if (i > 0) cells[i - 1] = Cells();
    };
    Exported e;
    export_table(table, &e.schema, &e.stream, consuming);
    return e;
}

}  // namespace

std::vector<Exported> read_wide(std::string_view file, const ReadFacts& facts,
                                const std::optional<std::vector<std::string>>& entities) {
    tables::Reads reads =
        tables::run_passes(file, facts, tables::bit(tables::kElements) | tables::bit(tables::kProperties));
    std::vector<Exported> out;
    try {
        tables::Table elements = tables::make_table(*tables::find_table("elements"), reads, false);
        elements.select({"guid", "entity", "name"});
        Exported e;
        export_table(elements, &e.schema, &e.stream);
        out.push_back(e);
        out.push_back(export_cells(reads.get<ElementColumns>(), reads.get<PropertyColumns>(), entities));
    } catch (...) {
        release(out);
        throw;
    }
    return out;
}

}  // namespace quarnel::arrow
