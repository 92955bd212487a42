#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace quarnel {

// What the schemas say of one name of IFC2X3, IFC4 or IFC4X3 (the union of the three).
enum SchemaFlags : std::uint8_t {
    kEntity = 1,
    kProduct = 2,     // IfcProduct or one of its subtypes
    kTypeObject = 4,  // IfcTypeObject or one of its subtypes
    kDefinedType = 8,
    kElement = 16,  // IfcElement or one of its subtypes: these have a Tag
};

struct SchemaName {
    std::string_view spelling;  // as the schema writes it: IfcWallStandardCase, IfcAreaMeasure
    std::uint8_t flags;
};

// The schema's entry for a type name in any letter case; absent for names no schema has.
std::optional<SchemaName> schema_name(std::string_view name);

// Whether a name with this type_tag may have `flag`: false for most tags, so a walk over every
// record reads the names of only the few records that may.
bool tag_may_have(std::uint16_t tag, SchemaFlags flag);

}  // namespace quarnel

namespace quarnel {

// schema_name() of the type names of records, remembered by type tag: a walk
// over many records meets the same few names again and again.
class SchemaNameCache {
public:
    SchemaNameCache() : entries_(kSize) {}
    std::optional<SchemaName> operator()(std::uint16_t tag, std::string_view type) {
        Entry& e = entries_[tag & (kSize - 1)];
        if (!e.filled || e.type != type) e = {type, schema_name(type), true};
        return e.name;
    }

private:
    static constexpr std::size_t kSize = 4096;
    struct Entry {
        std::string_view type;
        std::optional<SchemaName> name;
        bool filled = false;
    };
    std::vector<Entry> entries_;
};

}  // namespace quarnel
