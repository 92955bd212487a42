#include <array>
#include <cstring>

#include "indexer/pass.hpp"
#include "step/text.hpp"
#include "step/values.hpp"

namespace quarnel {
namespace {

// IFC2X3 types whose trailing enumeration is not a predefined type.
constexpr std::array<std::string_view, 5> kIfc2x3NoPredefinedType{
    "IFCRAMP", "IFCSTAIR", "IFCREINFORCINGBAR", "IFCDISTRIBUTIONPORT", "IFCBUILDINGELEMENTPROXY",
};

bool excluded_in_ifc2x3(std::string_view type) {
    for (const auto name : kIfc2x3NoPredefinedType) {
        if (name.size() == type.size() && std::memcmp(name.data(), type.data(), type.size()) == 0) return true;
    }
    return false;
}

// The last attribute that has a value decides: an enumeration is the
// predefined type, anything else means there is none.
std::optional<std::string_view> trailing_enum(Attributes& record) {
    for (std::size_t i = record.size(); i-- > 0;) {
        const std::string_view p = *record.at(i);
        if (value::is_unset(p)) continue;
        const auto text = value::enumeration(p);
        if (!text || !is_valid_utf8(*text)) return std::nullopt;
        return text;
    }
    return std::nullopt;
}

}  // namespace

// GlobalId, Name, Description, ObjectType and Tag stand at 0, 2, 3, 4 and 7 for every product type.
void IndexPass::product(const InstanceHeader& h, int position) {
    if (!record_.is_string(0)) return;
    auto& c = out_.products;
    c.step_id.push_back(h.id);
    push_text(c.guid, 0);
    c.entity.push_back(type_catalogue()[static_cast<std::size_t>(position)].schema);
    push_text(c.name, 2);
    push_text(c.description, 3);
    if (header_.is_ifc2x3 && excluded_in_ifc2x3(h.type)) {
        c.predefined_type.push_null();
    } else {
        c.predefined_type.push(trailing_enum(record_));
    }
    push_text(c.object_type, 4);
    push_text(c.tag, 7);
    ++counts_[static_cast<std::size_t>(position)];
}

void IndexPass::finish_type_counts() {
    const auto catalogue = type_catalogue();
    for (std::size_t i = 0; i < counts_.size(); ++i) {
        if (counts_[i] > 0) out_.type_counts.push_back(TypeCount{catalogue[i].schema, counts_[i]});
    }
}

}  // namespace quarnel
