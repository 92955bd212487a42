// Property-set extraction after the shared table and index. The columns may
// borrow only the file bytes: the table and the index are dropped before the
// texts are read, as the Python frame does before marshalling.
#include <memory>

#include "extractors/psets.hpp"
#include "invariants.hpp"

using namespace quarnel;
using namespace quarnel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto table = std::make_unique<EntityTable>(EntityTable::build(as_file(data, size)));
    auto guids = std::make_unique<GuidIndex>(GuidIndex::build(*table));
    const PsetColumns c = extract_property_sets(*table, *guids);
    guids.reset();
    table.reset();
    const std::size_t n = c.guid.size();
    require(c.pset_name.size() == n && c.prop_name.size() == n && c.value.size() == n && c.value_type.size() == n);
    require_guids(c.text, c.guid);
    for (const TextColumn* column : {&c.pset_name, &c.prop_name, &c.value, &c.value_type}) {
        require_utf8(c.text, *column);
    }
    for (std::size_t i = 0; i < n; ++i) require(c.pset_name[i] != TextPool::null && c.prop_name[i] != TextPool::null);
    return 0;
}
