// Quantities of every object, those of its type and the members of complex
// quantities included, with their units.
#include "extractors/element_quantities.hpp"
#include "extractors/property_values.hpp"
#include "invariants.hpp"

using namespace quarnel;
using namespace quarnel::fuzz;

namespace {
constexpr std::string_view kQuantityTypes[] = {"Length", "Area", "Volume", "Count", "Weight", "Time"};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ElementQuantityColumns c = extract_then_drop(data, size, extract_element_quantity_rows);
    const TextPool& pool = c.text;
    const std::size_t n = c.size();
    for (const TextColumn* column : {&c.entity, &c.qto_name, &c.quantity_name, &c.value, &c.quantity_type, &c.unit,
                                     &c.source, &c.type_guid}) {
        require(column->size() == n);
        require_utf8(pool, *column);
    }
    require(c.number.size() == n);
    require_guids(pool, c.guid);
    require_guids_or_null(pool, c.type_guid);
    require_labels(pool, c.quantity_type, kQuantityTypes);
    require_labels(pool, c.source, kSourceLabels);
    for (std::size_t i = 0; i < n; ++i) {
        text_of(pool, c.entity[i]);
        text_of(pool, c.qto_name[i]);
        text_of(pool, c.quantity_name[i]);
        if (text_of(pool, c.source[i]) == "occurrence") require(c.type_guid[i] == TextPool::null);
        if (c.number[i]) require(c.value[i] != TextPool::null);
    }
    return 0;
}
