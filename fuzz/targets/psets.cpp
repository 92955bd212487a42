// Property-set extraction after the shared table and index.
#include "extractors/psets.hpp"
#include "invariants.hpp"

using namespace quarnel;
using namespace quarnel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const PsetColumns c = extract_then_drop(data, size, extract_property_sets);
    const std::size_t n = c.guid.size();
    require(c.pset_name.size() == n && c.prop_name.size() == n && c.value.size() == n && c.value_type.size() == n);
    require_guids(c.text, c.guid);
    for (const TextColumn* column : {&c.pset_name, &c.prop_name, &c.value, &c.value_type}) {
        require_utf8(c.text, *column);
    }
    for (std::size_t i = 0; i < n; ++i) require(c.pset_name[i] != TextPool::null && c.prop_name[i] != TextPool::null);
    return 0;
}
