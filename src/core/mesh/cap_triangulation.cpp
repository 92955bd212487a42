#include "mesh/cap_triangulation.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <mapbox/earcut.hpp>

namespace quarnel {
namespace {

// Rings over the flat coordinate array, in the shape earcut.hpp reads (size, operator[],
// value_type); vertex indices come out as positions in the flat array.
struct RingView {
    using value_type = std::array<double, 2>;
    const double* coords;
    std::size_t dim;
    const std::uint32_t* map;  // vertex number of each ring point; null: first + i
    std::size_t first;
    std::size_t count;

    std::size_t size() const { return count; }
    bool empty() const { return count == 0; }
    value_type operator[](std::size_t i) const {
        const std::size_t v = map ? map[first + i] : first + i;
        const double* p = coords + v * dim;
        return {p[0], p[1]};
    }
};

struct PolygonView {
    std::vector<RingView> rings;
    std::size_t size() const { return rings.size(); }
    bool empty() const { return rings.empty(); }
    const RingView& operator[](std::size_t i) const { return rings[i]; }
};

bool same_point(const double* coords, std::size_t dim, std::uint32_t a, std::uint32_t b) {
    const double* p = coords + static_cast<std::size_t>(a) * dim;
    const double* q = coords + static_cast<std::size_t>(b) * dim;
    return p[0] == q[0] && p[1] == q[1];
}

}  // namespace

void earcut(const std::vector<double>& coords, const std::vector<std::uint32_t>& hole_indices, std::size_t dim,
            std::vector<std::uint32_t>& out) {
    out.clear();
    if (dim < 2) return;
    const std::size_t vertex_count = coords.size() / dim;
    if (vertex_count < 3) return;

    // The z-order hash of earcut converts coordinates to integers: not defined for NaN or infinity.
    for (std::size_t i = 0; i < vertex_count; ++i) {
        if (!std::isfinite(coords[i * dim]) || !std::isfinite(coords[i * dim + 1])) return;
    }

    // Ear clipping is quadratic at worst, and a convex ring is such a case: 40,000 points take
    // seconds, a million take hours. No real profile comes near this size; beyond it the cap
    // is a fan over the outer ring, so that a hostile file cannot stall the call.
    if (vertex_count > kMaxEarcutVertices) {
        const std::size_t outer = hole_indices.empty() ? vertex_count
                                                       : std::min<std::size_t>(hole_indices.front(), vertex_count);
        out.reserve(outer >= 3 ? 3 * (outer - 2) : 0);
        for (std::size_t k = 1; k + 1 < outer; ++k) {
            out.insert(out.end(), {0u, static_cast<std::uint32_t>(k), static_cast<std::uint32_t>(k + 1)});
        }
        return;
    }

    std::vector<std::size_t> starts;
    starts.reserve(hole_indices.size() + 2);
    starts.push_back(0);
    for (const std::uint32_t h : hole_indices) {
        const std::size_t s = h < vertex_count ? h : vertex_count;
        starts.push_back(s < starts.back() ? starts.back() : s);
    }
    starts.push_back(vertex_count);

    PolygonView polygon;
    polygon.rings.reserve(starts.size() - 1);
    // Earcut numbers its nodes in the order the rings are read; when holes are thinned below,
    // `mapped` turns those numbers back into vertex numbers.
    std::vector<std::uint32_t> mapped;
    const bool thinned = starts.size() - 2 >= 2;
    if (!thinned) {
        for (std::size_t r = 0; r + 1 < starts.size(); ++r) {
            polygon.rings.push_back({coords.data(), dim, nullptr, starts[r], starts[r + 1] - starts[r]});
        }
    } else {
        // Earcut orders holes by their leftmost point and breaks ties by the slope to the next
        // point; a hole point equal to its successor makes that slope 0/0, an inconsistent sort
        // order that std::sort may follow out of bounds. Such repeats are dropped from holes
        // (earcut drops them from the merged ring later anyway), and so are holes left with a
        // single point.
        mapped.reserve(vertex_count);
        std::vector<std::size_t> ring_begin;
        ring_begin.reserve(starts.size());
        for (std::size_t r = 0; r + 1 < starts.size(); ++r) {
            const std::size_t begin = mapped.size();
            ring_begin.push_back(begin);
            for (std::size_t i = starts[r]; i < starts[r + 1]; ++i) {
                const auto v = static_cast<std::uint32_t>(i);
                if (r > 0 && mapped.size() > begin && same_point(coords.data(), dim, mapped.back(), v)) continue;
                mapped.push_back(v);
            }
            if (r > 0) {
                while (mapped.size() - begin > 1 && same_point(coords.data(), dim, mapped.back(), mapped[begin])) {
                    mapped.pop_back();
                }
                if (mapped.size() - begin < 2) mapped.resize(begin);
            }
        }
        ring_begin.push_back(mapped.size());
        for (std::size_t r = 0; r + 1 < ring_begin.size(); ++r) {
            const std::size_t count = ring_begin[r + 1] - ring_begin[r];
            if (r > 0 && count == 0) continue;
            polygon.rings.push_back({coords.data(), dim, mapped.data(), ring_begin[r], count});
        }
    }

    mapbox::detail::Earcut<std::uint32_t> run;
    run(polygon);
    out = std::move(run.indices);
    if (thinned) {
        for (auto& index : out) index = mapped[index];
    }
}

}  // namespace quarnel
