#pragma once
#include <cstdint>
#include <vector>

#include "columns.hpp"
#include "extractors/parts.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

namespace quarnel {

// Parallel columns of ids into `text`, which may borrow the mapped file (not
// the table or the GuidIndex): marshal before unmapping.
struct ClassificationColumns {
    TextPool text;
    TextColumn guid;
    TextColumn system_name;
    TextColumn edition;
    TextColumn identification;
    TextColumn name;
    TextColumn location;
    TextColumn source;

    // The chain of each reference: one row per object and reference from the one associated
    // with the object (depth 0) up its referenced sources, each row with the classification
    // the chain ends at (null where it ends elsewhere). An object associated with a
    // classification itself has one row, without a reference. Resources without a GlobalId
    // (materials, ...) that an IfcExternalReferenceRelationship ties to a reference follow,
    // with a null GlobalId: `chain_step_id` names every object.
    TextColumn chain_guid, chain_identification, chain_name, chain_location, chain_system_name, chain_edition,
        chain_source;
    std::vector<std::uint64_t> chain_depth, chain_step_id;
};

ClassificationColumns extract_classification_links(const EntityTable& table, const GuidIndex& guids,
                                                   const PartPlan& plan = {});

}  // namespace quarnel
