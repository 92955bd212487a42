#include <cmath>

#include "mesh/stats.hpp"

namespace quarnel {

namespace {

constexpr float kOkRatio = 2.0f;
constexpr float kOkDistance = 10.0f;  // in the file's own length unit
constexpr float kWarnRatio = 10.0f;

}  // namespace

void classify_drift(MeshStats& s) {
    const Vec3 c = s.centre();
    const float dx = c.x - s.placement.x, dy = c.y - s.placement.y, dz = c.z - s.placement.z;
    s.drift_distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    s.drift_ratio = s.drift_distance / s.max_extent;
    if (s.drift_ratio <= kOkRatio || s.drift_distance < kOkDistance) {
        s.severity = "ok";
    } else if (s.drift_ratio <= kWarnRatio) {
        s.severity = "warn";
    } else {
        s.severity = "error";  // a NaN ratio lands here too
    }
}

}  // namespace quarnel
