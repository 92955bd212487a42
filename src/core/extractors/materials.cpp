#include "extractors/materials.hpp"

#include "extractors/common.hpp"
#include "step/flat_map.hpp"

#include <array>
#include <tuple>

namespace quarnel {
namespace {

struct MaterialEntry {
    std::uint32_t name = kNull;
    std::uint32_t category = kNull;
    static constexpr std::array kTexts{&MaterialEntry::name, &MaterialEntry::category};
};

struct LayerEntry {
    std::uint32_t name = kNull;
    std::uint32_t category = kNull;
    std::optional<std::uint64_t> material_id;
    std::optional<double> thickness;
    static constexpr std::array kTexts{&LayerEntry::name, &LayerEntry::category};
};

constexpr std::string_view kMaterial = "IFCMATERIAL";
constexpr std::string_view kList = "IFCMATERIALLIST";
constexpr std::string_view kLayer = "IFCMATERIALLAYER";
constexpr std::string_view kLayerSet = "IFCMATERIALLAYERSET";
constexpr std::string_view kUsage = "IFCMATERIALLAYERSETUSAGE";
constexpr std::string_view kRelation = "IFCRELASSOCIATESMATERIAL";
static_assert(kUsage.size() == kRelation.size());

// What one part of the records holds, with text ids into its own pool.
struct MaterialPart {
    TextPool pool;
    IdMap<MaterialEntry> materials{3584};
    IdMap<LayerEntry> layers{7168};
    IdMap<IdSpan> layer_sets{896};
    IdMap<std::uint64_t> usages{896};  // usage -> its layer set
    IdMap<IdSpan> lists{448};
    std::vector<DefinitionLink> links;
    std::vector<std::uint64_t> members;  // the ids of every layer set and list

    auto maps() { return std::tie(materials, layers, layer_sets, usages, lists); }
};

void read_part(const EntityTable& table, std::size_t begin, std::size_t end, MaterialPart& part) {
    TextPool& pool = part.pool;
    Attributes record;
    std::vector<std::uint64_t> scratch;
    auto text_at = [&](std::size_t i) {
        const auto piece = record.at(i);
        return piece ? pool_string(pool, *piece).value_or(kNull) : kNull;
    };

    static constexpr TypeFilter kTypes{kMaterial, kList, kLayer, kLayerSet, kRelation, kUsage};
    table.for_each_in(begin, end, kTypes, [&](std::uint64_t id, const EntityRecord& r) {
        const std::size_t len = r.type_length;
        if (len != kMaterial.size() && len != kList.size() && len != kLayer.size() && len != kLayerSet.size() &&
            len != kRelation.size()) {
            return;
        }
        const std::string_view type = table.type_of(r);
        switch (len) {
            case kMaterial.size():
                if (!type_is(type, kMaterial)) return;
                record.reset(table.entity(r).attributes);
                part.materials[id] = MaterialEntry{text_at(0), text_at(2)};
                return;
            case kList.size():
                if (!type_is(type, kList)) return;
                record.reset(table.entity(r).attributes);
                part.lists[id] = append_id_list(record.at(0), part.members, scratch);
                return;
            case kLayer.size(): {
                if (!type_is(type, kLayer)) return;
                record.reset(table.entity(r).attributes);
                LayerEntry entry;
                entry.material_id = record.ref(0);
                entry.thickness = record.number(1);
                entry.name = text_at(3);
                entry.category = text_at(5);
                part.layers[id] = entry;
                return;
            }
            case kLayerSet.size():
                if (!type_is(type, kLayerSet)) return;
                record.reset(table.entity(r).attributes);
                part.layer_sets[id] = append_id_list(record.at(0), part.members, scratch);
                return;
            default:  // the relation and the usage, of equal length
                if (type_is(type, kRelation)) {
                    record.reset(table.entity(r).attributes);
                    append_links(record, 4, 5, part.links, scratch);
                } else if (type_is(type, kUsage)) {
                    record.reset(table.entity(r).attributes);
                    if (const auto set = record.ref(0)) part.usages[id] = *set;
                }
                return;
        }
    });
}

}  // namespace

MaterialColumns extract_material_assignments(const EntityTable& table, const GuidIndex& guids, const PartPlan& plan) {
    MaterialColumns out;
    MaterialPart all = read_merged<MaterialPart>(table, plan, read_part);
    out.text = std::move(all.pool);
    TextPool& pool = out.text;
    const auto& materials = all.materials;
    const auto& layers = all.layers;
    const auto& layer_sets = all.layer_sets;
    const auto& usages = all.usages;
    const auto& lists = all.lists;
    const auto& links = all.links;
    const auto& members = all.members;

    const std::uint32_t direct = pool.add_view("direct");
    const std::uint32_t layer_role = pool.add_view("layer");
    const std::uint32_t list_role = pool.add_view("list");
    const std::uint32_t unknown = pool.add_view("unknown");
    auto row = [&](std::uint32_t guid, std::uint32_t role, std::int64_t index, std::uint32_t name,
                   std::optional<double> thickness, std::uint32_t category) {
        out.guid.push_back(guid);
        out.role.push_back(role);
        out.layer_index.push_back(index);
        out.material_name.push_back(name);
        out.layer_thickness.push_back(thickness);
        out.category.push_back(category);
    };

    GuidTexts guid_texts(table, guids, pool);
    for (const DefinitionLink& link : links) {
        const std::uint32_t guid = guid_texts.of(link.object);
        if (guid == kNull) continue;
        std::uint64_t m = link.definition;
        if (const MaterialEntry* material = materials.find(m)) {
            row(guid, direct, -1, material->name, std::nullopt, material->category);
            continue;
        }
        if (const IdSpan* list = lists.find(m)) {
            if (list->count == 0 || materials.size() == 0) continue;
            for (std::uint32_t i = 0; i < list->count; ++i) {
                const MaterialEntry* material = materials.find(members[list->first + i]);
                if (!material) continue;
                row(guid, list_role, i, material->name, std::nullopt, material->category);
            }
            continue;
        }
        // A usage leads to its layer set, one step only: a usage naming another
        // usage ends as "unknown" below.
        if (const std::uint64_t* set_id = usages.find(m)) m = *set_id;
        if (const IdSpan* set = layer_sets.find(m)) {
            if (set->count == 0 || layers.size() == 0) continue;
            for (std::uint32_t i = 0; i < set->count; ++i) {
                const LayerEntry* layer = layers.find(members[set->first + i]);
                if (!layer) continue;
                // The layer's own name and category first, then its material's.
                const MaterialEntry* material = layer->material_id ? materials.find(*layer->material_id) : nullptr;
                const MaterialEntry fallback = material ? *material : MaterialEntry{};
                row(guid, layer_role, i, layer->name != kNull ? layer->name : fallback.name, layer->thickness,
                    layer->category != kNull ? layer->category : fallback.category);
            }
            continue;
        }
        row(guid, unknown, -1, kNull, std::nullopt, kNull);
    }
    return out;
}

}  // namespace quarnel
