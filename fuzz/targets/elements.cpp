// One row per product: its type object and where it stands.
#include "extractors/elements.hpp"
#include "invariants.hpp"

using namespace quarnel;
using namespace quarnel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ElementColumns c = extract_then_drop(data, size, extract_elements);
    const TextPool& pool = c.text;
    const std::size_t n = c.size();
    for (const TextColumn* column : {&c.entity, &c.name, &c.description, &c.object_type, &c.tag, &c.predefined_type,
                                     &c.type_guid, &c.type_entity, &c.type_name, &c.storey_guid, &c.storey_name,
                                     &c.building_guid, &c.site_guid}) {
        require(column->size() == n);
        require_utf8(pool, *column);
    }
    require_guids(pool, c.guid);
    for (const TextColumn* column : {&c.type_guid, &c.storey_guid, &c.building_guid, &c.site_guid}) {
        require_guids_or_null(pool, *column);
    }
    for (std::size_t i = 0; i < n; ++i) {
        text_of(pool, c.entity[i]);
        // A type's name is read from the type found.
        if (c.type_name[i] != TextPool::null) require(c.type_entity[i] != TextPool::null);
        if (c.type_guid[i] != TextPool::null) require(c.type_entity[i] != TextPool::null);
    }
    return 0;
}
