// Checks of profiles and extrusions through their C++ interfaces: exact vertices, vertex order
// and cap winding, which analyse_drift only shows through boxes, areas and volumes.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "mesh/cap_triangulation.hpp"
#include "mesh/extrusion.hpp"
#include "mesh/profiles.hpp"
#include "step/entity_table.hpp"

#include "check.hpp"

using namespace quarnel;

static std::string model(const std::string& data) {
    return "ISO-10303-21;\nHEADER;\nENDSEC;\nDATA;\n" + data + "\nENDSEC;\nEND-ISO-10303-21;\n";
}

// The extrusion #1 of `data`.
static std::optional<MeshData> extrusion(const std::string& data) {
    static std::string file;  // the table borrows the text
    file = model(data);
    const EntityTable table = EntityTable::build(file);
    const auto e = table.get(1);
    if (!e) return std::nullopt;
    return mesh_extrusion(table, e->attributes);
}

static std::optional<Profile> profile(const std::string& data) {
    static std::string file;
    file = model(data);
    const EntityTable table = EntityTable::build(file);
    const auto e = table.get(2);
    if (!e) return std::nullopt;
    return build_profile(table, *e);
}

static bool vertex_is(const MeshData& m, std::size_t v, float x, float y, float z) {
    return m.positions[3 * v] == x && m.positions[3 * v + 1] == y && m.positions[3 * v + 2] == z;
}

static void rectangle() {
    const auto m = extrusion("#1=IFCEXTRUDEDAREASOLID(#2,$,#3,3.);#2=IFCRECTANGLEPROFILEDEF(.AREA.,$,$,0.2,0.5);"
                             "#3=IFCDIRECTION((0.,0.,1.));");
    CHECK(m && m->positions.size() == 8 * 3 && m->indices.size() == 12 * 3);
    if (!m) return;
    const float a = 0.2f / 2, b = 0.5f / 2;
    // Bottom ring counter-clockwise from (-a,-b), then the top ring in the same order.
    CHECK(vertex_is(*m, 0, -a, -b, 0) && vertex_is(*m, 1, a, -b, 0) && vertex_is(*m, 2, a, b, 0));
    CHECK(vertex_is(*m, 3, -a, b, 0) && vertex_is(*m, 4, -a, -b, 3) && vertex_is(*m, 7, -a, b, 3));
    // Top-cap triangle (n+t0, n+t1, n+t2) then bottom (t0, t2, t1), for each earcut triangle.
    for (std::size_t k = 0; k < 2; ++k) {
        const auto* t = &m->indices[6 * k];
        CHECK(t[0] >= 4 && t[1] >= 4 && t[2] >= 4);
        CHECK(t[3] == t[0] - 4 && t[4] == t[2] - 4 && t[5] == t[1] - 4);
    }
    // Walls: (i, j, n+j) and (i, n+j, n+i) around the ring, the last one closing on vertex 0.
    const std::vector<std::uint32_t> walls(m->indices.begin() + 12, m->indices.end());
    CHECK((walls == std::vector<std::uint32_t>{0, 1, 5, 0, 5, 4, 1, 2, 6, 1, 6, 5, 2, 3, 7, 2, 7, 6, 3, 0, 4, 3, 4, 7}));
}

static void circle() {
    const auto m = extrusion("#1=IFCEXTRUDEDAREASOLID(#2,$,$,1.);#2=IFCCIRCLEPROFILEDEF(.AREA.,$,$,1.);");
    CHECK(m && m->positions.size() == 64 * 3 && m->indices.size() == (2 * 30 + 2 * 32) * 3);
    if (!m) return;
    CHECK(vertex_is(*m, 0, 1.0f, 0.0f, 0.0f));
    CHECK(vertex_is(*m, 4, 0.70710677f, 0.70710677f, 0.0f));
    CHECK(std::fabs(m->positions[3 * 8]) < 1e-7f && m->positions[3 * 8 + 1] == 1.0f);
    CHECK(vertex_is(*m, 32, 1.0f, 0.0f, 1.0f));
}

static void hollow_circle() {
    const auto p = profile("#2=IFCCIRCLEHOLLOWPROFILEDEF(.AREA.,$,$,1.,2.);");
    CHECK(p && p->outer.size() == 32 && p->holes.size() == 1 && p->holes[0].size() == 32);
    if (!p) return;
    bool centre = true;
    for (const auto& q : p->holes[0]) centre = centre && q.x == 0.0f && q.y == 0.0f;
    CHECK(centre);
    const auto ring = profile("#2=IFCCIRCLEHOLLOWPROFILEDEF(.AREA.,$,$,1.,0.5);");
    // The hole runs clockwise: point k = 31 first.
    CHECK(ring && ring->holes[0][0].x == 0.5f * p->outer[31].x && ring->holes[0][0].y == 0.5f * p->outer[31].y);
}

