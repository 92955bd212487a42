// EntityTable and GuidIndex over a whole file.
#include "invariants.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"
#include "step/values.hpp"

using namespace quarnel;
using namespace quarnel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file = as_file(data, size);
    const EntityTable table = EntityTable::build(file);
    const GuidIndex guids = GuidIndex::build(table);

    std::size_t live = 0;
    Attributes record;
    table.for_each([&](std::uint64_t id, const EntityRecord& r) {
        ++live;
        const Entity e = table.entity(r);
        require_inside(file, e.type);
        require_inside(file, e.attributes);
        require(!e.type.empty());
        const auto again = table.get(id);
        require(again && again->type.data() == e.type.data() && again->attributes.data() == e.attributes.data());
        // Present exactly for IFC* instances whose first attribute is a 22-byte string.
        record.reset(e.attributes);
        const auto first = value::text(*record.at(0));
        const bool qualifies = e.type.size() >= 3 && e.type.substr(0, 3) == "IFC" && first && first->size() == 22;
        const auto g = guids.guid_of(id);
        require(qualifies == g.has_value());
        if (g) require(*g == *first);
    });
    require(live == table.size());
    return 0;
}
