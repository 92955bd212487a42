#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mesh/geometry.hpp"

namespace quarnel {

class EntityTable;

// One meshed product in model coordinates (the file's own length unit).
struct ProductMesh {
    std::string guid;
    std::string type_label;
    std::vector<float> positions;
    std::vector<std::uint32_t> indices;
    std::string_view kind;  // label of the last sub-mesh
    Vec3 origin;            // translation of the resolved placement
    // False when the product's placement adds no translation to its container's (the
    // placement it is relative to, or the world): the shape alone then says where it is.
    bool own_translation = true;
};

struct MeshEmission {
    std::vector<ProductMesh> meshes;
    double mesh_emission_ms = 0.0;
    double entity_table_ms = 0.0;
    std::optional<double> unit_scale;  // metres per model length unit, absent without a length unit
};

// Meshes the body representation of every product of the file.
MeshEmission emit_meshes(std::string_view file);
// The same over a table already built from the file (entity_table_ms is then 0).
MeshEmission emit_meshes(const EntityTable& table);

}  // namespace quarnel
