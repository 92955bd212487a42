#include "extractors/direct_attributes.hpp"

#include <array>
#include <bitset>
#include <memory>
#include <string>
#include <unordered_map>

#include "extractors/common.hpp"
#include "indexer/header.hpp"
#include "schema/attributes.hpp"
#include "schema/names.hpp"

namespace quarnel {
namespace {

enum ValueKind : std::uint8_t {
    kString, kEnum, kLogical, kInteger, kReal, kReference, kList, kTyped, kDerived, kKinds
};
constexpr std::string_view kKindLabels[kKinds] = {"string", "enum", "logical", "integer", "real",
                                                  "reference", "list", "typed", "derived"};

// Objects of these entities are left out: relationships and property sets have tables of
// their own and are most of a model's objects. (IFC2X3 makes type objects property
// definitions: they are read.)
constexpr std::string_view kLeftOut[] = {"IfcRelationship", "IfcPropertySetDefinition",
                                         "IfcPropertyTemplateDefinition"};

// The entities whose objects the pass reads, and their attributes, in the file's schema.
class SchemaPlan {
public:
    SchemaPlan(const Schema& schema, AttributeScope scope) : schema_(schema), entities_(schema.entities.size()) {
        const auto root = schema.find("IfcRoot");
        std::vector<std::uint16_t> left_out;
        for (const std::string_view name : kLeftOut) {
            if (const auto e = schema.find(name)) left_out.push_back(*e);
        }
        for (std::size_t i = 0; i < entities_.size(); ++i) {
            const auto e = static_cast<std::uint16_t>(i);
            entities_[i].rooted = root && descends(e, *root);
            if (scope == AttributeScope::Objects) {
                if (!entities_[i].rooted) continue;
                bool skip = false;
                for (const std::uint16_t l : left_out) skip = skip || descends(e, l);
                if (skip) continue;
            }
            entities_[i].read = true;
            entities_[i].attributes = schema.all_attributes(e);
            tags_.set(type_tag(schema.entities[i].name));
        }
    }
    const Schema& schema() const { return schema_; }
    bool may_read(std::uint16_t tag) const { return tags_[tag]; }
    struct Entity {
        bool read = false;
        bool rooted = false;  // has a GlobalId
        std::vector<const SchemaAttribute*> attributes;
    };
    const Entity& entity(std::uint16_t i) const { return entities_[i]; }

private:
    const Schema& schema_;
    std::vector<Entity> entities_;
    std::bitset<65536> tags_;

    bool descends(std::uint16_t e, std::uint16_t root) const {
        int at = e;
        for (int steps = 0; at >= 0 && steps < 64; ++steps) {
            if (at == root) return true;
            at = schema_.entities[static_cast<std::size_t>(at)].supertype;
        }
        return false;
    }
};

struct AttributePart {
    TextPool pool;
    TextColumn guid, entity, attribute, value, kind, value_type;
    std::vector<std::optional<double>> number;
    std::vector<std::uint64_t> step_id;
};

// Renders the attributes of the objects of one part of the records into its pool.
class PartReader {
public:
    PartReader(const EntityTable& table, const SchemaPlan& plan, AttributeScope scope, AttributePart& part)
        : table_(table), plan_(plan), everything_(scope == AttributeScope::Everything), part_(part), pool_(part.pool) {
        for (std::size_t k = 0; k < kKinds; ++k) kinds_[k] = pool_.add_view(kKindLabels[k]);
        truths_[0] = pool_.add_view("TRUE");
        truths_[1] = pool_.add_view("FALSE");
        truths_[2] = pool_.add_view("UNKNOWN");
    }

    void read(std::uint32_t index, const EntityRecord& r) {
        const std::string_view type = table_.type_of(r);
        const auto e = entity_of(table_.type_tags()[index], type);
        if (!e || !plan_.entity(*e).read) return;
        const Entity entity = table_.entity(r);
        record_.reset(entity.attributes);
        // A GlobalId is 22 characters, as every table reads it.
        std::uint32_t guid = kNull;
        if (plan_.entity(*e).rooted) {
            const auto text = value_string(record_.piece(0));
            if (text && pool_[*text].size() == 22) guid = *text;
        }
        if (guid == kNull && !everything_) return;
        const auto& attributes = plan_.entity(*e).attributes;
        const std::uint32_t entity_text = schema_text(entity_texts_, *e, plan_.schema().entities[*e].name);
        const std::size_t before = part_.step_id.size();
        for (std::size_t p = 0; p < attributes.size(); ++p) {
            const auto piece = record_.at(p);
            if (!piece) break;
            if (piece->empty() || *piece == "$") continue;
            Rendered v;
            if (*piece == "*") {
                v.kind = kDerived;
            } else if (!render(*piece, attributes[p]->kind, v)) {
                continue;
            }
            const auto a = static_cast<std::size_t>(attributes[p] - plan_.schema().attributes.data());
            const std::uint32_t name = schema_text(attribute_texts_, a, attributes[p]->name);
            push(r.id, guid, entity_text, name, v.value, kinds_[v.kind], v.value_type, v.number);
        }
        // An instance without values is still there.
        if (everything_ && part_.step_id.size() == before) {
            push(r.id, guid, entity_text, kNull, kNull, kNull, kNull, std::nullopt);
        }
    }

private:
    struct Rendered {
        std::uint32_t value = kNull, value_type = kNull;
        ValueKind kind = kString;
        std::optional<double> number;
    };
    struct CacheEntry {
        std::string_view type;
        std::optional<std::uint16_t> entity;
        bool filled = false;
    };

