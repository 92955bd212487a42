// The catalogues are data: what no compiler checks about them is checked here.
#include <set>
#include <string>

#include "indexer/catalogue.hpp"
#include "schema/names.hpp"
#include "tables/catalogue.hpp"

#include "check.hpp"

using namespace quarnel;

int main() {
    // The index's types are a view of the schema table: each spelled as the schema spells it
    // (IfcFlowValve, which some exporters write, is in no schema).
    for (const CatalogueEntry& e : type_catalogue()) {
        const auto name = schema_name(e.upper);
        CHECK(name ? name->spelling == e.schema && (name->flags & kEntity) : e.schema == "IfcFlowValve");
    }
    // Table names, column names within a table, fact keys and result keys are unique; every
    // fact a table or a result names exists, and every table a result names.
    std::set<std::string_view> tables;
    for (const tables::TableDef& t : tables::table_defs()) {
        CHECK(tables.insert(t.name).second);
        std::set<std::string_view> columns;
        for (const tables::ColumnDef& c : t.columns) CHECK(columns.insert(c.name).second);
        for (const std::string_view f : t.facts) CHECK(tables::find_fact(f) != nullptr);
    }
    std::set<std::string_view> facts;
    for (const tables::FactDef& f : tables::fact_defs()) CHECK(facts.insert(f.key).second);
    for (const tables::FunctionDef& f : tables::function_defs()) {
        std::set<std::string_view> keys;
        for (const tables::DictEntry& e : f.entries) {
            if (e.what != tables::DictEntry::Columns) CHECK(keys.insert(e.name).second);
            if (e.what == tables::DictEntry::Fact) CHECK(tables::find_fact(e.name) != nullptr);
            if (e.what == tables::DictEntry::Columns || e.what == tables::DictEntry::Nested ||
                e.what == tables::DictEntry::Mapping) {
                CHECK(tables::find_table(e.name) != nullptr);
            }
        }
    }
    return failures == 0 ? 0 : 1;
}
