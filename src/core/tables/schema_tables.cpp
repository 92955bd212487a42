#include "tables/schema_tables.hpp"

#include <cstdint>
#include <iterator>

#include "columns.hpp"

namespace quarnel::tables {
namespace {

// A text column of a table, its texts borrowed from the schema's static data.
struct TextBuilder {
    TextPool pool;
    TextColumn ids;
    TextBuilder() { pool.share_equal_texts(); }
    void push(std::string_view s) { ids.push_back(s.empty() ? kNull : pool.add_view(s)); }
};

void add_text(Table& table, std::string_view name, Kind kind, TextBuilder&& column) {
    const TextPool* pool = table.own(std::move(column.pool));
    const TextColumn* ids = table.own(std::move(column.ids));
    table.columns.push_back({name, kind, PooledIds{pool, ids}});
}

void add_ints(Table& table, std::string_view name, std::vector<std::int64_t>&& values) {
    table.columns.push_back({name, Kind::Int, table.own(std::move(values))});
}

}  // namespace

Table schema_entities(const Schema& schema) {
    Table table;
    TextBuilder entity, supertype;
    std::vector<std::int64_t> abstract;
    for (const SchemaEntity& e : schema.entities) {
        entity.push(e.name);
        const bool root = e.supertype < 0;
        supertype.push(root ? std::string_view() : schema.entities[static_cast<std::size_t>(e.supertype)].name);
        abstract.push_back(e.abstract);
    }
    add_text(table, "entity", Kind::Str, std::move(entity));
    add_text(table, "supertype", Kind::Dict, std::move(supertype));
    add_ints(table, "abstract", std::move(abstract));
    return table;
}

Table schema_attributes(const Schema& schema) {
    Table table;
    TextBuilder entity, attribute, kind, type;
    std::vector<std::int64_t> position, optional, derived;
    for (std::size_t i = 0; i < schema.entities.size(); ++i) {
        const auto e = static_cast<std::uint16_t>(i);
        const auto all = schema.all_attributes(e);
        for (std::size_t p = 0; p < all.size(); ++p) {
            entity.push(schema.entities[i].name);
            attribute.push(all[p]->name);
            position.push_back(static_cast<std::int64_t>(p));
            optional.push_back(all[p]->optional);
            kind.push(kAttributeKindNames[static_cast<std::size_t>(all[p]->kind)]);
            type.push(all[p]->type);
            derived.push_back(schema.is_derived(e, p));
        }
    }
    add_text(table, "entity", Kind::Dict, std::move(entity));
    add_text(table, "attribute", Kind::Dict, std::move(attribute));
    add_ints(table, "position", std::move(position));
    add_ints(table, "optional", std::move(optional));
    add_text(table, "kind", Kind::Dict, std::move(kind));
    add_text(table, "type", Kind::Dict, std::move(type));
    add_ints(table, "derived", std::move(derived));
    return table;
}

}  // namespace quarnel::tables