    const EntityTable& table_;
    const SchemaPlan& plan_;
    bool everything_;
    AttributePart& part_;
    TextPool& pool_;
    Attributes record_;
    std::array<std::uint32_t, kKinds> kinds_{};
    std::array<std::uint32_t, 3> truths_{};
    std::vector<CacheEntry> cache_ = std::vector<CacheEntry>(4096);
    std::unordered_map<std::string_view, std::uint32_t> type_names_;
    std::vector<std::uint32_t> entity_texts_ = std::vector<std::uint32_t>(plan_.schema().entities.size(), kNull);
    std::vector<std::uint32_t> attribute_texts_ = std::vector<std::uint32_t>(plan_.schema().attributes.size(), kNull);
    struct TargetType {
        std::string_view raw;
        std::uint32_t text = kNull;
    };
    std::vector<TargetType> target_types_ = std::vector<TargetType>(4096);

    // The text of a name of the schema, added once.
    std::uint32_t schema_text(std::vector<std::uint32_t>& texts, std::size_t i, std::string_view name) {
        if (texts[i] == kNull) texts[i] = pool_.add_view(name);
        return texts[i];
    }

    // The type name of the instance `id` points to, by its type tag first: most references
    // point to a few types.
    std::uint32_t target_type(std::uint64_t id) {
        const std::uint32_t i = table_.index_of(id);
        if (i == EntityTable::npos) return kNull;
        const std::string_view raw = table_.type_of(table_.records()[i]);
        TargetType& t = target_types_[table_.type_tags()[i] & 4095];
        if (t.text == kNull || t.raw != raw) t = {raw, type_name(raw)};
        return t.text;
    }

    // A String's decoded text; values seldom repeat, and are not looked up.
    std::optional<std::uint32_t> value_string(std::string_view piece) {
        const auto raw = value::raw_string(piece);
        if (!raw) return std::nullopt;
        return needs_decoding(*raw) ? pool_.add_unshared_copy(decode_string(*raw)) : pool_.add_unshared_view(*raw);
    }

    void push(std::uint64_t id, std::uint32_t guid, std::uint32_t entity, std::uint32_t attribute, std::uint32_t value,
              std::uint32_t kind, std::uint32_t value_type, std::optional<double> number) {
        part_.step_id.push_back(id);
        part_.guid.push_back(guid);
        part_.entity.push_back(entity);
        part_.attribute.push_back(attribute);
        part_.value.push_back(value);
        part_.kind.push_back(kind);
        part_.value_type.push_back(value_type);
        part_.number.push_back(number);
    }

    std::optional<std::uint16_t> entity_of(std::uint16_t tag, std::string_view type) {
        CacheEntry& c = cache_[tag & 4095];
        if (!c.filled || c.type != type) c = {type, plan_.schema().find(type), true};
        return c.entity;
    }

    // A type name in the schema's spelling where it knows it.
    std::uint32_t type_name(std::string_view raw) {
        auto known = type_names_.find(raw);
        if (known != type_names_.end()) return known->second;
        const auto name = schema_name(raw);
        const std::uint32_t id = name ? pool_.add_view(name->spelling) : pool_.add_copy(display_case(raw));
        type_names_.emplace(raw, id);
        return id;
    }

    // TRUE, FALSE or UNKNOWN for .T., .F. and .U.; null for any other enumeration.
    std::uint32_t truth(std::string_view e) const {
        if (e.size() != 1) return kNull;
        if (e[0] == 'T') return truths_[0];
        if (e[0] == 'F') return truths_[1];
        if (e[0] == 'U') return truths_[2];
        return kNull;
    }

    bool is_truth_kind(AttributeKind k) const { return k == AttributeKind::Boolean || k == AttributeKind::Logical; }

