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

// The box, area, volume and extent of one product mesh, classified by classify_drift with
// the floor `ok_distance` (see drift.hpp).
MeshStats compute_mesh_stats(const ProductMesh& mesh, float ok_distance);

}  // namespace quarnel
