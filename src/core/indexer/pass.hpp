#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "indexer/catalogue.hpp"
#include "indexer/header.hpp"
#include "indexer/model_index.hpp"
#include "step/entity_table.hpp"
#include "step/flat_map.hpp"
#include "step/values.hpp"

namespace quarnel {

// Working state of one indexing pass and the handlers the statement loop
// calls. Each handler reads the instance's attributes from `record_`.
class IndexPass {
public:
    explicit IndexPass(std::string_view file);
    ModelIndex run();
    // The same over the records of a table already built from the file, in file order.
    ModelIndex run(const EntityTable& table);

private:
    std::string_view file_;
    HeaderFacts header_;
    ModelIndex out_;
    TypeSet products_{TypeRole::Product};
    Attributes record_;
    std::string scratch_;
    std::vector<std::uint64_t> refs_;
    std::array<std::uint32_t, 136> counts_{};  // per catalogue position
    std::optional<std::string> application_;
    IdMap<Entity> units_;  // SI, conversion-based and measure-with-unit entities, for the unit scale
    std::vector<std::uint64_t> unit_list_;

    void dispatch(const InstanceHeader& h);
    ModelIndex finish();
    // Appends the decoded text of attribute i when it is a String, else a null.
    void push_text(StringColumn& column, std::size_t i);

    // products.cpp
    void product(const InstanceHeader& h, int position);
    void finish_type_counts();

    // spatial.cpp
    void storey(const InstanceHeader& h);
    void spatial_guid(const InstanceHeader& h, GuidMap& map);
    void aggregation();
    void containment();
    void link_storeys_to_buildings();
    void keep_storey_containment();

    // units.cpp
    void unit(const InstanceHeader& h);
    void unit_assignment();
    void resolve_unit_scale();

    // index_model.cpp
    void project(const InstanceHeader& h);
    void application();
};

}  // namespace quarnel
