// Element-quantity extraction after the shared table and index.
#include "extractors/quantities.hpp"
#include "invariants.hpp"

using namespace quarnel;
using namespace quarnel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const EntityTable table = EntityTable::build(as_file(data, size));
    const GuidIndex guids = GuidIndex::build(table);
    const QtoColumns c = extract_element_quantities(table, guids);
    const std::size_t n = c.guid.size();
    require(c.qto_name.size() == n && c.quantity_name.size() == n && c.value.size() == n &&
            c.quantity_type.size() == n && c.unit_step_id.size() == n);
    require_guids(c.guid);
    require_utf8(c.qto_name);
    require_utf8(c.quantity_name);
    require_utf8(c.value);
    for (const auto label : c.quantity_type) require(is_valid_utf8(label) && !label.empty());
    return 0;
}
