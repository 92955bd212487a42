#pragma once
#include <optional>

#include "step/entity_table.hpp"

namespace quarnel {

// The units a mesh-emission pass needs: metres per length unit (absent without a length
// unit) and radians per plane angle unit (radians when the file assigns none).
struct ModelUnits {
    std::optional<double> length;
    double plane_angle = 1.0;
};

// The units of the file's first unit assignment.
ModelUnits read_model_units(const EntityTable& table);

// Radians per plane angle unit of the pass meshing on this thread: trimmed curves and
// revolutions give their parameters in it. 1 outside a pass.
double radians_per_angle_unit();

// Makes `units` the ones radians_per_angle_unit() reports on this thread while it lives.
class ModelUnitsScope {
public:
    explicit ModelUnitsScope(const ModelUnits& units);
    ~ModelUnitsScope();
    ModelUnitsScope(const ModelUnitsScope&) = delete;
    ModelUnitsScope& operator=(const ModelUnitsScope&) = delete;

private:
    double saved_;
};

}  // namespace quarnel
