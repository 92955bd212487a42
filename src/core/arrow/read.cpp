#include "arrow/read.hpp"

#include <cstdint>

#include "arrow/tables.hpp"
#include "clock.hpp"
#include "mesh/drift.hpp"
#include "mesh/emission.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"
#include "step/resident.hpp"

namespace quarnel::arrow {
namespace {

void run_extractors(const EntityTable& table, unsigned passes, Reads& r) {
    Instant t = Instant::now();
    GuidIndex guids = GuidIndex::build(table);
    r.guid_index_ms = ms_since(t);
    if (passes & kPsets) {
        t = Instant::now();
        r.psets.emplace(extract_property_sets(table, guids));
        r.psets_ms = ms_since(t);
    }
    if (passes & kQuantities) {
        t = Instant::now();
        r.quantities.emplace(extract_element_quantities(table, guids));
        r.quantities_ms = ms_since(t);
    }
    if (passes & kMaterials) {
        t = Instant::now();
        r.materials.emplace(extract_material_assignments(table, guids));
        r.materials_ms = ms_since(t);
    }
    if (passes & kClassifications) {
        t = Instant::now();
        r.classifications.emplace(extract_classification_links(table, guids));
        r.classifications_ms = ms_since(t);
    }
    if (passes & kProperties) {
        t = Instant::now();
        r.properties.emplace(extract_properties(table, guids));
        r.properties_ms = ms_since(t);
    }
    if (passes & kElementQuantities) {
        t = Instant::now();
        r.element_quantities.emplace(extract_element_quantity_rows(table, guids));
        r.element_quantities_ms = ms_since(t);
    }
    if (passes & kElements) {
        t = Instant::now();
        r.elements.emplace(extract_elements(table, guids));
        r.elements_ms = ms_since(t);
    }
}

void run_drift(const EntityTable& table, Reads& r) {
    const Instant start = Instant::now();
    MeshEmission emission = emit_meshes(table);
    r.mesh_emission_ms = emission.mesh_emission_ms;
    r.mesh_entity_table_ms = r.entity_table_ms;
    std::vector<MeshStats> rows;
    rows.reserve(emission.meshes.size());
    const float floor = ok_distance(emission.unit_scale);
    for (const ProductMesh& mesh : emission.meshes) rows.push_back(compute_mesh_stats(mesh, floor));
    r.drift.emplace(std::move(rows));
    r.drift_total_ms = r.entity_table_ms + ms_since(start);
}

// Runs the passes over one entity table, built only when a pass needs it: the index alone
// reads the file in one streaming scan instead.
void run_passes(std::string_view file, unsigned passes, Reads& r) {
    if (!(passes & (kExtractors | kDrift))) {
        const Instant t = Instant::now();
        r.index.emplace(index_model(file));
        r.index_ms = ms_since(t);
        return;
    }
    Instant t = Instant::now();
    // Lives only for the passes: the columns borrow the mapping, not the table.
    const EntityTable table = EntityTable::build(file);
    r.entity_table_ms = ms_since(t);
    // The scan has touched every page; the passes read only the records they want.
    ResidentTrail::drop_all(file);
    if (passes & kExtractors) run_extractors(table, passes, r);
    if (passes & kIndex) {
        t = Instant::now();
        r.index.emplace(index_model(table));
        r.index_ms = ms_since(t);
    }
    if (passes & kDrift) run_drift(table, r);
}

void free_result(Pass pass, Reads& r) {
    switch (pass) {
        case kPsets: r.psets.reset(); break;
        case kQuantities: r.quantities.reset(); break;
        case kMaterials: r.materials.reset(); break;
        case kClassifications: r.classifications.reset(); break;
        case kIndex: r.index.reset(); break;
        case kDrift: r.drift.reset(); break;
        case kProperties: r.properties.reset(); break;
        case kElementQuantities: r.element_quantities.reset(); break;
        case kElements: r.elements.reset(); break;
        default: break;
    }
}

}  // namespace

std::vector<Exported> read_tables(std::string_view file, const ReadFacts& facts, const std::vector<Request>& requests,
                                  std::string& error) {
    std::vector<const TableDef*> defs;
    unsigned passes = 0;
    for (const Request& request : requests) {
        const TableDef* def = find_table(request.table);
        if (!def) {
            error = "no table '" + request.table + "'";
            return {};
        }
        defs.push_back(def);
        passes |= def->pass;
    }

    Reads r;
    r.size_bytes = facts.size_bytes;
    r.open_ms = facts.open_ms;
    if (passes) run_passes(file, passes, r);
    ResidentTrail::drop_all(file);

    std::vector<Exported> out;
    out.reserve(requests.size());
    try {
        for (std::size_t i = 0; i < requests.size(); ++i) {
            {
                Table table = defs[i]->make(r);
                if (requests[i].columns && !table.select(*requests[i].columns)) {
                    error = "table '" + requests[i].table + "' has no such column";
                    release(out);
                    return {};
                }
                Exported e;
                export_table(table, &e.schema, &e.stream);
                out.push_back(e);
            }
            // A result no later table needs is freed at once: the read's peak is then one
            // result and its Arrow buffers, not every result at once.
            unsigned later = 0;
            for (std::size_t j = i + 1; j < requests.size(); ++j) later |= defs[j]->pass;
            if (!(later & defs[i]->pass)) free_result(defs[i]->pass, r);
        }
    } catch (...) {
        release(out);
        throw;
    }
    return out;
}

void release(std::vector<Exported>& exported) {
    for (Exported& e : exported) {
        if (e.schema.release) e.schema.release(&e.schema);
        if (e.stream.release) e.stream.release(&e.stream);
    }
    exported.clear();
}

}  // namespace quarnel::arrow
