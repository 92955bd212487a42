#include "extractors/materials.hpp"

#include "extractors/common.hpp"
#include "step/flat_map.hpp"

namespace quarnel {
namespace {

struct MaterialEntry {
    TextRef name;
    TextRef category;
};

struct LayerEntry {
    TextRef name;
    TextRef category;
    std::optional<std::uint64_t> material_id;
    std::optional<double> thickness;
};

// Name or category of a layer, falling back to its material's.
std::optional<std::string_view> layer_text(const TextArena& arena, const TextRef& own, const MaterialEntry* material,
                                           TextRef MaterialEntry::*field) {
    if (own.present) return arena.text(own);
    if (material) return arena.get(material->*field);
    return std::nullopt;
}

constexpr std::string_view kMaterial = "IFCMATERIAL";
constexpr std::string_view kList = "IFCMATERIALLIST";
constexpr std::string_view kLayer = "IFCMATERIALLAYER";
constexpr std::string_view kLayerSet = "IFCMATERIALLAYERSET";
constexpr std::string_view kUsage = "IFCMATERIALLAYERSETUSAGE";
constexpr std::string_view kRelation = "IFCRELASSOCIATESMATERIAL";
static_assert(kUsage.size() == kRelation.size());

}  // namespace

MaterialColumns extract_material_assignments(const EntityTable& table, const GuidIndex& guids) {
    IdMap<MaterialEntry> materials(3584);
    IdMap<LayerEntry> layers(7168);
    IdMap<IdSpan> layer_sets(896);
    IdMap<std::uint64_t> usages(896);  // usage -> its layer set
    IdMap<IdSpan> lists(448);
    std::vector<DefinitionLink> links;
    links.reserve(8192);
    std::vector<std::uint64_t> members;  // the ids of every layer set and list
    TextArena arena;
    Pieces pieces;
    pieces.reserve(12);
    std::vector<std::uint64_t> scratch;

    table.for_each([&](std::uint64_t id, const EntityRecord& r) {
        const std::size_t len = r.type_length;
        if (len != kMaterial.size() && len != kList.size() && len != kLayer.size() && len != kLayerSet.size() &&
            len != kRelation.size()) {
            return;
        }
        const std::string_view type = table.type_of(r);
        switch (len) {
            case kMaterial.size(): {
                if (!type_is(type, kMaterial)) return;
                split_attributes(table.entity(r).attributes, pieces);
                MaterialEntry entry;
                entry.name = arena.add_string(pieces[0]);
                if (pieces.size() >= 3) entry.category = arena.add_string(pieces[2]);
                materials[id] = entry;
                return;
            }
            case kList.size():
                if (!type_is(type, kList)) return;
                split_attributes(table.entity(r).attributes, pieces);
                lists[id] = append_id_list(pieces[0], members, scratch);
                return;
            case kLayer.size(): {
                if (!type_is(type, kLayer)) return;
                split_attributes(table.entity(r).attributes, pieces);
                LayerEntry entry;
                entry.material_id = ref_of(pieces[0]);
                if (pieces.size() >= 2) entry.thickness = real_of(pieces[1]);
                if (pieces.size() >= 4) entry.name = arena.add_string(pieces[3]);
                if (pieces.size() >= 6) entry.category = arena.add_string(pieces[5]);
                layers[id] = entry;
                return;
            }
            case kLayerSet.size():
                if (!type_is(type, kLayerSet)) return;
                split_attributes(table.entity(r).attributes, pieces);
                layer_sets[id] = append_id_list(pieces[0], members, scratch);
                return;
            default:  // the relation and the usage, of equal length
                if (type_is(type, kRelation)) {
                    split_attributes(table.entity(r).attributes, pieces);
                    append_links(pieces, 4, 5, links, scratch);
                } else if (type_is(type, kUsage)) {
                    split_attributes(table.entity(r).attributes, pieces);
                    if (const auto set = ref_of(pieces[0])) usages[id] = *set;
                }
                return;
        }
    });

    MaterialColumns out;
    auto row = [&](std::string_view guid, std::string_view role, std::int64_t index,
                   std::optional<std::string_view> name, std::optional<double> thickness,
                   std::optional<std::string_view> category) {
        out.guid.push(guid);
        out.role.push_back(role);
        out.layer_index.push_back(index);
        out.material_name.push(name);
        out.layer_thickness.push_back(thickness);
        out.category.push(category);
    };

    for (const DefinitionLink& link : links) {
        const auto guid = guids.guid_of(link.object);
        if (!guid) continue;
        std::uint64_t m = link.definition;
        if (const MaterialEntry* material = materials.find(m)) {
            row(*guid, "direct", -1, arena.get(material->name), std::nullopt, arena.get(material->category));
            continue;
        }
        if (const IdSpan* list = lists.find(m)) {
            if (list->count == 0 || materials.size() == 0) continue;
            for (std::uint32_t i = 0; i < list->count; ++i) {
                const MaterialEntry* material = materials.find(members[list->first + i]);
                if (!material) continue;
                row(*guid, "list", i, arena.get(material->name), std::nullopt, arena.get(material->category));
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
                const MaterialEntry* material = layer->material_id ? materials.find(*layer->material_id) : nullptr;
                row(*guid, "layer", i, layer_text(arena, layer->name, material, &MaterialEntry::name),
                    layer->thickness, layer_text(arena, layer->category, material, &MaterialEntry::category));
            }
            continue;
        }
        row(*guid, "unknown", -1, std::nullopt, std::nullopt, std::nullopt);
    }
    return out;
}

}  // namespace quarnel
