// Every extractor read in many parts (and the property-set join in many
// parts) gives the rows of one part, in the same order. The blocks of the model
// differ in every text and point at each other's definitions, so a part's entry
// that lands in another part's texts or members shows as a changed row.
#include <string>
#include <vector>

#include "extractors/classifications.hpp"
#include "extractors/element_quantities.hpp"
#include "extractors/materials.hpp"
#include "extractors/properties.hpp"
#include "extractors/psets.hpp"
#include "extractors/quantities.hpp"
#include "step/entity_table.hpp"
#include "step/guid_index.hpp"

#include "check.hpp"

using namespace quarnel;

namespace {

constexpr int kBlocks = 12;

std::string id(int block, int item) { return "#" + std::to_string(block * 100 + item); }

// Block k's objects take their definitions from other blocks: k + 5 and k + 7.
std::string block(int k) {
    const int j = (k + 5) % kBlocks, m = (k + 7) % kBlocks;
    const std::string n = std::to_string(k);
    std::string guid = "G" + std::string(20 - n.size(), '0') + n + "x";
    const auto rel = [&](int item) { return "'R" + std::to_string(k * 100 + item) + "',$,$,$,(" + id(j, 1) + "),"; };
    std::string s;
    const auto line = [&](int item, const std::string& text) { s += id(k, item) + "=" + text + ";\n"; };
    line(1, "IFCWALL('" + guid + "',$,'Wall" + n + "',$,$,$,$,$)");
    line(2, "IFCPROPERTYSINGLEVALUE('Pa" + n + "',$,IFCLABEL('va" + n + "'),$)");
    line(3, "IFCPROPERTYSINGLEVALUE('Pb\\X2\\00E4\\X0\\" + n + "',$,IFCREAL(" + n + ".5),$)");
    line(4, "IFCPROPERTYSET('S" + n + "',$,'Pset_" + n + "',$,(" + id(k, 2) + "," + id(k, 3) + "))");
    line(5, "IFCRELDEFINESBYPROPERTIES(" + rel(5) + id(m, 4) + ")");
    line(6, "IFCQUANTITYLENGTH('Len" + n + "',$," + id(k, 30) + "," + n + ".25)");
    line(7, "IFCQUANTITYAREA('Ar\\X2\\00E4\\X0\\" + n + "',$,$," + n + "0.5)");
    line(8, "IFCELEMENTQUANTITY('Q" + n + "',$,'Qto_" + n + "',$,$,(" + id(k, 6) + "," + id(k, 7) + "))");
    line(9, "IFCRELDEFINESBYPROPERTIES(" + rel(9) + id(m, 8) + ")");
    line(10, "IFCMATERIAL('Mat" + n + "',$,'Cat\\X2\\00E4\\X0\\" + n + "')");
    line(11, "IFCMATERIALLAYER(" + id(k, 10) + "," + n + ".5,$,'Layer" + n + "',$,'LCat" + n + "',$)");
    line(12, "IFCMATERIALLAYER(" + id(m, 10) + ",1.5,$,$,$,$,$)");
    line(13, "IFCMATERIALLAYERSET((" + id(k, 11) + "," + id(k, 12) + "),'Set" + n + "',$)");
    line(14, "IFCMATERIALLAYERSETUSAGE(" + id(k, 13) + ",.AXIS2.,.POSITIVE.,0.)");
    line(15, "IFCMATERIALLIST((" + id(k, 10) + "," + id(m, 10) + "))");
    line(16, "IFCRELASSOCIATESMATERIAL(" + rel(16) + id(m, 10) + ")");
    line(17, "IFCRELASSOCIATESMATERIAL(" + rel(17) + id(m, 14) + ")");
    line(18, "IFCRELASSOCIATESMATERIAL(" + rel(18) + id(m, 15) + ")");
    line(19, "IFCCLASSIFICATION('Src" + n + "','Ed" + n + "',$,'Sys\\X2\\00E4\\X0\\" + n + "',$,$,$)");
    line(20, "IFCCLASSIFICATIONREFERENCE('Loc" + n + "','Id" + n + "','Ref" + n + "'," + id(m, 19) + ",$,$)");
    line(21, "IFCRELASSOCIATESCLASSIFICATION(" + rel(21) + id(m, 20) + ")");
    line(22, "IFCRELASSOCIATESCLASSIFICATION(" + rel(22) + id(m, 19) + ")");
    // Block k's type serves the wall that takes block m's set; its own set bears that set's name and
    // holds one of its properties (overridden by the wall's own) and one of its own.
    const std::string m_name = std::to_string(m);
    line(23, "IFCWALLTYPE('T" + guid.substr(1) + "',$,'Type" + n + "',$,$,(" + id(k, 24) + "),$,$,$,.STANDARD.)");
    line(24, "IFCPROPERTYSET('TS" + n + "',$,'Pset_" + m_name + "',$,(" + id(m, 2) + "," + id(k, 25) + "))");
    line(25, "IFCPROPERTYSINGLEVALUE('Pc" + n + "',$,IFCLABEL('vc" + n + "'),$)");
    line(26, "IFCRELDEFINESBYTYPE(" + rel(26) + id(k, 23) + ")");
    return s;
}

std::string model() {
    std::string s = "ISO-10303-21;\nHEADER;\nFILE_SCHEMA(('IFC4'));\nENDSEC;\nDATA;\n";
    for (int k = 0; k < kBlocks; ++k) s += block(k);
    return s + "ENDSEC;\nEND-ISO-10303-21;\n";
}

using Rows = std::vector<std::string>;

struct RowWriter {
    const TextPool& pool;
    Rows rows;
    std::string row;

