#pragma once
#include <optional>
#include <string_view>

#include "mesh/profiles.hpp"
#include "step/values.hpp"

namespace quarnel {

// Further parameterised sections, centred on their bounding box: the hollow rectangle (with its
// void), C, trapezium and asymmetric I. Absent for other types or missing parameters; the
// caller places the result by the profile's Position.
std::optional<Profile> build_section_profile(std::string_view type, Attributes& attributes);

}  // namespace quarnel
