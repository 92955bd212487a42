#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mesh/emission.hpp"

namespace quarnel {

// Statistics and drift of one product mesh; 32-bit arithmetic throughout.
struct MeshStats {
    std::string guid;
    std::string type_label;
    std::string_view kind;
    std::string_view severity;  // "ok", "warn" or "error"
    std::string_view placement_kind;  // "placed", or "unplaced": no own translation, mesh away from it
    std::uint32_t triangle_count = 0;
    Vec3 bbox_min;
    Vec3 bbox_max;
    float surface_area = 0.0f;
    float signed_volume = 0.0f;
    Vec3 placement;
    float drift_distance = 0.0f;
    float max_extent = 0.0f;  // at least kMinExtent
    float drift_ratio = 0.0f;

    Vec3 centre() const {
        return {(bbox_min.x + bbox_max.x) * 0.5f, (bbox_min.y + bbox_max.y) * 0.5f, (bbox_min.z + bbox_max.z) * 0.5f};
    }
};

inline constexpr float kMinExtent = 1e-6f;

// Distances below this many model units are "ok" whatever the ratio: 10 mm through the unit
// scale (metres per unit), 10 units where the file gives no length unit.
float ok_distance(std::optional<double> unit_scale);

MeshStats compute_mesh_stats(const ProductMesh& mesh, float ok_distance);

// Fills drift_distance, drift_ratio, severity and placement_kind from the box, placement and
// max_extent; `own_translation` tells whether the product's placement moved it at all.
void classify_drift(MeshStats& stats, float ok_distance, bool own_translation);

}  // namespace quarnel
