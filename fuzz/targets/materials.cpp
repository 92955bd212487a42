// Material-assignment extraction after the shared table and index.
#include "extractors/materials.hpp"
#include "invariants.hpp"

using namespace quarnel;
using namespace quarnel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const EntityTable table = EntityTable::build(as_file(data, size));
    const GuidIndex guids = GuidIndex::build(table);
    const MaterialColumns c = extract_material_assignments(table, guids);
    const std::size_t n = c.guid.size();
    require(c.role.size() == n && c.layer_index.size() == n && c.material_name.size() == n &&
            c.layer_thickness.size() == n && c.category.size() == n);
    require_guids(c.guid);
    require_utf8(c.material_name);
    require_utf8(c.category);
    for (std::size_t i = 0; i < n; ++i) {
        require(c.role[i] == "direct" || c.role[i] == "layer" || c.role[i] == "list" || c.role[i] == "unknown");
        require(c.layer_index[i] >= -1);
    }
    return 0;
}
