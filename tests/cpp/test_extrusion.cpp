// Checks of profiles and extrusions through their C++ interfaces: exact vertices, vertex order
// and cap winding, which analyse_drift only shows through boxes, areas and volumes.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

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

static void profile_position() {
    const auto p = profile("#2=IFCRECTANGLEPROFILEDEF(.AREA.,$,#3,2.,4.);#3=IFCAXIS2PLACEMENT2D(#4,#5);"
                           "#4=IFCCARTESIANPOINT((1.,0.));#5=IFCDIRECTION((0.,1.));");
    CHECK(p && p->outer.size() == 4);
    if (!p) return;
    // (-1,-2) turned a quarter and moved by 1 along x: (2 + 1, -1).
    CHECK(p->outer[0].x == 3.0f && p->outer[0].y == -1.0f);
    CHECK(p->outer[2].x == -1.0f && p->outer[2].y == 1.0f);
}

int main() {
    rectangle();
    circle();
    profile_position();
    if (failures) std::fprintf(stderr, "%d check(s) failed\n", failures);
    return failures ? 1 : 0;
}
