#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "columns.hpp"
#include "step/entity_table.hpp"
#include "extractors/predefined_sets.hpp"
#include "extractors/value_text.hpp"
#include "step/values.hpp"

namespace quarnel {

// Codes of the kind, role and source columns; their labels are kPropertyKindLabels,
// kValueRoleLabels and kSourceLabels, in code order.
// Predefined: an attribute of a predefined property set (IfcDoorPanelProperties.PanelOperation).
enum class PropertyKind : std::uint8_t { Single, Enumerated, List, Bounded, Table, Reference, Complex, Predefined };
enum class ValueRole : std::uint8_t { None, Lower, Upper, SetPoint, Defining, Defined };
enum class ValueSource : std::uint8_t { Occurrence, Type };

// A member of a complex property or quantity is named by its path, a copy: each
// kPathBytesPerMember bytes of it count as one more member against the budget
// of its property, so that a long name down a deep nest is not copied for
// every member of the nest.
constexpr std::size_t kPathBytesPerMember = 256;

extern const std::string_view kPropertyKindLabels[8];
extern const std::string_view kValueRoleLabels[6];  // None has no label: a null cell
extern const std::string_view kSourceLabels[2];

// One value of one property, texts as ids into the renderer's pool.
struct ValueRow {
    double number;           // valid when has_number
    std::uint32_t top_name;  // the property as its set lists it: what an occurrence overrides
    std::uint32_t name;      // the path for members of complex properties: Outer.Inner
    std::uint32_t value;
    std::uint32_t value_type;
    std::int32_t index;  // position in a list, enumeration or table; -1 for none
    PropertyKind kind;
    ValueRole role;
    bool has_number;

    // Text ids of a pool appended to another at `offset`.
    void shift(std::uint32_t offset) {
        for (std::uint32_t* id : {&top_name, &name, &value, &value_type}) *id = shifted(*id, offset);
    }
};

// Renders values and properties into a pool; texts as written borrow the file.
class PropertyRenderer {
public:
    // `predefined`, when given, makes the predefined property sets it knows render as well.
    PropertyRenderer(const EntityTable& table, TextPool& pool, const PredefinedSets* predefined = nullptr);

    // A value token, type names in the schema's spelling.
    RenderedValue value(std::string_view token) { return values_.value(token); }
    std::uint32_t type_name(std::string_view raw) { return values_.type_name(raw); }

    // Appends the rows of the property `id`, of any kind, or those of the
    // attributes with a value of the predefined set `id`; false (and nothing
    // appended) when `id` is neither.
    bool append(std::uint64_t id, std::vector<ValueRow>& rows);

    std::uint32_t empty() const { return empty_; }
    TextPool& pool() { return pool_; }

private:
    const EntityTable& table_;
    TextPool& pool_;
    std::uint32_t empty_;
    ValueRenderer values_;
    const PredefinedSets* predefined_;
    struct AttributeTexts {
        std::uint32_t name, type;  // the declared type; null for an aggregate's
    };
    std::unordered_map<const SchemaAttribute*, AttributeTexts> attribute_texts_;
    std::string path_;
    // One reader per level of complex properties, made once: a member's read
    // leaves its parent's alone, and no property pays for a reader of its own.
    std::unique_ptr<Attributes[]> records_;

    void append_values(std::string_view list, ValueRow row, std::vector<ValueRow>& rows);
    void append_predefined(std::uint16_t entity, std::string_view attributes, std::vector<ValueRow>& rows);
    // A value of an attribute of a predefined set, typed by the attribute where the value is not.
    void put_attribute_value(std::string_view token, std::uint32_t declared, ValueRow& row);
    bool append_member(std::uint64_t id, std::uint32_t top_name, std::size_t depth, std::size_t& budget,
                       std::vector<ValueRow>& rows);
};

}  // namespace quarnel
