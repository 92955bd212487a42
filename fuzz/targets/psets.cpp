// Property-set extraction after the shared table and index.
#include "extractors/psets.hpp"
#include "invariants.hpp"

using namespace quarnel;
using namespace quarnel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const PsetColumns c = extract_then_drop(
        data, size, [](const EntityTable& t, const GuidIndex& g) { return extract_property_sets(t, g, kSmallParts); });
    const std::size_t n = c.guid.size();
    require(c.pset_name.size() == n && c.prop_name.size() == n && c.value.size() == n && c.value_type.size() == n);
    require_guids(c.text, c.guid);
    for (const TextColumnParts* column : {&c.pset_name, &c.prop_name, &c.value, &c.value_type}) {
        require_utf8(c.text, *column);
    }
    for (std::size_t k = 0; k < c.guid.parts.size(); ++k) {
        const std::size_t rows = c.guid.parts[k].size();
        require(c.pset_name.parts[k].size() == rows && c.prop_name.parts[k].size() == rows &&
                c.value.parts[k].size() == rows && c.value_type.parts[k].size() == rows);
        for (std::size_t i = 0; i < rows; ++i) {
            require(c.pset_name.parts[k][i] != TextPool::null && c.prop_name.parts[k][i] != TextPool::null);
        }
    }
    return 0;
}
