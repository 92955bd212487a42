#include "extractors/property_values.hpp"

#include <algorithm>
#include <iterator>

#include "extractors/common.hpp"
#include "extractors/number_text.hpp"

namespace quarnel {

const std::string_view kPropertyKindLabels[8] = {"single", "enumerated", "list",    "bounded",
                                                 "table",  "reference",  "complex", "predefined"};
const std::string_view kValueRoleLabels[6] = {"", "lower", "upper", "set point", "defining", "defined"};
const std::string_view kSourceLabels[2] = {"occurrence", "type"};

namespace {

// Complex properties deeper than this are cut off, and one property yields at
// most kMaxMembers members: a property that contains itself, or a member list
// that repeats its nested lists, would otherwise never end.
constexpr std::size_t kMaxDepth = 32;
constexpr std::size_t kMaxMembers = 100000;

struct PropertyType {
    std::string_view type;
    PropertyKind kind;
};
// Single values first: nearly every property is one.
constexpr PropertyType kPropertyTypes[] = {
    {"IFCPROPERTYSINGLEVALUE", PropertyKind::Single},   {"IFCPROPERTYENUMERATEDVALUE", PropertyKind::Enumerated},
    {"IFCPROPERTYLISTVALUE", PropertyKind::List},       {"IFCPROPERTYBOUNDEDVALUE", PropertyKind::Bounded},
    {"IFCPROPERTYTABLEVALUE", PropertyKind::Table},     {"IFCPROPERTYREFERENCEVALUE", PropertyKind::Reference},
    {"IFCCOMPLEXPROPERTY", PropertyKind::Complex},
};

}  // namespace

PropertyRenderer::PropertyRenderer(const EntityTable& table, TextPool& pool, const PredefinedSets* predefined)
    : table_(table),
      pool_(pool),
      empty_(pool.add_view("")),
      values_(pool, ValueRenderer::TypeSpelling::Schema),
      predefined_(predefined),
      records_(std::make_unique<Attributes[]>(kMaxDepth + 1)) {}

void PropertyRenderer::append_values(std::string_view list, ValueRow row, std::vector<ValueRow>& rows) {
    const auto inner = value::list(list);
    std::size_t n = 0;
    if (inner && !trim(*inner).empty()) {  // () holds no value
        PieceWalker values(*inner);
        for (std::string_view piece; values.next(piece);) {
            const RenderedValue v = value(piece);
            row.value = v.value;
            row.value_type = v.value_type;
            row.number = v.number;
            row.has_number = v.has_number;
            row.index = static_cast<std::int32_t>(n++);
            rows.push_back(row);
        }
    }
    // A property without values still says that it is there.
    if (n == 0 && row.role == ValueRole::None) rows.push_back(row);
}

void PropertyRenderer::put_attribute_value(std::string_view token, std::uint32_t declared, ValueRow& row) {
    const RenderedValue v = value(token);
    row.value = v.value;
    row.value_type = v.value_type;
    row.number = v.number;
    row.has_number = v.has_number;
    if (row.value_type != kNull) return;  // a typed value of a select
    if (const auto target = value::ref(trim_wide(token))) {
        if (const auto referenced = table_.get(*target)) row.value_type = type_name(referenced->type);
    } else if (declared != kNull) {
        row.value_type = declared;
        if (row.value != kNull && !row.has_number) {
            const std::string_view truth = truth_text(pool_[row.value_type], pool_[row.value]);
            if (!truth.empty()) row.value = pool_.add_view(truth);  // static storage
        }
    }
}

void PropertyRenderer::append_predefined(std::uint16_t entity, std::string_view attributes,
                                         std::vector<ValueRow>& rows) {
    Attributes& record = records_[0];
    record.reset(attributes);
    for (const PredefinedSets::Attribute& a : predefined_->attributes(entity)) {
        const std::string_view token = record.piece(a.position);
        if (value::is_unset(trim_wide(token))) continue;
        auto [texts, added] = attribute_texts_.try_emplace(a.schema, AttributeTexts{kNull, kNull});
        if (added) {  // static storage, in the schema's spelling
            texts->second.name = pool_.add_view(a.schema->name);
            if (!a.schema->type.empty()) texts->second.type = pool_.add_view(a.schema->type);
        }
        ValueRow row{};
        row.kind = PropertyKind::Predefined;
        row.role = ValueRole::None;
        row.index = -1;
        row.top_name = row.name = texts->second.name;
        const auto list = a.schema->kind == AttributeKind::List ? value::list(trim_wide(token)) : std::nullopt;
        if (!list) {
            put_attribute_value(token, texts->second.type, row);
            rows.push_back(row);
            continue;
        }
        if (!trim(*list).empty()) {
            PieceWalker values(*list);
            for (std::string_view piece; values.next(piece);) {
                put_attribute_value(piece, texts->second.type, row);
                ++row.index;
                rows.push_back(row);
            }
        }
        if (row.index < 0) rows.push_back(row);  // an empty list still says that it is there
    }
}

bool PropertyRenderer::append(std::uint64_t id, std::vector<ValueRow>& rows) {
    std::size_t budget = kMaxMembers;
    return append_member(id, kNull, 0, budget, rows);
}

bool PropertyRenderer::append_member(std::uint64_t id, std::uint32_t top_name, std::size_t depth, std::size_t& budget,
                                     std::vector<ValueRow>& rows) {
    const auto e = table_.get(id);
    if (!e) return false;
    const auto* entry = std::find_if(std::begin(kPropertyTypes), std::end(kPropertyTypes),
                                     [&](const PropertyType& t) { return type_is(e->type, t.type); });
    if (entry == std::end(kPropertyTypes)) {
        if (depth > 0 || !predefined_) return false;
        const auto set = predefined_->find(e->type);
        if (set) append_predefined(*set, e->attributes, rows);
        return set.has_value();
    }
    const PropertyKind kind = entry->kind;
    Attributes& record = records_[depth];
    record.reset(e->attributes);
    const std::uint32_t own_name = pool_string(pool_, record.piece(0)).value_or(empty_);
    ValueRow row{};
    // Members of a complex property are rows of that property: their kind is complex.
    row.kind = top_name == kNull ? kind : PropertyKind::Complex;
    row.role = ValueRole::None;
    row.index = -1;
    row.value = row.value_type = kNull;
    if (top_name == kNull) {
        row.top_name = row.name = own_name;
    } else {
        // A member of a complex property: named by its path from the top.
        const std::size_t cost = (path_.size() + pool_[own_name].size()) / kPathBytesPerMember;
        if (cost > budget) {
            budget = 0;
            return true;
        }
        budget -= cost;
        row.top_name = top_name;
        row.name = pool_.add_copy(path_ + "." + std::string(pool_[own_name]));
    }
    const auto put = [&](std::string_view token, ValueRole role) {
        const RenderedValue v = value(token);
        row.value = v.value;
        row.value_type = v.value_type;
        row.number = v.number;
        row.has_number = v.has_number;
        row.role = role;
        rows.push_back(row);
    };
    switch (kind) {
        case PropertyKind::Single:
            put(record.piece(2), ValueRole::None);
            break;
        case PropertyKind::Enumerated:
        case PropertyKind::List:
            append_values(record.piece(2), row, rows);
            break;
        case PropertyKind::Bounded: {
            const std::size_t before = rows.size();
            if (!value::is_unset(record.piece(3))) put(record.piece(3), ValueRole::Lower);
            if (!value::is_unset(record.piece(2))) put(record.piece(2), ValueRole::Upper);
            if (!value::is_unset(record.piece(5))) put(record.piece(5), ValueRole::SetPoint);
            if (rows.size() == before) put("$", ValueRole::None);
            break;
        }
        case PropertyKind::Table: {
            const std::size_t before = rows.size();
            row.role = ValueRole::Defining;
            append_values(record.piece(2), row, rows);
            row.role = ValueRole::Defined;
            append_values(record.piece(3), row, rows);
            if (rows.size() == before) put("$", ValueRole::None);
            break;
        }
        case PropertyKind::Reference: {
            // The referenced object by its name where it has one, else by id.
            const auto target = record.ref(3);
            const auto referenced = target ? table_.get(*target) : std::nullopt;
            if (referenced) {
                row.value_type = type_name(referenced->type);
                const auto name = pool_string(pool_, Attributes(referenced->attributes).piece(0));
                row.value = name ? *name : pool_.add_copy("#" + std::to_string(*target));
            }
            rows.push_back(row);
            break;
        }
        case PropertyKind::Complex: {
            const auto members = record.list(3);
            if (!members || depth >= kMaxDepth) {
                rows.push_back(row);
                break;
            }
            path_.assign(pool_[row.name]);
            std::vector<std::uint64_t> ids;
            reference_list(*members, ids);
            for (const std::uint64_t member : ids) {
                if (budget == 0) break;
                --budget;
                append_member(member, row.top_name, depth + 1, budget, rows);
                path_.assign(pool_[row.name]);  // the member changed it
            }
            break;
        }
    }
    return true;
}

}  // namespace quarnel
