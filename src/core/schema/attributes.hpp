#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace quarnel {

// The kind of an attribute's declared type, defined types followed to what they stand for.
enum class AttributeKind : std::uint8_t { String, Enum, Logical, Boolean, Integer, Real, Entity, Select, List, Binary };
inline constexpr std::string_view kAttributeKindNames[] = {"string",  "enum", "logical", "boolean", "integer",
                                                           "real",    "entity", "select", "list",   "binary"};

struct SchemaAttribute {
    std::string_view name;
    AttributeKind kind;
    bool optional;
    std::string_view type;  // the named type (IfcLabel, IfcOwnerHistory); empty for a simple or aggregate type
};

struct SchemaEntity {
    std::string_view name;      // as the schema spells it
    std::int16_t supertype;     // index into the same schema's entities, -1 for none
    bool abstract;
    std::uint16_t first;        // its own attributes in the schema's attributes
    std::uint8_t count;
    std::uint32_t derived;      // bit i: the attribute at position i is derived here
};

// One schema's entities (sorted by upper-case name) and their own attributes.
struct Schema {
    std::string_view name;  // IFC2X3, IFC4, IFC4X3
    std::span<const SchemaEntity> entities;
    std::span<const SchemaAttribute> attributes;

    // The entity named `name` in any letter case.
    std::optional<std::uint16_t> find(std::string_view name) const;
    // Every attribute of an entity in position order, inherited ones first.
    std::vector<const SchemaAttribute*> all_attributes(std::uint16_t entity) const;
    bool is_derived(std::uint16_t entity, std::size_t position) const {
        return position < 32 && (entities[entity].derived >> position & 1);
    }
};

std::span<const Schema> schemas();
// The schema a FILE_SCHEMA identifier names (IFC4X3_ADD2 is IFC4X3); absent for any other.
const Schema* schema_named(std::string_view identifier);

}  // namespace quarnel
