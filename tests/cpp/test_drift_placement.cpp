// The placement class of a drift row, which only the Arrow face reports: a product whose own
// placement adds nothing to its container's while its mesh lies away is "unplaced".
#include <cstdio>
#include <string>

#include "mesh/emission.hpp"
#include "mesh/drift.hpp"
#include "mesh/stats.hpp"

#include "check.hpp"

using namespace quarnel;

// A storey placed at (100,0,0) and one product relative to it, moved by `own` (x,y,z), whose
// triangle lies `away` along x from the product's placement; a metre model.
static MeshStats product(const std::string& own, float away) {
    static std::string file;
    const std::string a = std::to_string(away);
    file = "ISO-10303-21;\nHEADER;\nENDSEC;\nDATA;\n"
           "#1=IFCUNITASSIGNMENT((#2));#2=IFCSIUNIT(*,.LENGTHUNIT.,$,.METRE.);\n"
           "#10=IFCCARTESIANPOINT((100.,0.,0.));#11=IFCAXIS2PLACEMENT3D(#10,$,$);#12=IFCLOCALPLACEMENT($,#11);\n"
           "#20=IFCCARTESIANPOINT((" + own + "));#21=IFCAXIS2PLACEMENT3D(#20,$,$);#22=IFCLOCALPLACEMENT(#12,#21);\n"
           "#30=IFCCARTESIANPOINTLIST3D(((" + a + ",0.,0.),(" + a + ",1.,0.),(" + a + ",0.,1.)));\n"
           "#31=IFCTRIANGULATEDFACESET(#30,$,$,((1,2,3)),$);\n"
           "#32=IFCSHAPEREPRESENTATION($,'Body','Tessellation',(#31));#33=IFCPRODUCTDEFINITIONSHAPE($,$,(#32));\n"
           "#40=IFCWALL('w',$,$,$,$,#22,#33,$,$);\n"
           "ENDSEC;\nEND-ISO-10303-21;\n";
    const MeshEmission emission = emit_meshes(file);
    CHECK(emission.meshes.size() == 1);
    CHECK(emission.unit_scale && *emission.unit_scale == 1.0);
    if (emission.meshes.size() != 1) return {};
    return compute_mesh_stats(emission.meshes[0], ok_distance(emission.unit_scale));
}

int main() {
    CHECK(product("0.,0.,0.", 50.0f).placement_kind == "unplaced");  // located by its shape alone
    CHECK(product("0.,0.,0.", 50.0f).severity == "error");
    CHECK(product("5.,0.,0.", 50.0f).placement_kind == "placed");  // moved by its placement, then drifted
    CHECK(product("0.,0.,5.", 50.0f).placement_kind == "placed");  // moved up only
    CHECK(product("0.,0.,0.", 0.0f).placement_kind == "placed");   // at its container's origin and there
    // The floor is 10 mm in model units, 10 units without a length unit.
    CHECK(ok_distance(1.0) == 0.01f && ok_distance(0.001) == 10.0f && ok_distance(std::nullopt) == 10.0f);
    if (failures) std::fprintf(stderr, "%d check(s) failed\n", failures);
    return failures ? 1 : 0;
}
