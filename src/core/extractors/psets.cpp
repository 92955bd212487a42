#include "extractors/psets.hpp"

#include "extractors/common.hpp"
#include "step/flat_map.hpp"

namespace quarnel {
namespace {

// A rendered text in the call's arena.
struct Text {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    bool present = false;
};

struct PropertyEntry {
    Text name, value, value_type;
};

struct PropertySetEntry {
    Text name;
    std::uint64_t first_id = 0;  // into the shared id arena
    std::uint32_t id_count = 0;
};

class Arena {
public:
    Text add(std::string_view s) {
        Text t{bytes_.size(), static_cast<std::uint32_t>(s.size()), true};
        bytes_.append(s);
        return t;
    }
    Text add_optional(const std::optional<std::string>& s) { return s ? add(std::string_view(*s)) : Text{}; }
    std::optional<std::string_view> get(const Text& t) const {
        if (!t.present) return std::nullopt;
        return std::string_view(bytes_).substr(t.offset, t.length);
    }

private:
    std::string bytes_;
};

std::optional<std::string> utf8_or_absent(std::string_view s) {
    if (!is_valid_utf8(s)) return std::nullopt;
    return std::string(s);
}

}  // namespace

std::optional<std::string> value_text(std::string_view token) {
    const std::string_view t = trim_wide(token);
    if (t.empty() || t == "$" || t == "*") return std::nullopt;
    StepValue v = parse_value(t);
    switch (v.kind) {
        case StepValue::Kind::Null:
        case StepValue::Kind::Derived:
            return std::nullopt;
        case StepValue::Kind::String:
            return std::move(v.text);
        case StepValue::Kind::Ref:
            return "#" + std::to_string(v.ref);
        case StepValue::Kind::Real:
            return number_text(v.real);
        case StepValue::Kind::Enum:
            return utf8_or_absent(v.view);
        case StepValue::Kind::List:
        case StepValue::Kind::Other:
            return utf8_or_absent(t);
    }
    return std::nullopt;
}

NominalValue nominal_value(std::string_view token) {
    NominalValue out;
    const std::string_view t = trim_wide(token);
    if (t.empty() || t == "$" || t == "*") return out;
    const std::size_t paren = t.find('(');
    if (t.size() >= 5 && type_is(t.substr(0, 3), "IFC") && paren != std::string_view::npos && t.back() == ')') {
        out.value_type = display_case(t.substr(0, paren));
        out.value = value_text(t.substr(paren + 1, t.size() - paren - 2));
        if (out.value && out.value->size() == 1) {
            const char c = (*out.value)[0];
            if (*out.value_type == "IfcBoolean" || *out.value_type == "IfcLogical") {
                if (c == 'T') {
                    *out.value = "True";
                } else if (c == 'F') {
                    *out.value = "False";
                } else if (c == 'U' && *out.value_type == "IfcLogical") {
                    *out.value = "UNKNOWN";
                }
            }
        }
        return out;
    }
    out.value = value_text(t);
    return out;
}

PsetColumns extract_property_sets(const EntityTable& table, const GuidIndex& guids) {
    IdMap<PropertySetEntry> sets(3584);
    IdMap<PropertyEntry> properties(14336);
    std::vector<DefinitionLink> links;
    links.reserve(16384);
    std::vector<std::uint64_t> set_members;
    Arena arena;
    Pieces pieces;
    pieces.reserve(12);
    std::vector<std::uint64_t> scratch;

    table.for_each([&](std::uint64_t id, const EntityRecord& r) {
        const std::size_t len = r.type_length;
        if (len != 25 && len != 22 && len != 14) return;
        const Entity e = table.entity(r);
        if (type_is(e.type, "IFCRELDEFINESBYPROPERTIES")) {
            split_attributes(e.attributes, pieces);
            append_links(pieces, 4, 5, links, scratch);
        } else if (type_is(e.type, "IFCPROPERTYSINGLEVALUE")) {
            split_attributes(e.attributes, pieces);
            PropertyEntry entry;
            entry.name = arena.add(string_or_empty(pieces[0]));
            if (pieces.size() >= 3) {
                NominalValue nv = nominal_value(pieces[2]);
                entry.value = arena.add_optional(nv.value);
                entry.value_type = arena.add_optional(nv.value_type);
            }
            properties[id] = entry;
        } else if (type_is(e.type, "IFCPROPERTYSET")) {
            split_attributes(e.attributes, pieces);
            PropertySetEntry entry;
            entry.name = arena.add(pieces.size() >= 3 ? string_or_empty(pieces[2]) : std::string());
            entry.first_id = set_members.size();
            if (pieces.size() >= 5) {
                const StepValue v = parse_value(pieces[4]);
                if (v.is(StepValue::Kind::List)) {
                    reference_list(v.view, scratch);
                    set_members.insert(set_members.end(), scratch.begin(), scratch.end());
                }
            }
            entry.id_count = static_cast<std::uint32_t>(set_members.size() - entry.first_id);
            sets[id] = entry;
        }
    });

    PsetColumns out;
    const std::size_t expected = links.size() * 8;
    out.guid.reserve(expected);
    out.pset_name.reserve(expected);
    out.prop_name.reserve(expected);
    out.value.reserve(expected);
    out.value_type.reserve(expected);
    for (const DefinitionLink& link : links) {
        const auto guid = guids.guid_of(link.object);
        if (!guid) continue;
        const PropertySetEntry* set = sets.find(link.definition);
        if (!set) continue;
        const auto set_name = *arena.get(set->name);
        for (std::uint32_t k = 0; k < set->id_count; ++k) {
            const PropertyEntry* prop = properties.find(set_members[set->first_id + k]);
            if (!prop) continue;
            out.guid.push(*guid);
            out.pset_name.push(set_name);
            out.prop_name.push(*arena.get(prop->name));
            out.value.push(arena.get(prop->value));
            out.value_type.push(arena.get(prop->value_type));
        }
    }
    return out;
}

}  // namespace quarnel
