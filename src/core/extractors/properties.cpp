#include "extractors/properties.hpp"

#include "extractors/definition_join.hpp"
#include "extractors/object_links.hpp"
#include "extractors/property_values.hpp"

namespace quarnel {

PropertyColumns extract_properties(const EntityTable& table, const GuidIndex& guids) {
    PropertyColumns out;
    TextPool& pool = out.text;
    pool.share_equal_texts();  // equal names get equal ids: overrides compare ids
    ObjectLinks links = read_object_links(table, kDefinitionLinks | kTypeLinks);
    PropertyRenderer render(table, pool);

    // Each property set is rendered once, however many objects share it.
    std::vector<ValueRow> rows;
    IdMap<SetRows> sets(1024);
    std::vector<std::uint64_t> members;
    const auto set_of = [&](std::uint64_t id) {
        if (const SetRows* known = sets.find(id)) return *known;
        SetRows s;
        const auto e = table.get(id);
        if (e && type_is(e->type, "IFCPROPERTYSET")) {
            Pieces pieces;
            split_attributes(e->attributes, pieces);
            s.valid = true;
            s.name = pieces.size() >= 3 ? pool_string(pool, pieces[2]).value_or(render.empty()) : render.empty();
            s.first = static_cast<std::uint32_t>(rows.size());
            if (pieces.size() >= 5) {
                if (const auto list = list_of(pieces[4])) reference_list(*list, members);
                else members.clear();
                for (const std::uint64_t m : members) render.append(m, rows);
            }
            s.count = static_cast<std::uint32_t>(rows.size() - s.first);
        }
        sets[id] = s;
        return s;
    };
    const auto top_name = [&](std::uint32_t i) { return rows[i].top_name; };
    join_definitions(table, guids, links, pool, set_of, top_name,
                     [&](std::uint32_t guid, std::uint32_t entity, std::uint32_t set_name, std::uint32_t i,
                         ValueSource source, std::uint32_t type_guid) {
                         const ValueRow& r = rows[i];
                         out.guid.push_back(guid);
                         out.entity.push_back(entity);
                         out.pset_name.push_back(set_name);
                         out.prop_name.push_back(r.name);
                         out.value.push_back(r.value);
                         out.value_type.push_back(r.value_type);
                         out.type_guid.push_back(type_guid);
                         out.number.push_back(r.number);
                         out.has_number.push_back(r.has_number);
                         out.kind.push_back(static_cast<std::uint8_t>(r.kind));
                         out.role.push_back(static_cast<std::uint8_t>(r.role));
                         out.source.push_back(static_cast<std::uint8_t>(source));
                         out.value_index.push_back(r.index);
                     });
    return out;
}

}  // namespace quarnel