    // An untyped value; false for a piece that is no value at all.
    bool render(std::string_view piece, AttributeKind declared, Rendered& v) {
        if (const auto s = value_string(piece)) {
            v.kind = kString;
            v.value = *s;
            return true;
        }
        if (const auto e = value::enumeration(piece)) {
            const std::uint32_t t = truth(*e);
            if (t != kNull && (is_truth_kind(declared) || declared == AttributeKind::Select)) {
                v.kind = kLogical;
                v.value = t;
            } else {
                v.kind = kEnum;
                v.value = is_valid_utf8(*e) ? pool_.add_view(*e) : kNull;
            }
            return true;
        }
        if (const auto id = value::ref(piece)) {
            v.kind = kReference;
            // #+12 as #12: every table writes a reference so.
            v.value = piece[1] == '+' ? pool_.add_unshared_copy("#" + std::to_string(*id))
                                      : pool_.add_unshared_view(piece);
            v.value_type = target_type(*id);
            return true;
        }
        if (const auto x = value::number(piece)) {
            v.kind = piece.find_first_of(".eE") == std::string_view::npos ? kInteger : kReal;
            v.value = pool_.add_unshared_view(piece);
            v.number = *x;
            return true;
        }
        if (value::list(piece)) {
            v.kind = kList;
            v.value = is_valid_utf8(piece) ? pool_.add_unshared_view(piece) : kNull;
            return true;
        }
        const auto typed = value::typed(piece);
        if (!typed || typed->name.empty()) return false;
        v.kind = kTyped;
        v.value_type = type_name(trim_wide(typed->name));
        const std::string_view inner = trim_wide(typed->inner);
        if (const auto s = value_string(inner)) {
            v.value = *s;
        } else if (const auto e = value::enumeration(inner)) {
            const std::uint32_t t = truth(*e);
            v.value = t != kNull ? t : (is_valid_utf8(*e) ? pool_.add_view(*e) : kNull);
        } else if (const auto x = value::number(inner)) {
            v.value = pool_.add_unshared_view(inner);
            v.number = *x;
        } else {
            v.value = is_valid_utf8(inner) ? pool_.add_unshared_view(inner) : kNull;
        }
        return true;
    }
};

void move_shifted(TextColumnParts& into, TextColumn&& from, std::uint32_t offset) {
    if (offset != 0) {
        for (std::uint32_t& id : from) id = shifted(id, offset);
    }
    into.parts.push_back(std::move(from));
}

}  // namespace

AttributeColumns extract_attributes(const EntityTable& table, AttributeScope scope, const PartPlan& plan) {
    const HeaderFacts header = read_header(table.file());
    const Schema* schema = schema_named(header.schema);
    // A file that names no schema this build knows is read as IFC4, the most common one.
    if (!schema) schema = schema_named("IFC4");
    const SchemaPlan schema_plan(*schema, scope);

    const auto read = [&](const EntityTable& t, std::size_t begin, std::size_t end, AttributePart& part) {
        PartReader reader(t, schema_plan, scope, part);
        const auto admits = [&](std::uint16_t tag) { return schema_plan.may_read(tag); };
        const EntityRecord* first = t.records().data();
        t.for_each_in(begin, end, admits, [&](std::uint64_t, const EntityRecord& r) {
            reader.read(static_cast<std::uint32_t>(&r - first), r);
        });
    };
    std::vector<AttributePart> parts = read_parts<AttributePart>(table, plan, read);
    const std::vector<std::uint32_t> offsets = merge_part_texts(parts[0].pool, parts);
    AttributeColumns out;
    out.text = std::move(parts[0].pool);
    std::size_t rows = 0;
    for (const AttributePart& p : parts) rows += p.number.size();
    out.number.reserve(rows);
    out.step_id.reserve(rows);
    for (std::size_t k = 0; k < parts.size(); ++k) {
        AttributePart& p = parts[k];
        move_shifted(out.guid, std::move(p.guid), offsets[k]);
        move_shifted(out.entity, std::move(p.entity), offsets[k]);
        move_shifted(out.attribute, std::move(p.attribute), offsets[k]);
        move_shifted(out.value, std::move(p.value), offsets[k]);
        move_shifted(out.kind, std::move(p.kind), offsets[k]);
        move_shifted(out.value_type, std::move(p.value_type), offsets[k]);
        out.number.insert(out.number.end(), p.number.begin(), p.number.end());
        out.step_id.insert(out.step_id.end(), p.step_id.begin(), p.step_id.end());
        p.number = {};
        p.step_id = {};
    }
    return out;
}

}  // namespace quarnel
