#include "extractors/classifications.hpp"

#include "extractors/common.hpp"
#include "step/flat_map.hpp"

namespace quarnel {
namespace {

struct ClassificationEntry {
    TextRef source, edition, name;
};

struct ReferenceEntry {
    TextRef location, identification, name;
    std::optional<std::uint64_t> referenced_source;
};

constexpr std::string_view kRelation = "IFCRELASSOCIATESCLASSIFICATION";
constexpr std::string_view kReference = "IFCCLASSIFICATIONREFERENCE";
constexpr std::string_view kSystem = "IFCCLASSIFICATION";

}  // namespace

ClassificationColumns extract_classification_links(const EntityTable& table, const GuidIndex& guids) {
    IdMap<ClassificationEntry> systems(112);
    IdMap<ReferenceEntry> references(1792);
    std::vector<DefinitionLink> links;
    links.reserve(4096);
    TextArena arena;
    Pieces pieces;
    pieces.reserve(12);
    std::vector<std::uint64_t> scratch;
    auto text_at = [&](std::size_t i) { return i < pieces.size() ? arena.add_optional_text(pieces[i]) : TextRef{}; };

    table.for_each([&](std::uint64_t id, const EntityRecord& r) {
        const std::size_t len = r.type_length;
        if (len != kRelation.size() && len != kReference.size() && len != kSystem.size()) return;
        const std::string_view type = table.type_of(r);
        if (len == kRelation.size()) {
            if (!type_is(type, kRelation)) return;
            split_attributes(table.entity(r).attributes, pieces);
            append_links(pieces, 4, 5, links, scratch);
        } else if (len == kReference.size()) {
            if (!type_is(type, kReference)) return;
            split_attributes(table.entity(r).attributes, pieces);
            ReferenceEntry entry;
            entry.location = text_at(0);
            entry.identification = text_at(1);
            entry.name = text_at(2);
            if (pieces.size() >= 4) entry.referenced_source = ref_of(pieces[3]);
            references[id] = entry;
        } else {
            if (!type_is(type, kSystem)) return;
            split_attributes(table.entity(r).attributes, pieces);
            ClassificationEntry entry;
            entry.source = text_at(0);
            entry.edition = text_at(1);
            entry.name = text_at(3);
            systems[id] = entry;
        }
    });

    ClassificationColumns out;
    const ClassificationEntry none;
    for (const DefinitionLink& link : links) {
        const auto guid = guids.guid_of(link.object);
        if (!guid) continue;
        const ReferenceEntry* reference = references.find(link.definition);
        const ClassificationEntry* system = nullptr;
        if (reference) {
            // The reference's own source only: a chain of references is not followed.
            if (reference->referenced_source) system = systems.find(*reference->referenced_source);
            if (!system) system = &none;
        } else {
            system = systems.find(link.definition);
            if (!system) continue;  // a notation, another kind of object, or a dangling id
        }
        out.guid.push(*guid);
        out.system_name.push(arena.get(system->name));
        out.edition.push(arena.get(system->edition));
        if (reference) {
            out.identification.push(arena.get(reference->identification));
            out.name.push(arena.get(reference->name));
            out.location.push(arena.get(reference->location));
        } else {
            out.identification.push_null();
            out.name.push_null();
            out.location.push_null();
        }
        out.source.push(arena.get(system->source));
    }
    return out;
}

}  // namespace quarnel
