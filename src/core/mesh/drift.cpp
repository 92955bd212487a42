#include <cmath>

#include "mesh/stats.hpp"

namespace quarnel {

namespace {

constexpr float kOkRatio = 2.0f;
constexpr double kOkMetres = 0.01;
constexpr float kOkUnits = 10.0f;  // when the file gives no length unit
constexpr float kWarnRatio = 10.0f;

}  // namespace

float ok_distance(std::optional<double> unit_scale) {
    if (!unit_scale || !(*unit_scale > 0.0) || !std::isfinite(*unit_scale)) return kOkUnits;
    return static_cast<float>(kOkMetres / *unit_scale);
}

void classify_drift(MeshStats& s, float ok_distance, bool own_translation) {
    const Vec3 c = s.centre();
    const float dx = c.x - s.placement.x, dy = c.y - s.placement.y, dz = c.z - s.placement.z;
    s.drift_distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    s.drift_ratio = s.drift_distance / s.max_extent;
    if (s.drift_ratio <= kOkRatio || s.drift_distance < ok_distance) {
        s.severity = "ok";
    } else if (s.drift_ratio <= kWarnRatio) {
        s.severity = "warn";
    } else {
        s.severity = "error";  // a NaN ratio lands here too
    }
    s.placement_kind = s.severity != "ok" && !own_translation ? "unplaced" : "placed";
}

}  // namespace quarnel
