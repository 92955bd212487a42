// The model index: its own forward pass over the whole file.
#include "indexer/model_index.hpp"
#include "invariants.hpp"

using namespace quarnel;
using namespace quarnel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ModelIndex m = index_model(as_file(data, size));
    require(is_valid_utf8(m.schema));
    if (m.project_name) require(is_valid_utf8(*m.project_name));
    if (m.authoring_app) require(is_valid_utf8(*m.authoring_app));

    const ProductColumns& p = m.products;
    const std::size_t n = p.step_id.size();
    require(p.guid.size() == n && p.entity.size() == n && p.name.size() == n && p.predefined_type.size() == n &&
            p.object_type.size() == n && p.tag.size() == n);
    require_utf8(p.guid);
    for (const StringColumn* column : {&p.name, &p.predefined_type, &p.object_type, &p.tag}) require_utf8(*column);
    std::uint64_t counted = 0;
    for (const TypeCount& t : m.type_counts) {
        require(is_valid_utf8(t.entity) && t.count > 0);
        counted += t.count;
    }
    require(counted == n);

    const StoreyColumns& s = m.storeys;
    const std::size_t k = s.step_id.size();
    require(s.guid.size() == k && s.name.size() == k && s.elevation.size() == k && s.building_step_id.size() == k);
    require_utf8(s.guid);
    require_utf8(s.name);
    for (const IdPairs* pairs : {&m.contained_in, &m.aggregates, &m.storey_building}) {
        require(pairs->first.size() == pairs->second.size());
    }
    for (const GuidMap* map : {&m.sites, &m.buildings, &m.projects, &m.spaces}) {
        map->for_each([](std::uint64_t, std::string_view guid) { require(is_valid_utf8(guid)); });
    }
    return 0;
}
