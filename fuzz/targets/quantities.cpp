// Element-quantity extraction after the shared table and index.
#include "extractors/quantities.hpp"
#include "invariants.hpp"

using namespace quarnel;
using namespace quarnel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QtoColumns c = extract_then_drop(
        data, size, [](const EntityTable& t, const GuidIndex& g) { return extract_element_quantities(t, g, kSmallParts); });
    const std::size_t n = c.guid.size();
    require(c.qto_name.size() == n && c.quantity_name.size() == n && c.value.size() == n &&
            c.quantity_type.size() == n && c.unit_step_id.size() == n);
    require_guids(c.text, c.guid);
    for (const TextColumn* column : {&c.qto_name, &c.quantity_name, &c.value, &c.quantity_type}) {
        require_utf8(c.text, *column);
    }
    for (const std::uint32_t t : c.quantity_type) require(t != TextPool::null && !c.text[t].empty());
    return 0;
}
