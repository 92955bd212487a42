// Mesh emission (placements, items, profiles, mapped items) and the
// statistics and drift classification of every product mesh.
#include <cmath>

#include "invariants.hpp"
#include "mesh/emission.hpp"
#include "mesh/drift.hpp"
#include "mesh/stats.hpp"

using namespace quarnel;
using namespace quarnel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const MeshEmission emission = emit_meshes(as_file(data, size));
    for (const ProductMesh& mesh : emission.meshes) {
        require(is_valid_utf8(mesh.guid) && is_valid_utf8(mesh.type_label) && is_valid_utf8(mesh.kind));
        require(mesh.positions.size() % 3 == 0 && mesh.indices.size() % 3 == 0);
        const std::size_t vertices = mesh.positions.size() / 3;
        for (const std::uint32_t i : mesh.indices) require(i < vertices);
        const MeshStats stats = compute_mesh_stats(mesh, ok_distance(emission.unit_scale));
        require(stats.triangle_count == mesh.indices.size() / 3);
        require(stats.severity == "ok" || stats.severity == "warn" || stats.severity == "error");
        require(!(stats.max_extent < kMinExtent));
        require(stats.placement_kind == "placed" || stats.placement_kind == "unplaced");
    }
    return 0;
}
