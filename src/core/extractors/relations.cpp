#include "extractors/relations.hpp"

#include <bitset>
#include <iterator>
#include <memory>

#include "extractors/common.hpp"
#include "extractors/definition_join.hpp"

namespace quarnel {
namespace {

// Where a relationship names its two sides; the relating side is one reference, the related
// side one reference or a list of them. The positions are the same in IFC2X3, IFC4 and IFC4X3.
struct RelationKind {
    std::string_view type;  // upper case
    std::uint8_t relating;
    std::uint8_t related;
    bool ordered = false;  // the related objects form a LIST
};

constexpr RelationKind kKinds[] = {
    {"IFCRELAGGREGATES", 4, 5},
    {"IFCRELNESTS", 4, 5, true},
    {"IFCRELCONTAINEDINSPATIALSTRUCTURE", 5, 4},
    {"IFCRELREFERENCEDINSPATIALSTRUCTURE", 5, 4},
    {"IFCRELASSIGNSTOGROUP", 6, 4},
    {"IFCRELASSIGNSTOGROUPBYFACTOR", 6, 4},
    {"IFCRELASSIGNSTOPRODUCT", 6, 4},
    {"IFCRELASSIGNSTOPROCESS", 6, 4},
    {"IFCRELASSIGNSTOCONTROL", 6, 4},
    {"IFCRELASSIGNSTOACTOR", 6, 4},
    {"IFCRELASSIGNSTORESOURCE", 6, 4},
    {"IFCRELVOIDSELEMENT", 4, 5},
    {"IFCRELFILLSELEMENT", 4, 5},
    {"IFCRELPROJECTSELEMENT", 4, 5},
    {"IFCRELDEFINESBYTYPE", 5, 4},
    {"IFCRELDEFINESBYOBJECT", 5, 4},
    {"IFCRELDECLARES", 4, 5},
    {"IFCRELCONNECTSPORTTOELEMENT", 4, 5},
    {"IFCRELCONNECTSPORTS", 4, 5},
    {"IFCRELCONNECTSELEMENTS", 5, 6},
    {"IFCRELCONNECTSPATHELEMENTS", 5, 6},
    {"IFCRELCONNECTSWITHREALIZINGELEMENTS", 5, 6},
    {"IFCRELSERVICESBUILDINGS", 4, 5},
    {"IFCRELCOVERSBLDGELEMENTS", 4, 5},
    {"IFCRELCOVERSSPACES", 4, 5},
    {"IFCRELFLOWCONTROLELEMENTS", 5, 4},
    {"IFCRELSEQUENCE", 4, 5},
    {"IFCRELPOSITIONS", 4, 5},
    {"IFCRELADHERESTOELEMENT", 4, 5},
};

bool admitted(std::uint16_t tag) {
    static const std::unique_ptr<std::bitset<65536>> tags = [] {
        auto bits = std::make_unique<std::bitset<65536>>();
        for (const RelationKind& k : kKinds) bits->set(type_tag(k.type));
        return bits;
    }();
    return (*tags)[tag];
}

const RelationKind* kind_of(std::string_view type) {
    for (const RelationKind& k : kKinds) {
        if (k.type.size() == type.size() && type_is(type, k.type)) return &k;
    }
    return nullptr;
}

struct RelationPart {
    TextPool pool;
    RelationColumns rows;
};

void read_part(const EntityTable& table, const GuidIndex& guids, std::size_t begin, std::size_t end,
               RelationPart& part) {
    TextPool& pool = part.pool;
    RelationColumns& out = part.rows;
    GuidTexts guid_texts(table, guids, pool);
    EntityTexts entities(table, pool);
    Attributes record;
    std::vector<std::uint64_t> related;
    const auto admits = [](std::uint16_t tag) { return admitted(tag); };
    table.for_each_in(begin, end, admits, [&](std::uint64_t id, const EntityRecord& r) {
        const std::string_view type = table.type_of(r);
        const RelationKind* kind = kind_of(type);
        if (!kind) return;
        record.reset(table.entity(r).attributes);
        const auto relating = record.ref(kind->relating);
        if (!relating) return;
        const std::uint32_t relating_guid = guid_texts.of(*relating);
        if (relating_guid == kNull) return;
        related_objects(record.piece(kind->related), related);
        if (related.empty()) return;
        const auto relating_entity = entities.of(*relating);
        const std::uint32_t relation = entities.at(table.index_of(id)).text;
        const std::uint32_t relation_guid = guid_texts.of(id);
        for (std::size_t i = 0; i < related.size(); ++i) {
            const std::uint32_t related_guid = guid_texts.of(related[i]);
            if (related_guid == kNull) continue;
            out.relation.push_back(relation);
            out.relating_guid.push_back(relating_guid);
            out.relating_entity.push_back(relating_entity ? relating_entity->text : kNull);
            out.related_guid.push_back(related_guid);
            const auto related_entity = entities.of(related[i]);
            out.related_entity.push_back(related_entity ? related_entity->text : kNull);
            out.relation_guid.push_back(relation_guid);
            out.index.push_back(kind->ordered ? std::optional<std::uint64_t>(i) : std::nullopt);
        }
    });
}

void append_shifted(TextColumn& into, const TextColumn& from, std::uint32_t offset) {
    into.reserve(into.size() + from.size());
    for (const std::uint32_t id : from) into.push_back(shifted(id, offset));
}

}  // namespace

RelationColumns extract_relations(const EntityTable& table, const GuidIndex& guids, const PartPlan& plan) {
    std::vector<RelationPart> parts = read_parts<RelationPart>(
        table, plan, [&](const EntityTable& t, std::size_t begin, std::size_t end, RelationPart& part) {
            read_part(t, guids, begin, end, part);
        });
    const std::vector<std::uint32_t> offsets = merge_part_texts(parts[0].pool, parts);
    RelationColumns out = std::move(parts[0].rows);
    out.text = std::move(parts[0].pool);
    for (std::size_t k = 1; k < parts.size(); ++k) {
        const RelationColumns& rows = parts[k].rows;
        const std::uint32_t offset = offsets[k];
        using R = RelationColumns;
        for (auto column : {&R::relation, &R::relating_guid, &R::relating_entity, &R::related_guid, &R::related_entity,
                            &R::relation_guid}) {
            append_shifted(out.*column, rows.*column, offset);
        }
        out.index.insert(out.index.end(), rows.index.begin(), rows.index.end());
    }
    return out;
}

}  // namespace quarnel
