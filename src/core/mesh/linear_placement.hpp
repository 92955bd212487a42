#pragma once
#include <optional>

#include "mesh/placement.hpp"

namespace quarnel {

// An IFCLINEARPLACEMENT in model coordinates: the frame of its PlacementRelTo times the
// point at its distance along its basis curve when that curve is an IFCPOLYLINE or an
// IFCINDEXEDPOLYCURVE (measured along the points, moved by the lateral offset to the left,
// the vertical one up and the longitudinal one ahead; x along the curve, z up). Other
// alignment curves (gradient, segmented reference and clothoid curves) are not followed:
// the CartesianPosition the file gives stands in for them. The placement's own Axis and
// RefDirection are not read. Absent when neither can be read.
std::optional<PlacementMatrix> linear_placement_frame(const EntityTable& table, PlacementCache& cache,
                                                      const Entity& placement);

}  // namespace quarnel
