#pragma once
#include <optional>
#include <vector>

#include "columns.hpp"
#include "step/entity_table.hpp"

namespace quarnel {

// Where every placed object stands in the world, without meshing: one row per object with a
// GlobalId and an object placement, in file order. Locations in metres (model units when the
// file assigns no length unit) resolved in double precision; the rotation as the world directions
// of the local x and z axes.
// The facts are the scales of the assigned units, for values measured in them, and the
// precision the first 3D representation context states (in metres, like the locations).
struct PlacementColumns {
    StringColumn guid;
    StringColumn entity;
    std::vector<double> x, y, z, x_axis_x, x_axis_y, x_axis_z, z_axis_x, z_axis_y, z_axis_z;
    std::optional<double> length_scale, area_scale, volume_scale, angle_scale, precision;
};

PlacementColumns world_placements(const EntityTable& table);

}  // namespace quarnel
