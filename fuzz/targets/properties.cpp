// Properties of every object, those inherited from its type and the members
// of complex properties included.
#include "extractors/properties.hpp"
#include "extractors/property_values.hpp"
#include "invariants.hpp"

using namespace quarnel;
using namespace quarnel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const PropertyColumns c = extract_then_drop(data, size, extract_properties);
    const TextPool& pool = c.text;
    const std::size_t n = c.size();
    for (const TextColumn* column : {&c.entity, &c.pset_name, &c.prop_name, &c.value, &c.value_type, &c.type_guid,
                                     &c.kind, &c.role, &c.source}) {
        require(column->size() == n);
        require_utf8(pool, *column);
    }
    require(c.number.size() == n && c.value_index.size() == n);
    require_guids(pool, c.guid);
    require_guids_or_null(pool, c.type_guid);
    require_labels(pool, c.kind, kPropertyKindLabels);
    require_labels(pool, c.role, kValueRoleLabels, true);
    require_labels(pool, c.source, kSourceLabels);
    for (std::size_t i = 0; i < n; ++i) {
        text_of(pool, c.entity[i]);
        text_of(pool, c.pset_name[i]);
        text_of(pool, c.prop_name[i]);
        // Only a type's rows name the type.
        if (text_of(pool, c.source[i]) == "occurrence") require(c.type_guid[i] == TextPool::null);
        // A number is read from a value, which is then shown.
        if (c.number[i]) require(c.value[i] != TextPool::null);
        // Positions belong to lists, enumerations and tables; roles to bounds and tables.
        const std::string_view kind = text_of(pool, c.kind[i]);
        if (c.value_index[i]) {
            require(kind == "list" || kind == "enumerated" || kind == "table" || kind == "complex");
        }
        if (c.role[i] != TextPool::null) {
            const std::string_view role = pool[c.role[i]];
            const bool bound = role == "lower" || role == "upper" || role == "set point";
            require(kind == "complex" || kind == (bound ? "bounded" : "table"));
        }
    }
    return 0;
}