static void profile_position() {
    const auto p = profile("#2=IFCRECTANGLEPROFILEDEF(.AREA.,$,#3,2.,4.);#3=IFCAXIS2PLACEMENT2D(#4,#5);"
                           "#4=IFCCARTESIANPOINT((1.,0.));#5=IFCDIRECTION((0.,1.));");
    CHECK(p && p->outer.size() == 4);
    if (!p) return;
    // (-1,-2) turned a quarter and moved by 1 along x: (2 + 1, -1).
    CHECK(p->outer[0].x == 3.0f && p->outer[0].y == -1.0f);
    CHECK(p->outer[2].x == -1.0f && p->outer[2].y == 1.0f);
}

static void curves() {
    const auto closed = profile("#2=IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,#3);#3=IFCPOLYLINE((#4,#5,#6,#4));"
                                "#4=IFCCARTESIANPOINT((0.,0.));#5=IFCCARTESIANPOINT((1.,0.));"
                                "#6=IFCCARTESIANPOINT((1.,1.,7.));");
    CHECK(closed && closed->outer.size() == 3 && closed->outer[2].x == 1.0f && closed->outer[2].y == 1.0f);
    // Two points: the repeat is kept (only more than two points lose it).
    const auto pair = profile("#2=IFCARBITRARYCLOSEDPROFILEDEF(.AREA.,$,#3);#3=IFCPOLYLINE((#4,#4));"
                              "#4=IFCCARTESIANPOINT((0.,0.));");
    CHECK(pair && pair->outer.size() == 2);
    const auto voids = profile("#2=IFCARBITRARYPROFILEDEFWITHVOIDS(.AREA.,$,#3,(#7));#3=IFCPOLYLINE((#4,#5,#6));"
                               "#4=IFCCARTESIANPOINT((0.,0.));#5=IFCCARTESIANPOINT((1.,0.));"
                               "#6=IFCCARTESIANPOINT((1.,1.));#7=IFCINDEXEDPOLYCURVE(#8,$,$);"
                               "#8=IFCCARTESIANPOINTLIST2D(((0.1,0.1),(0.2,0.1),(0.2,0.2)));");
    CHECK(voids && voids->holes.size() == 1 && voids->holes[0].size() == 3);
    if (voids) CHECK(voids->holes[0][0].x == 0.2f && voids->holes[0][0].y == 0.2f);  // reversed
}

static void earcut_call() {
    // A square with a square hole: flat x, y array, the hole starting at vertex 4.
    const std::vector<double> xy{0, 0, 4, 0, 4, 4, 0, 4, 1, 1, 1, 3, 3, 3, 3, 1};
    std::vector<std::uint32_t> out;
    earcut(xy, {4}, 2, out);
    CHECK(out.size() == 8 * 3);
    double area = 0;
    for (std::size_t k = 0; k + 2 < out.size(); k += 3) {
        const double* a = &xy[2 * out[k]];
        const double* b = &xy[2 * out[k + 1]];
        const double* c = &xy[2 * out[k + 2]];
        area += std::fabs((b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1])) / 2;
    }
    CHECK(area == 12.0);
    earcut({0, 0, 1, 1}, {}, 2, out);
    CHECK(out.empty());
    // Many holes meeting at one point, some all one point: no fault, every index in range.
    std::vector<double> many{0, 0, 10, 0, 10, 10, 0, 10};
    std::vector<std::uint32_t> holes;
    for (int h = 0; h < 40; ++h) {
        holes.push_back(static_cast<std::uint32_t>(many.size() / 2));
        for (int k = 0; k < 1 + h % 3; ++k) many.insert(many.end(), {5, 5});
        if (h % 2) many.insert(many.end(), {5.0 + h % 5, 5.0 - h % 4});
    }
    earcut(many, holes, 2, out);
    bool in_range = true;
    for (auto i : out) in_range = in_range && i < many.size() / 2;
    CHECK(in_range && !out.empty());
}

int main() {
    rectangle();
    circle();
    hollow_circle();
    profile_position();
    curves();
    earcut_call();
    if (failures) std::fprintf(stderr, "%d check(s) failed\n", failures);
    return failures ? 1 : 0;
}
