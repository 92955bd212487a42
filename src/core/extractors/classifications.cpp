#include "extractors/classifications.hpp"

#include "extractors/common.hpp"
#include "step/flat_map.hpp"
#include "step/type_filter.hpp"

#include <array>
#include <tuple>

namespace quarnel {
namespace {

struct ClassificationEntry {
    std::uint32_t source = kNull, edition = kNull, name = kNull;
    static constexpr std::array kTexts{&ClassificationEntry::source, &ClassificationEntry::edition,
                                       &ClassificationEntry::name};
};

struct ReferenceEntry {
    std::uint32_t location = kNull, identification = kNull, name = kNull;
    std::optional<std::uint64_t> referenced_source;
    static constexpr std::array kTexts{&ReferenceEntry::location, &ReferenceEntry::identification,
                                       &ReferenceEntry::name};
};

// Longer chains are cut: a chain of references that loops must end.
constexpr std::size_t kMaxChain = 32;

constexpr std::string_view kRelation = "IFCRELASSOCIATESCLASSIFICATION";
constexpr std::string_view kReference = "IFCCLASSIFICATIONREFERENCE";
constexpr std::string_view kSystem = "IFCCLASSIFICATION";

// What one part of the records holds, with text ids into its own pool.
struct ClassificationPart {
    TextPool pool;
    IdMap<ClassificationEntry> systems{112};
    IdMap<ReferenceEntry> references{1792};
    std::vector<DefinitionLink> links;
    std::vector<std::uint64_t> members;  // none: references name their source directly

    auto maps() { return std::tie(systems, references); }
};

void read_part(const EntityTable& table, std::size_t begin, std::size_t end, ClassificationPart& part) {
    TextPool& pool = part.pool;
    Attributes record;
    std::vector<std::uint64_t> scratch;
    auto text_at = [&](std::size_t i) { return pool_optional_text(pool, record.at(i)); };

    static constexpr TypeFilter kTypes{kRelation, kReference, kSystem};
    table.for_each_in(begin, end, kTypes, [&](std::uint64_t id, const EntityRecord& r) {
        const std::size_t len = r.type_length;
        if (len != kRelation.size() && len != kReference.size() && len != kSystem.size()) return;
        const std::string_view type = table.type_of(r);
        if (len == kRelation.size()) {
            if (!type_is(type, kRelation)) return;
            record.reset(table.entity(r).attributes);
            append_links(record, 4, 5, part.links, scratch);
        } else if (len == kReference.size()) {
            if (!type_is(type, kReference)) return;
            record.reset(table.entity(r).attributes);
            ReferenceEntry entry;
            entry.location = text_at(0);
            entry.identification = text_at(1);
            entry.name = text_at(2);
            entry.referenced_source = record.ref(3);
            part.references[id] = entry;
        } else {
            if (!type_is(type, kSystem)) return;
            record.reset(table.entity(r).attributes);
            part.systems[id] = ClassificationEntry{text_at(0), text_at(1), text_at(3)};
        }
    });
}

}  // namespace

ClassificationColumns extract_classification_links(const EntityTable& table, const GuidIndex& guids,
                                                   const PartPlan& plan) {
    ClassificationColumns out;
    ClassificationPart all = read_merged<ClassificationPart>(table, plan, read_part);
    out.text = std::move(all.pool);
    TextPool& pool = out.text;
    const auto& systems = all.systems;
    const auto& references = all.references;
    const auto& links = all.links;

    GuidTexts guid_texts(table, guids, pool);
    const ClassificationEntry no_system;
    const ReferenceEntry no_reference;
    std::vector<const ReferenceEntry*> chain;
    const auto push_chain = [&](std::uint32_t guid, std::uint64_t object, const ReferenceEntry* first,
                                const ClassificationEntry* system) {
        chain.clear();
        for (const ReferenceEntry* r = first; r && chain.size() < kMaxChain;) {
            chain.push_back(r);
            if (!r->referenced_source) break;
            const ReferenceEntry* up = references.find(*r->referenced_source);
            if (!up) system = systems.find(*r->referenced_source);
            r = up;
        }
        if (chain.empty()) chain.push_back(&no_reference);
        if (!system) system = &no_system;
        for (std::size_t depth = 0; depth < chain.size(); ++depth) {
            out.chain_guid.push_back(guid);
            out.chain_identification.push_back(chain[depth]->identification);
            out.chain_name.push_back(chain[depth]->name);
            out.chain_location.push_back(chain[depth]->location);
            out.chain_system_name.push_back(system->name);
            out.chain_edition.push_back(system->edition);
            out.chain_source.push_back(system->source);
            out.chain_depth.push_back(depth);
            out.chain_step_id.push_back(object);
        }
    };
    for (const DefinitionLink& link : links) {
        const std::uint32_t guid = guid_texts.of(link.object);
        if (guid == kNull) continue;
        const ReferenceEntry* reference = references.find(link.definition);
        const ClassificationEntry* system = nullptr;
        if (reference) {
            // The reference's own source only here; the chain columns follow it up.
            if (reference->referenced_source) system = systems.find(*reference->referenced_source);
            if (!system) system = &no_system;
        } else {
            system = systems.find(link.definition);
            if (!system) continue;  // a notation, another kind of object, or a dangling id
            reference = &no_reference;
        }
        out.guid.push_back(guid);
        out.system_name.push_back(system->name);
        out.edition.push_back(system->edition);
        out.identification.push_back(reference->identification);
        out.name.push_back(reference->name);
        out.location.push_back(reference->location);
        out.source.push_back(system->source);
        push_chain(guid, link.object, reference == &no_reference ? nullptr : reference,
                   reference == &no_reference ? system : nullptr);
    }

    // RelatingReference at 2, RelatedResourceObjects at 3. Resources have no GlobalId, whatever
    // their first attribute holds.
    static constexpr TypeFilter kExternal{"IFCEXTERNALREFERENCERELATIONSHIP"};
    Attributes record;
    std::vector<std::uint64_t> resources;
    table.for_each_in(0, table.records().size(), kExternal, [&](std::uint64_t, const EntityRecord& r) {
        if (!type_is(table.type_of(r), "IFCEXTERNALREFERENCERELATIONSHIP")) return;
        record.reset(table.entity(r).attributes);
        const auto relating = record.ref(2);
        const ReferenceEntry* reference = relating ? references.find(*relating) : nullptr;
        if (!reference) return;  // a document, a library or another kind of reference
        related_objects(record.piece(3), resources);
        for (const std::uint64_t resource : resources) push_chain(kNull, resource, reference, nullptr);
    });
    return out;
}

}  // namespace quarnel
