#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarnel {

// Ear-clipping triangulation of one polygon with holes (mapbox earcut). `coords` holds `dim`
// values per vertex of which x and y are read, the outer ring first and then each hole;
// `hole_indices` gives the vertex index at which each hole begins. Writes vertex indices into
// `out`, three per triangle (cleared first; empty when nothing can be triangulated). A polygon
// of more than kMaxEarcutVertices points is not ear-clipped: it gets a fan over its outer ring.
inline constexpr std::size_t kMaxEarcutVertices = 10000;
void earcut(const std::vector<double>& coords, const std::vector<std::uint32_t>& hole_indices, std::size_t dim,
            std::vector<std::uint32_t>& out);

}  // namespace quarnel
