#include "tables/reads.hpp"

#include "mesh/emission.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"
#include "step/resident.hpp"

namespace quarnel::tables {
namespace {

// The extractor of each extractor pass, in Pass order.
template <Pass P>
void run_extractor(const EntityTable& table, const GuidIndex& guids, Reads& r) {
    auto& result = std::get<P>(r.results);
    const Instant t = Instant::now();
    if constexpr (P == kPsets) result.emplace(extract_property_sets(table, guids));
    if constexpr (P == kQuantities) result.emplace(extract_element_quantities(table, guids));
    if constexpr (P == kMaterials) result.emplace(extract_material_assignments(table, guids));
    if constexpr (P == kClassifications) result.emplace(extract_classification_links(table, guids));
    if constexpr (P == kProperties) result.emplace(extract_properties(table, guids));
    if constexpr (P == kElementQuantities) result.emplace(extract_element_quantity_rows(table, guids));
    if constexpr (P == kElements) result.emplace(extract_elements(table, guids));
    if constexpr (P == kRelations) result.emplace(extract_relations(table, guids));
    if constexpr (P == kAttributes) result.emplace(extract_attributes(table, AttributeScope::Objects));
    if constexpr (P == kMaterialNames) result.emplace(extract_material_names(table, guids));
    if constexpr (P == kAllAttributes) result.emplace(AllAttributeColumns{extract_attributes(table, AttributeScope::Everything)});
    r.ms[P] = ms_since(t);
}

template <std::size_t... P>
void run_extractors(const EntityTable& table, unsigned passes, Reads& r, std::index_sequence<P...>) {
    const Instant t = Instant::now();
    const GuidIndex guids = GuidIndex::build(table);
    r.guid_index_ms = ms_since(t);
    ((passes & bit(static_cast<Pass>(P)) ? run_extractor<static_cast<Pass>(P)>(table, guids, r) : void()), ...);
}

}  // namespace

Reads run_passes(std::string_view file, const ReadFacts& facts, unsigned passes) {
    Reads r;
    r.facts = facts;
    if (!(passes & (kExtractorPasses | bit(kDrift) | bit(kPlacements)))) {
        if (passes & bit(kIndex)) {
            const Instant t = Instant::now();
            std::get<kIndex>(r.results).emplace(index_model(file));
            r.ms[kIndex] = ms_since(t);
        }
        r.total_ms = ms_since(facts.start);
        return r;
    }
    Instant t = Instant::now();
    {
        // Lives only for the passes: the columns borrow the mapping, not the table.
        const EntityTable table = EntityTable::build(file);
        r.entity_table_ms = ms_since(t);
        // The scan has touched every page; the passes read only the records they want.
        if (facts.let_pages_go) ResidentTrail::drop_all(file);
        if (passes & kExtractorPasses) run_extractors(table, passes, r, std::make_index_sequence<kIndex>());
        if (passes & bit(kIndex)) {
            t = Instant::now();
            std::get<kIndex>(r.results).emplace(index_model(table));
            r.ms[kIndex] = ms_since(t);
        }
        if (passes & bit(kDrift)) {
            MeshEmission emission = emit_meshes(table);
            r.ms[kDrift] = emission.mesh_emission_ms;
            std::get<kDrift>(r.results).emplace(drift_columns(std::move(emission)));
        }
        if (passes & bit(kPlacements)) {
            t = Instant::now();
            std::get<kPlacements>(r.results).emplace(world_placements(table));
            r.ms[kPlacements] = ms_since(t);
        }
    }
    if (facts.let_pages_go) ResidentTrail::drop_all(file);
    r.total_ms = ms_since(facts.start);
    return r;
}

}  // namespace quarnel::tables
