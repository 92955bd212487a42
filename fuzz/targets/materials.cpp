// Material-assignment extraction after the shared table and index.
#include "extractors/materials.hpp"
#include "invariants.hpp"

using namespace quarnel;
using namespace quarnel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const MaterialColumns c = extract_then_drop(
        data, size, [](const EntityTable& t, const GuidIndex& g) { return extract_material_assignments(t, g, kSmallParts); });
    const std::size_t n = c.guid.size();
    require(c.role.size() == n && c.layer_index.size() == n && c.material_name.size() == n &&
            c.layer_thickness.size() == n && c.category.size() == n);
    require_guids(c.text, c.guid);
    require_utf8(c.text, c.material_name);
    require_utf8(c.text, c.category);
    for (std::size_t i = 0; i < n; ++i) {
        require(c.role[i] != TextPool::null && c.role[i] < c.text.size());
        const std::string_view role = c.text[c.role[i]];
        require(role == "direct" || role == "layer" || role == "list" || role == "unknown");
        require(c.layer_index[i] >= -1);
    }
    return 0;
}
