// Property-set extraction after the shared table and index.
#include "extractors/psets.hpp"
#include "invariants.hpp"

using namespace quarnel;
using namespace quarnel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const EntityTable table = EntityTable::build(as_file(data, size));
    const GuidIndex guids = GuidIndex::build(table);
    const PsetColumns c = extract_property_sets(table, guids);
    const std::size_t n = c.guid.size();
    require(c.pset_name.size() == n && c.prop_name.size() == n && c.value.size() == n && c.value_type.size() == n);
    require_guids(c.text, c.guid);
    for (const TextColumn* column : {&c.pset_name, &c.prop_name, &c.value, &c.value_type}) {
        require_utf8(c.text, *column);
    }
    for (std::size_t i = 0; i < n; ++i) require(c.pset_name[i] != TextPool::null && c.prop_name[i] != TextPool::null);
    return 0;
}
