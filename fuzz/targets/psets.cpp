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
    require_guids(c.guid);
    require_utf8(c.pset_name);
    require_utf8(c.prop_name);
    require_utf8(c.value);
    require_utf8(c.value_type);
    return 0;
}
