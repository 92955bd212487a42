#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "columns.hpp"
#include "mesh/stats.hpp"

namespace quarnel {

// Fills drift_distance, drift_ratio and severity from the box, placement and max_extent.
void classify_drift(MeshStats& stats);

// One row per meshed product: how far its mesh lies from its placement, and
// how many rows have each severity.
struct DriftColumns {
    StringColumn guid;
    StringColumn entity;
    std::vector<std::string_view> source;    // static labels
    std::vector<std::string_view> severity;  // "ok", "warn" or "error"
    std::vector<std::uint32_t> triangle_count;
    std::vector<float> surface_area, volume_abs, placement_x, placement_y, placement_z, centroid_x, centroid_y,
        centroid_z, drift_distance, max_extent, drift_ratio;
    std::uint64_t ok = 0, warn = 0, error = 0;
    double entity_table_ms = 0.0;
    double mesh_emission_ms = 0.0;
};

// Meshes the body of every product of the file and measures its drift.
DriftColumns analyse_drift(std::string_view file);

}  // namespace quarnel
