#include "indexer/catalogue.hpp"

#include <array>
#include <cstring>

#include "schema/names.hpp"

namespace quarnel {
namespace {

using R = TypeRole;

// The type names the index knows, as written in files, and what it makes of them. Their schema
// spelling is the schema table's. The products are the rows in this order without the `Other`
// rows and the storey.
struct Row {
    std::string_view upper;
    TypeRole role;
    std::string_view own_spelling = "";  // for a name no schema has
};

constexpr std::array<Row, 136> kRows{{
    {"IFCWALL",                               R::Product},
    {"IFCWALLSTANDARDCASE",                   R::Product},
    {"IFCWALLELEMENTEDCASE",                  R::Product},
    {"IFCCURTAINWALL",                        R::Product},
    {"IFCSLAB",                               R::Product},
    {"IFCSLABSTANDARDCASE",                   R::Product},
    {"IFCSLABELEMENTEDCASE",                  R::Product},
    {"IFCPLATE",                              R::Product},
    {"IFCPLATESTANDARDCASE",                  R::Product},
    {"IFCBEAM",                               R::Product},
    {"IFCBEAMSTANDARDCASE",                   R::Product},
    {"IFCCOLUMN",                             R::Product},
    {"IFCCOLUMNSTANDARDCASE",                 R::Product},
    {"IFCMEMBER",                             R::Product},
    {"IFCMEMBERSTANDARDCASE",                 R::Product},
    {"IFCFOOTING",                            R::Product},
    {"IFCPILE",                               R::Product},
    {"IFCDOOR",                               R::Product},
    {"IFCDOORSTANDARDCASE",                   R::Product},
    {"IFCWINDOW",                             R::Product},
    {"IFCWINDOWSTANDARDCASE",                 R::Product},
    {"IFCOPENINGELEMENT",                     R::Product},
    {"IFCVOIDINGFEATURE",                     R::Product},
    {"IFCSURFACEFEATURE",                     R::Product},
    {"IFCSTAIR",                              R::Product},
    {"IFCSTAIRFLIGHT",                        R::Product},
    {"IFCRAMP",                               R::Product},
    {"IFCRAMPFLIGHT",                         R::Product},
    {"IFCRAILING",                            R::Product},
    {"IFCROOF",                               R::Product},
    {"IFCCOVERING",                           R::Product},
    {"IFCBUILDINGELEMENTPROXY",               R::Product},
    {"IFCBUILDINGELEMENTPART",                R::Product},
    {"IFCELEMENTASSEMBLY",                    R::Product},
    {"IFCTRANSPORTELEMENT",                   R::Product},
    {"IFCANNOTATION",                         R::Product},
    {"IFCVIRTUALELEMENT",                     R::Product},
    {"IFCDISCRETEACCESSORY",                  R::Product},
    {"IFCFASTENER",                           R::Product},
    {"IFCMECHANICALFASTENER",                 R::Product},
    {"IFCREINFORCINGBAR",                     R::Product},
    {"IFCREINFORCINGMESH",                    R::Product},
    {"IFCTENDON",                             R::Product},
    {"IFCTENDONANCHOR",                       R::Product},
    {"IFCDISTRIBUTIONELEMENT",                R::Product},
    {"IFCDISTRIBUTIONFLOWELEMENT",            R::Product},
    {"IFCDISTRIBUTIONCONTROLELEMENT",         R::Product},
    {"IFCDISTRIBUTIONPORT",                   R::Product},
    {"IFCFLOWFITTING",                        R::Product},
    {"IFCFLOWSEGMENT",                        R::Product},
    {"IFCFLOWTERMINAL",                       R::Product},
    {"IFCFLOWCONTROLLER",                     R::Product},
    {"IFCFLOWMOVINGDEVICE",                   R::Product},
    {"IFCFLOWSTORAGEDEVICE",                  R::Product},
    {"IFCFLOWTREATMENTDEVICE",                R::Product},
    {"IFCENERGYCONVERSIONDEVICE",             R::Product},
    {"IFCPIPEFITTING",                        R::Product},
    {"IFCPIPESEGMENT",                        R::Product},
    {"IFCDUCTFITTING",                        R::Product},
    {"IFCDUCTSEGMENT",                        R::Product},
    {"IFCDUCTSILENCER",                       R::Product},
    {"IFCCABLECARRIERFITTING",                R::Product},
    {"IFCCABLECARRIERSEGMENT",                R::Product},
    {"IFCCABLEFITTING",                       R::Product},
    {"IFCCABLESEGMENT",                       R::Product},
    {"IFCVALVE",                              R::Product},
    {"IFCFLOWVALVE",                          R::Product, "IfcFlowValve"},
    {"IFCSANITARYTERMINAL",                   R::Product},
    {"IFCLIGHTFIXTURE",                       R::Product},
    {"IFCOUTLET",                             R::Product},
    {"IFCSWITCHINGDEVICE",                    R::Product},
    {"IFCELECTRICAPPLIANCE",                  R::Product},
    {"IFCELECTRICDISTRIBUTIONBOARD",          R::Product},
    {"IFCELECTRICFLOWSTORAGEDEVICE",          R::Product},
    {"IFCAIRTERMINAL",                        R::Product},
    {"IFCAIRTERMINALBOX",                     R::Product},
    {"IFCDAMPER",                             R::Product},
    {"IFCFILTER",                             R::Product},
    {"IFCBOILER",                             R::Product},
    {"IFCBURNER",                             R::Product},
    {"IFCCHILLER",                            R::Product},
    {"IFCCOMPRESSOR",                         R::Product},
    {"IFCCONDENSER",                          R::Product},
    {"IFCCOOLINGTOWER",                       R::Product},
    {"IFCEVAPORATOR",                         R::Product},
    {"IFCFAN",                                R::Product},
    {"IFCHEATEXCHANGER",                      R::Product},
    {"IFCHUMIDIFIER",                         R::Product},
    {"IFCMOTORCONNECTION",                    R::Product},
    {"IFCPUMP",                               R::Product},
    {"IFCTANK",                               R::Product},
    {"IFCUNITARYEQUIPMENT",                   R::Product},
    {"IFCSENSOR",                             R::Product},
    {"IFCACTUATOR",                           R::Product},
    {"IFCCONTROLLER",                         R::Product},
    {"IFCALARM",                              R::Product},
    {"IFCFLOWMETER",                          R::Product},
    {"IFCPROTECTIVEDEVICE",                   R::Product},
    {"IFCPROTECTIVEDEVICETRIPPINGUNIT",       R::Product},
    {"IFCJUNCTIONBOX",                        R::Product},
    {"IFCCOMMUNICATIONSAPPLIANCE",            R::Product},
    {"IFCAUDIOVISUALAPPLIANCE",               R::Product},
    {"IFCFIRESUPPRESSIONTERMINAL",            R::Product},
    {"IFCMEDICALDEVICE",                      R::Product},
    {"IFCMOBILETELECOMMUNICATIONSAPPLIANCE",  R::Product},
    {"IFCSOLARDEVICE",                        R::Product},
    {"IFCSTACKTERMINAL",                      R::Product},
    {"IFCSPACEHEATER",                        R::Product},
    {"IFCWASTETERMINAL",                      R::Product},
    {"IFCUNITARYCONTROLELEMENT",              R::Product},
    {"IFCBUILDINGSYSTEM",                     R::Other},
    {"IFCLAMP",                               R::Product},
    {"IFCCOIL",                               R::Product},
    {"IFCGRID",                               R::Product},
    {"IFCGRIDAXIS",                           R::Other},
    {"IFCFURNISHINGELEMENT",                  R::Product},
    {"IFCFURNITURE",                          R::Product},
    {"IFCSYSTEMFURNITUREELEMENT",             R::Product},
    {"IFCEARTHWORKSCUT",                      R::Product},
    {"IFCEARTHWORKSFILL",                     R::Product},
    {"IFCEARTHWORKSELEMENT",                  R::Product},
    {"IFCKERB",                               R::Product},
    {"IFCPAVEMENT",                           R::Product},
    {"IFCRAIL",                               R::Product},
    {"IFCROAD",                               R::Product},
    {"IFCBRIDGE",                             R::Product},
    {"IFCBRIDGEPART",                         R::Product},
    {"IFCMARINEFACILITY",                     R::Product},
    {"IFCMARINEPART",                         R::Product},
    {"IFCBUILDINGSTOREY",                     R::Storey},
    {"IFCSITE",                               R::Other},
    {"IFCBUILDING",                           R::Other},
    {"IFCPROJECT",                            R::Other},
    {"IFCAPPLICATION",                        R::Other},
    {"IFCRELCONTAINEDINSPATIALSTRUCTURE",     R::Other},
    {"IFCRELAGGREGATES",                      R::Other},
}};

constexpr std::size_t count_role(TypeRole role) {
    std::size_t n = 0;
    for (const auto& e : kRows) n += e.role == role;
    return n;
}

static_assert(count_role(R::Product) == 127 && count_role(R::Storey) == 1 && count_role(R::Other) == 8);

}  // namespace

std::span<const CatalogueEntry> type_catalogue() {
    static const std::array<CatalogueEntry, kRows.size()> entries = [] {
        std::array<CatalogueEntry, kRows.size()> out{};
        for (std::size_t i = 0; i < kRows.size(); ++i) {
            const auto name = schema_name(kRows[i].upper);
            out[i] = {kRows[i].upper, name ? name->spelling : kRows[i].own_spelling, kRows[i].role};
        }
        return out;
    }();
    return entries;
}

TypeSet::TypeSet(TypeRole role) {
    // A quarter full at most, so a miss usually ends on the first empty slot.
    slots_.resize(512);
    mask_ = slots_.size() - 1;
    for (std::size_t i = 0; i < kRows.size(); ++i) {
        const auto& e = kRows[i];
        if (e.role != role) continue;
        std::size_t s = slot_of(e.upper);
        while (slots_[s].name) s = (s + 1) & mask_;
        slots_[s] = Slot{e.upper.data(), static_cast<std::uint32_t>(e.upper.size()), static_cast<std::int32_t>(i)};
    }
}

}  // namespace quarnel
