#include "extractors/elements.hpp"

#include "extractors/definition_join.hpp"
#include "extractors/object_links.hpp"

namespace quarnel {
namespace {

// Steps up the spatial structure before the walk gives up: real models are a
// handful of levels deep, and a cycle of parents must not hold the walk.
constexpr int kMaxSteps = 64;

// The text of a String attribute at `index`, null where there is none.
std::uint32_t text_at(TextPool& pool, Attributes& record, std::size_t index) {
    return pool_string(pool, record.piece(index)).value_or(kNull);
}

// The last attribute with a value, when it is an enumeration: the
// predefined type of the products that have one.
std::uint32_t predefined_type(TextPool& pool, Attributes& record) {
    for (std::size_t i = record.size(); i-- > 0;) {
        const std::string_view t = *record.at(i);
        if (value::is_unset(t)) continue;
        const auto e = value::enumeration(t);
        return e && is_valid_utf8(*e) ? pool.add_view(*e) : kNull;
    }
    return kNull;
}

}  // namespace

ElementColumns extract_elements(const EntityTable& table, const GuidIndex& guids) {
    ElementColumns out;
    TextPool& pool = out.text;
    pool.share_equal_texts();
    const ObjectLinks links = read_object_links(table, kTypeLinks | kPlaceLinks);
    GuidTexts guid_texts(table, guids, pool);
    EntityTexts entities(table, pool);
    Attributes product;

    const auto type_of_record = [&](std::uint64_t id) {
        const auto e = table.get(id);
        return e ? e->type : std::string_view();
    };
    const auto name_of = [&](std::uint64_t id) {
        const auto e = table.get(id);
        if (!e) return kNull;
        Attributes named(e->attributes);
        return text_at(pool, named, 2);
    };

    const auto& records = table.records();
    for (std::uint32_t r = 0; r < records.size(); ++r) {
        if (!entities.has(r, kProduct) || !table.is_live(r)) continue;
        const bool element = entities.has(r, kElement);
        const std::uint64_t id = records[r].id;
        const std::uint32_t guid = guid_texts.of(id);
        if (guid == kNull) continue;
        product.reset(table.entity(records[r]).attributes);
        out.guid.push_back(guid);
        out.entity.push_back(entities.at(r).text);
        out.name.push_back(text_at(pool, product, 2));
        out.description.push_back(text_at(pool, product, 3));
        out.object_type.push_back(text_at(pool, product, 4));
        out.tag.push_back(element ? text_at(pool, product, 7) : kNull);
        out.predefined_type.push_back(predefined_type(pool, product));

        const std::uint64_t* type = links.type_of.find(id);
        const auto type_entity = type ? entities.of(*type) : std::nullopt;
        out.type_guid.push_back(type ? guid_texts.of(*type) : kNull);
        out.type_entity.push_back(type_entity ? type_entity->text : kNull);
        out.type_name.push_back(type_entity ? name_of(*type) : kNull);

        // Up from the element: its container where one says, else its parent.
        std::uint64_t storey = 0, building = 0, site = 0;
        bool has_storey = false, has_building = false, has_site = false;
        std::uint64_t node = id;
        for (int step = 0; step < kMaxSteps && !(has_storey && has_building && has_site); ++step) {
            const std::uint64_t* up = links.container_of.find(node);
            if (!up) up = links.parent_of.find(node);
            if (!up) break;
            node = *up;
            const std::string_view type_name = type_of_record(node);
            if (!has_storey && type_is(type_name, "IFCBUILDINGSTOREY")) storey = node, has_storey = true;
            if (!has_building && type_is(type_name, "IFCBUILDING")) building = node, has_building = true;
            if (!has_site && type_is(type_name, "IFCSITE")) site = node, has_site = true;
        }
        out.storey_guid.push_back(has_storey ? guid_texts.of(storey) : kNull);
        out.storey_name.push_back(has_storey ? name_of(storey) : kNull);
        out.building_guid.push_back(has_building ? guid_texts.of(building) : kNull);
        out.site_guid.push_back(has_site ? guid_texts.of(site) : kNull);
    }
    return out;
}

}  // namespace quarnel
