#include <array>
#include <cstring>

#include "extractors/common.hpp"
#include "indexer/pass.hpp"
#include "indexer/pieces.hpp"

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
std::optional<std::string_view> trailing_enum(const Pieces& pieces) {
    for (std::size_t i = pieces.size(); i-- > 0;) {
        const std::string_view p = pieces[i];
        if (piece::is_unset(p)) continue;
        if (!piece::is_enum(p)) return std::nullopt;
        const std::string_view text = p.substr(1, p.size() - 2);
        if (!is_valid_utf8(text)) return std::nullopt;
        return text;
    }
    return std::nullopt;
}

}  // namespace

// GlobalId, Name, ObjectType and Tag stand at 0, 2, 4 and 7 for every product type.
void IndexPass::product(const InstanceHeader& h, int position) {
    if (!piece::is_string(pieces_[0])) return;
    auto& c = out_.products;
    c.step_id.push_back(h.id);
    piece::push_decoded(c.guid, pieces_[0]);
    c.entity.push_back(type_catalogue()[static_cast<std::size_t>(position)].schema);
    piece::push_optional_string(c.name, pieces_, 2);
    if (header_.is_ifc2x3 && excluded_in_ifc2x3(h.type)) {
        c.predefined_type.push_null();
    } else {
        c.predefined_type.push(trailing_enum(pieces_));
    }
    piece::push_optional_string(c.object_type, pieces_, 4);
    piece::push_optional_string(c.tag, pieces_, 7);
    ++counts_[static_cast<std::size_t>(position)];
}

void IndexPass::finish_type_counts() {
    const auto catalogue = type_catalogue();
    for (std::size_t i = 0; i < counts_.size(); ++i) {
        if (counts_[i] > 0) out_.type_counts.push_back(TypeCount{catalogue[i].schema, counts_[i]});
    }
}

}  // namespace quarnel
