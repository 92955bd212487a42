#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "columns.hpp"
#include "mesh/stats.hpp"

namespace quarnel {

// How drift is judged: closer than kOkMetres (kOkUnits model units when the file gives no
// length unit) is "ok" whatever the ratio; otherwise the ratio of the distance to the product's
// largest extent is "ok" up to kOkRatio, "warn" up to kWarnRatio, "error" beyond (or NaN).
inline constexpr double kOkMetres = 0.01;
inline constexpr float kOkUnits = 10.0f;
inline constexpr float kOkRatio = 2.0f;
inline constexpr float kWarnRatio = 10.0f;

// Distances below this many model units are "ok" whatever the ratio.
float ok_distance(std::optional<double> unit_scale);

// Fills drift_distance, drift_ratio, severity and placement_kind from the box, placement and
// max_extent; `own_translation` tells whether the product's placement moved it at all.
void classify_drift(MeshStats& stats, float ok_distance, bool own_translation);

// One row per meshed product: how far its mesh lies from its placement, and
// how many rows have each severity.
struct DriftColumns {
    StringColumn guid;
    StringColumn entity;
    std::vector<std::string_view> source;    // static labels
    std::vector<std::string_view> severity;  // "ok", "warn" or "error"
    // "unplaced" where the product's placement adds nothing to its container's and the mesh
    // lies away (the shape alone locates it), else "placed". Not in analyse_drift's dict.
    std::vector<std::string_view> placement;
    std::vector<std::uint32_t> triangle_count;
    std::vector<float> surface_area, volume_abs, placement_x, placement_y, placement_z, centroid_x, centroid_y,
        centroid_z, drift_distance, max_extent, drift_ratio;
    std::uint64_t ok = 0, warn = 0, error = 0;
    double entity_table_ms = 0.0;
    double mesh_emission_ms = 0.0;
};

struct MeshEmission;

// The drift rows of meshed products; each mesh is let go once its row is made.
DriftColumns drift_columns(MeshEmission&& emission);

// Meshes the body of every product of the file and measures its drift.
DriftColumns analyse_drift(std::string_view file);

}  // namespace quarnel