    void text(std::uint32_t t) { row += (t == TextPool::null ? std::string("<null>") : std::string(pool[t])) + "|"; }
    void text(const std::optional<std::string_view>& t) { row += (t ? std::string(*t) : std::string("<null>")) + "|"; }
    template <class T>
    void other(const T& v) {
        if constexpr (requires { v.has_value(); }) {
            row += v ? std::to_string(*v) : std::string("<null>");
        } else {
            row += std::to_string(v);
        }
        row += "|";
    }
    void end() { rows.push_back(std::move(row)), row.clear(); }
};

const TextColumn& flat(const TextColumnParts& c, TextColumn& out) {
    out.clear();
    for (const TextColumn& p : c.parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Rows rows_of(const PsetColumns& c) {
    RowWriter w{c.text};
    TextColumn g, s, p, v, t;
    flat(c.guid, g), flat(c.pset_name, s), flat(c.prop_name, p), flat(c.value, v), flat(c.value_type, t);
    for (std::size_t i = 0; i < g.size(); ++i) w.text(g[i]), w.text(s[i]), w.text(p[i]), w.text(v[i]), w.text(t[i]), w.end();
    return w.rows;
}

Rows rows_of(const QtoColumns& c) {
    RowWriter w{c.text};
    for (std::size_t i = 0; i < c.guid.size(); ++i) {
        w.text(c.guid[i]), w.text(c.qto_name[i]), w.text(c.quantity_name[i]), w.text(c.value[i]);
        w.text(c.quantity_type[i]), w.other(c.unit_step_id[i]), w.end();
    }
    return w.rows;
}

Rows rows_of(const MaterialColumns& c) {
    RowWriter w{c.text};
    for (std::size_t i = 0; i < c.guid.size(); ++i) {
        w.text(c.guid[i]), w.text(c.role[i]), w.other(c.layer_index[i]), w.text(c.material_name[i]);
        w.other(c.layer_thickness[i]), w.text(c.category[i]), w.end();
    }
    return w.rows;
}

Rows rows_of(const ClassificationColumns& c) {
    RowWriter w{c.text};
    for (std::size_t i = 0; i < c.guid.size(); ++i) {
        w.text(c.guid[i]), w.text(c.system_name[i]), w.text(c.edition[i]), w.text(c.identification[i]);
        w.text(c.name[i]), w.text(c.location[i]), w.text(c.source[i]), w.end();
    }
    return w.rows;
}

Rows rows_of(const PropertyColumns& c) {
    RowWriter w{c.text};
    for (std::size_t i = 0; i < c.size(); ++i) {
        w.text(c.guid[i]), w.text(c.entity[i]), w.text(c.pset_name[i]), w.text(c.prop_name[i]), w.text(c.value[i]);
        w.text(c.value_type[i]), w.other(c.number[i]), w.text(c.kind.at(i)), w.text(c.source.at(i)), w.text(c.type_guid[i]);
        w.other(c.value_index[i]), w.text(c.role.at(i)), w.end();
    }
    return w.rows;
}

Rows rows_of(const ElementQuantityColumns& c) {
    RowWriter w{c.text};
    for (std::size_t i = 0; i < c.size(); ++i) {
        w.text(c.guid[i]), w.text(c.entity[i]), w.text(c.qto_name[i]), w.text(c.quantity_name[i]), w.text(c.value[i]);
        w.other(c.number[i]), w.text(c.quantity_type[i]), w.text(c.unit[i]), w.text(c.source[i]);
        w.text(c.type_guid[i]), w.end();
    }
    return w.rows;
}

template <class Extract>
void same_rows_in_parts(const char* name, const EntityTable& table, const GuidIndex& guids, Extract extract,
                        std::size_t expected_rows) {
    const Rows one = rows_of(extract(table, guids, PartPlan{}));
    CHECK(one.size() == expected_rows);
    for (const std::size_t parts : {2, 3, 7}) {
        const PartPlan many{.min_records = 5, .min_links = 2, .max_parts = parts};
        CHECK(many.record_parts(table.records().size()) == parts);
        const Rows split = rows_of(extract(table, guids, many));
        if (split != one) std::fprintf(stderr, "%s: %zu parts give other rows\n", name, parts);
        CHECK(split == one);
    }
}

}  // namespace

int main() {
    const std::string text = model();
    const EntityTable table = EntityTable::build(text);
    const GuidIndex guids = GuidIndex::build(table);
    CHECK(table.size() == kBlocks * 26);
    // Two properties per set and two quantities per quantity set; materials: a
    // direct row, two layers and two list entries; classifications: a
    // reference's and a system's.
    same_rows_in_parts("psets", table, guids, [](const auto&... a) { return extract_property_sets(a...); }, kBlocks * 2);
    same_rows_in_parts("quantities", table, guids, [](const auto&... a) { return extract_element_quantities(a...); }, kBlocks * 2);
    same_rows_in_parts("materials", table, guids, [](const auto&... a) { return extract_material_assignments(a...); }, kBlocks * 5);
    same_rows_in_parts("classifications", table, guids, [](const auto&... a) { return extract_classification_links(a...); },
                       kBlocks * 2);
    // Properties: the wall's two of its own and its type's one not overridden, the type's two.
    same_rows_in_parts("properties", table, guids, [](const auto&... a) { return extract_properties(a...); }, kBlocks * 5);
    same_rows_in_parts("element quantities", table, guids,
                       [](const auto&... a) { return extract_element_quantity_rows(a...); }, kBlocks * 2);
    return failures == 0 ? 0 : 1;
}
