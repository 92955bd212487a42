#include "extractors/material_names.hpp"

#include <unordered_map>

#include "extractors/common.hpp"

namespace quarnel {
namespace {

enum Part : std::uint8_t {
    kMaterial, kList, kLayerSet, kLayer, kProfileSet, kProfile, kConstituentSet, kConstituent, kParts
};
constexpr std::string_view kPartLabels[kParts] = {"material", "list",    "layer set",       "layer",
                                                  "profile set", "profile", "constituent set", "constituent"};

// A set and the positions of its members' list, their name and category, and their material.
struct SetShape {
    std::string_view type;  // upper case
    Part part;
    std::uint8_t name;      // the set's name
    std::uint8_t members;
    Part member_part;
    std::uint8_t member_name, member_category, member_material;
};
constexpr SetShape kSets[] = {
    {"IFCMATERIALLAYERSET", kLayerSet, 1, 0, kLayer, 3, 5, 0},
    {"IFCMATERIALPROFILESET", kProfileSet, 0, 2, kProfile, 0, 5, 2},
    {"IFCMATERIALCONSTITUENTSET", kConstituentSet, 0, 2, kConstituent, 0, 4, 2},
};
// Usages name their set first; a tapering usage its end set too.
constexpr std::string_view kUsages[] = {"IFCMATERIALLAYERSETUSAGE", "IFCMATERIALPROFILESETUSAGE",
                                        "IFCMATERIALPROFILESETUSAGETAPERING"};

// A member of a set of `shape`: its name is the set's without SET; layers and profiles with
// offsets are layers and profiles.
bool is_member(std::string_view type, const SetShape& shape) {
    const std::string_view member = shape.type.substr(0, shape.type.size() - 3);
    return type.size() >= member.size() && type_is(type.substr(0, member.size()), member) && !type_is(type, shape.type);
}

struct NameRow {
    Part part;
    std::optional<std::uint64_t> index;
    std::uint32_t name, category;
};

// The rows of each material definition, read once however many objects share it.
class Definitions {
public:
    Definitions(const EntityTable& table, TextPool& pool) : table_(table), pool_(pool) {}

    const std::vector<NameRow>& rows(std::uint64_t id) {
        auto known = rows_.find(id);
        if (known != rows_.end()) return known->second;
        std::vector<NameRow> out;
        read(id, out, 0);
        return rows_.emplace(id, std::move(out)).first->second;
    }

private:
    const EntityTable& table_;
    TextPool& pool_;
    std::unordered_map<std::uint64_t, std::vector<NameRow>> rows_;

    std::uint32_t text(Attributes& record, std::size_t i) { return pool_optional_text(pool_, record.at(i)); }

    // The material `id`, as the member at `index`; false for anything else.
    bool material(std::uint64_t id, std::optional<std::uint64_t> index, std::vector<NameRow>& out) {
        const auto e = table_.get_typed(id, "IFCMATERIAL");
        if (!e) return false;
        Attributes record(e->attributes);
        out.push_back({kMaterial, index, text(record, 0), text(record, 2)});
        return true;
    }

    void read(std::uint64_t id, std::vector<NameRow>& out, int depth) {
        if (material(id, std::nullopt, out)) return;
        const auto e = table_.get(id);
        // A usage of a usage is no material; the bound ends a loop of them.
        if (!e || depth > 2) return;
        Attributes record(e->attributes);
        std::vector<std::uint64_t> members;
        if (type_is(e->type, "IFCMATERIALLIST")) {
            out.push_back({kList, std::nullopt, kNull, kNull});
            related_objects(record.piece(0), members);
            for (std::size_t i = 0; i < members.size(); ++i) material(members[i], i, out);
            return;
        }
        for (const std::string_view usage : kUsages) {
            if (!type_is(e->type, usage)) continue;
            if (const auto set = record.ref(0)) read(*set, out, depth + 1);
            if (usage == kUsages[2]) {
                if (const auto end = record.ref(3)) read(*end, out, depth + 1);
            }
            return;
        }
        for (const SetShape& shape : kSets) {
            if (!type_is(e->type, shape.type)) continue;
            out.push_back({shape.part, std::nullopt, text(record, shape.name), kNull});
            related_objects(record.piece(shape.members), members);
            for (std::size_t i = 0; i < members.size(); ++i) {
                const auto m = table_.get(members[i]);
                if (!m || !is_member(m->type, shape)) continue;
                Attributes member(m->attributes);
                out.push_back(
                    {shape.member_part, i, text(member, shape.member_name), text(member, shape.member_category)});
                if (const auto of = member.ref(shape.member_material)) material(*of, i, out);
            }
            return;
        }
    }
};

}  // namespace

MaterialNameColumns extract_material_names(const EntityTable& table, const GuidIndex& guids) {
    MaterialNameColumns out;
    TextPool& pool = out.text;
    pool.share_equal_texts();
    std::uint32_t parts[kParts];
    for (std::size_t i = 0; i < kParts; ++i) parts[i] = pool.add_view(kPartLabels[i]);

    std::vector<DefinitionLink> links;
    std::vector<std::uint64_t> scratch;
    Attributes record;
    static constexpr TypeFilter kTypes{"IFCRELASSOCIATESMATERIAL"};
    table.for_each_in(0, table.records().size(), kTypes, [&](std::uint64_t, const EntityRecord& r) {
        if (!type_is(table.type_of(r), "IFCRELASSOCIATESMATERIAL")) return;
        record.reset(table.entity(r).attributes);
        append_links(record, 4, 5, links, scratch);
    });

    GuidTexts guid_texts(table, guids, pool);
    Definitions definitions(table, pool);
    for (const DefinitionLink& link : links) {
        const std::uint32_t guid = guid_texts.of(link.object);
        if (guid == kNull) continue;
        for (const NameRow& row : definitions.rows(link.definition)) {
            out.guid.push_back(guid);
            out.part.push_back(parts[row.part]);
            out.index.push_back(row.index);
            out.name.push_back(row.name);
            out.category.push_back(row.category);
        }
    }
    return out;
}

}  // namespace quarnel
