#pragma once
#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "columns.hpp"

namespace quarnel {

// A value as written: its display text, its type and its number when it is one.
struct RenderedValue {
    std::uint32_t value = TextPool::null;
    std::uint32_t value_type = TextPool::null;
    double number = 0.0;
    bool has_number = false;
};

// Renders attribute values into a pool, as every table shows them: strings decoded,
// enumerations without their dots, references as #id, numbers in their shortest form, the
// booleans of boolean and logical types as true and false, anything else as written. Texts
// as written borrow the file; each spelling of a type name is rendered once.
class ValueRenderer {
public:
    // Display: IfcLengthMeasure from IFCLENGTHMEASURE whatever the schema; Schema: the schema's
    // own spelling where it knows the name.
    enum class TypeSpelling { Display, Schema };

    ValueRenderer(TextPool& pool, TypeSpelling spelling) : pool_(pool), spelling_(spelling) {}

    // A value token, typed or not: IFCLENGTHMEASURE(200.) gives 200, IfcLengthMeasure and 200.0.
    RenderedValue value(std::string_view token);
    std::uint32_t type_name(std::string_view raw);

private:
    TextPool& pool_;
    TypeSpelling spelling_;
    std::unordered_map<std::string_view, std::uint32_t> types_;

    // Display text of an untyped token; sets the number of `out` when the token is one.
    std::uint32_t text(std::string_view token, RenderedValue& out);
};

}  // namespace quarnel
