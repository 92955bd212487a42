#include "indexer/pass.hpp"
#include "step/values.hpp"

namespace quarnel {
namespace {

// The elevation is the last attribute that is neither unset nor an
// enumeration, when it is a number.
std::optional<double> trailing_number(Attributes& record) {
    for (std::size_t i = record.size(); i-- > 0;) {
        const std::string_view p = *record.at(i);
        if (value::is_unset(p) || value::enumeration(p)) continue;
        return value::number(p);
    }
    return std::nullopt;
}

}  // namespace

void IndexPass::storey(const InstanceHeader& h) {
    if (!record_.is_string(0)) return;
    auto& c = out_.storeys;
    c.step_id.push_back(h.id);
    push_text(c.guid, 0);
    push_text(c.name, 2);
    c.elevation.push_back(trailing_number(record_));
    c.building_step_id.push_back(std::nullopt);
}

void IndexPass::spatial_guid(const InstanceHeader& h, GuidMap& map) {
    if (const auto guid = record_.text(0, scratch_)) map.insert(h.id, guid->text);
}

// RelatingObject at 4 (a reference), RelatedObjects at 5 (a list).
void IndexPass::aggregation() {
    if (!record_.has(6)) return;
    const auto parent = record_.ref(4);
    const auto children = record_.list(5);
    if (!parent || !children) return;
    reference_list(*children, refs_);
    for (const std::uint64_t child : refs_) out_.aggregates.push(child, *parent);
}

// RelatedElements at 4 (a list), RelatingStructure at 5 (a reference).
void IndexPass::containment() {
    if (!record_.has(6)) return;
    const auto children = record_.list(4);
    const auto structure = record_.ref(5);
    if (!children || !structure) return;
    reference_list(*children, refs_);
    for (const std::uint64_t child : refs_) out_.contained_in.push(child, *structure);
}

// Every part aggregated directly under a reported building, storey or not.
void IndexPass::link_storeys_to_buildings() {
    const IdPairs& agg = out_.aggregates;
    if (agg.size() == 0 || out_.buildings.empty()) return;
    for (std::size_t i = 0; i < agg.size(); ++i) {
        if (out_.buildings.contains(agg.second[i])) out_.storey_building.push(agg.first[i], agg.second[i]);
    }
}

// Only containment in a reported storey is kept, in collection order.
void IndexPass::keep_storey_containment() {
    IdMap<std::uint8_t> storeys(out_.storeys.step_id.size());
    for (const std::uint64_t id : out_.storeys.step_id) storeys[id] = 1;
    IdPairs kept;
    const IdPairs& all = out_.contained_in;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (storeys.contains(all.second[i])) kept.push(all.first[i], all.second[i]);
    }
    out_.contained_in = std::move(kept);
}

}  // namespace quarnel
