#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "schema/attributes.hpp"

namespace quarnel {

// The predefined property sets of a schema: the kinds of IfcPropertySetDefinition
// that are neither property sets nor quantity sets (IfcDoorLiningProperties and the
// like; in IFC2X3 they sit right under IfcPropertySetDefinition). Their own
// attributes, those beyond IfcPropertySetDefinition's, are what they say of an object.
class PredefinedSets {
public:
    struct Attribute {
        const SchemaAttribute* schema;
        std::size_t position;  // in the record
    };

    explicit PredefinedSets(const Schema& schema);

    // Whether a record with this type tag may be one: most records are answered by the tag alone.
    bool may_be(std::uint16_t tag) const { return tags_[tag >> 6] >> (tag & 63) & 1; }
    // The entity `type` names, in any letter case, when it is a predefined set.
    std::optional<std::uint16_t> find(std::string_view type) const;
    std::span<const Attribute> attributes(std::uint16_t entity) const { return attributes_[entity]; }

private:
    const Schema& schema_;
    std::vector<std::uint64_t> tags_ = std::vector<std::uint64_t>(65536 / 64, 0);
    std::vector<std::uint8_t> is_set_;
    std::vector<std::vector<Attribute>> attributes_;  // by entity
};

}  // namespace quarnel
