#include "indexer/pass.hpp"
#include "indexer/pieces.hpp"

namespace quarnel {
namespace {

// The elevation is the last attribute that is neither unset nor an
// enumeration, when it is a number.
std::optional<double> trailing_number(const Pieces& pieces) {
    for (std::size_t i = pieces.size(); i-- > 0;) {
        const std::string_view p = pieces[i];
        if (piece::is_unset(p) || piece::is_enum(p)) continue;
        return piece::real(p);
    }
    return std::nullopt;
}

}  // namespace

void IndexPass::storey(const InstanceHeader& h) {
    if (!piece::is_string(pieces_[0])) return;
    auto& c = out_.storeys;
    c.step_id.push_back(h.id);
    piece::push_decoded(c.guid, pieces_[0]);
    piece::push_optional_string(c.name, pieces_, 2);
    c.elevation.push_back(trailing_number(pieces_));
    c.building_step_id.push_back(std::nullopt);
}

void IndexPass::spatial_guid(const InstanceHeader& h, GuidMap& map) {
    if (!piece::is_string(pieces_[0])) return;
    const std::string_view inner = pieces_[0].substr(1, pieces_[0].size() - 2);
    if (piece::decodes_to_itself(inner)) {
        map.insert(h.id, inner);
    } else {
        map.insert(h.id, decode_string(inner));
    }
}

// RelatingObject at 4 (a reference), RelatedObjects at 5 (a list).
void IndexPass::aggregation() {
    if (pieces_.size() < 6) return;
    const auto parent = piece::ref(pieces_[4]);
    const auto children = piece::list(pieces_[5]);
    if (!parent || !children) return;
    reference_list(*children, refs_);
    for (const std::uint64_t child : refs_) out_.aggregates.push(child, *parent);
}

// RelatedElements at 4 (a list), RelatingStructure at 5 (a reference).
void IndexPass::containment() {
    if (pieces_.size() < 6) return;
    const auto children = piece::list(pieces_[4]);
    const auto structure = piece::ref(pieces_[5]);
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
