#include "indexer/catalogue.hpp"

#include <array>
#include <cstring>

#include "step/text.hpp"

namespace quarnel {
namespace {

using R = TypeRole;

// Every row's upper-case name is its schema name in upper case. The products
// are the rows in this order without the `Other` rows and the storey.
constexpr std::array<CatalogueEntry, 136> kCatalogue{{
    {"IFCWALL",                               "IfcWall",                              R::Product},
    {"IFCWALLSTANDARDCASE",                   "IfcWallStandardCase",                  R::Product},
    {"IFCWALLELEMENTEDCASE",                  "IfcWallElementedCase",                 R::Product},
    {"IFCCURTAINWALL",                        "IfcCurtainWall",                       R::Product},
    {"IFCSLAB",                               "IfcSlab",                              R::Product},
    {"IFCSLABSTANDARDCASE",                   "IfcSlabStandardCase",                  R::Product},
    {"IFCSLABELEMENTEDCASE",                  "IfcSlabElementedCase",                 R::Product},
    {"IFCPLATE",                              "IfcPlate",                             R::Product},
    {"IFCPLATESTANDARDCASE",                  "IfcPlateStandardCase",                 R::Product},
    {"IFCBEAM",                               "IfcBeam",                              R::Product},
    {"IFCBEAMSTANDARDCASE",                   "IfcBeamStandardCase",                  R::Product},
    {"IFCCOLUMN",                             "IfcColumn",                            R::Product},
    {"IFCCOLUMNSTANDARDCASE",                 "IfcColumnStandardCase",                R::Product},
    {"IFCMEMBER",                             "IfcMember",                            R::Product},
    {"IFCMEMBERSTANDARDCASE",                 "IfcMemberStandardCase",                R::Product},
    {"IFCFOOTING",                            "IfcFooting",                           R::Product},
    {"IFCPILE",                               "IfcPile",                              R::Product},
    {"IFCDOOR",                               "IfcDoor",                              R::Product},
    {"IFCDOORSTANDARDCASE",                   "IfcDoorStandardCase",                  R::Product},
    {"IFCWINDOW",                             "IfcWindow",                            R::Product},
    {"IFCWINDOWSTANDARDCASE",                 "IfcWindowStandardCase",                R::Product},
    {"IFCOPENINGELEMENT",                     "IfcOpeningElement",                    R::Product},
    {"IFCVOIDINGFEATURE",                     "IfcVoidingFeature",                    R::Product},
    {"IFCSURFACEFEATURE",                     "IfcSurfaceFeature",                    R::Product},
    {"IFCSTAIR",                              "IfcStair",                             R::Product},
    {"IFCSTAIRFLIGHT",                        "IfcStairFlight",                       R::Product},
    {"IFCRAMP",                               "IfcRamp",                              R::Product},
    {"IFCRAMPFLIGHT",                         "IfcRampFlight",                        R::Product},
    {"IFCRAILING",                            "IfcRailing",                           R::Product},
    {"IFCROOF",                               "IfcRoof",                              R::Product},
    {"IFCCOVERING",                           "IfcCovering",                          R::Product},
    {"IFCBUILDINGELEMENTPROXY",               "IfcBuildingElementProxy",              R::Product},
    {"IFCBUILDINGELEMENTPART",                "IfcBuildingElementPart",               R::Product},
    {"IFCELEMENTASSEMBLY",                    "IfcElementAssembly",                   R::Product},
    {"IFCTRANSPORTELEMENT",                   "IfcTransportElement",                  R::Product},
    {"IFCANNOTATION",                         "IfcAnnotation",                        R::Product},
    {"IFCVIRTUALELEMENT",                     "IfcVirtualElement",                    R::Product},
    {"IFCDISCRETEACCESSORY",                  "IfcDiscreteAccessory",                 R::Product},
    {"IFCFASTENER",                           "IfcFastener",                          R::Product},
    {"IFCMECHANICALFASTENER",                 "IfcMechanicalFastener",                R::Product},
    {"IFCREINFORCINGBAR",                     "IfcReinforcingBar",                    R::Product},
    {"IFCREINFORCINGMESH",                    "IfcReinforcingMesh",                   R::Product},
    {"IFCTENDON",                             "IfcTendon",                            R::Product},
    {"IFCTENDONANCHOR",                       "IfcTendonAnchor",                      R::Product},
    {"IFCDISTRIBUTIONELEMENT",                "IfcDistributionElement",               R::Product},
    {"IFCDISTRIBUTIONFLOWELEMENT",            "IfcDistributionFlowElement",           R::Product},
    {"IFCDISTRIBUTIONCONTROLELEMENT",         "IfcDistributionControlElement",        R::Product},
    {"IFCDISTRIBUTIONPORT",                   "IfcDistributionPort",                  R::Product},
    {"IFCFLOWFITTING",                        "IfcFlowFitting",                       R::Product},
    {"IFCFLOWSEGMENT",                        "IfcFlowSegment",                       R::Product},
    {"IFCFLOWTERMINAL",                       "IfcFlowTerminal",                      R::Product},
    {"IFCFLOWCONTROLLER",                     "IfcFlowController",                    R::Product},
    {"IFCFLOWMOVINGDEVICE",                   "IfcFlowMovingDevice",                  R::Product},
    {"IFCFLOWSTORAGEDEVICE",                  "IfcFlowStorageDevice",                 R::Product},
    {"IFCFLOWTREATMENTDEVICE",                "IfcFlowTreatmentDevice",               R::Product},
    {"IFCENERGYCONVERSIONDEVICE",             "IfcEnergyConversionDevice",            R::Product},
    {"IFCPIPEFITTING",                        "IfcPipeFitting",                       R::Product},
    {"IFCPIPESEGMENT",                        "IfcPipeSegment",                       R::Product},
    {"IFCDUCTFITTING",                        "IfcDuctFitting",                       R::Product},
    {"IFCDUCTSEGMENT",                        "IfcDuctSegment",                       R::Product},
    {"IFCDUCTSILENCER",                       "IfcDuctSilencer",                      R::Product},
    {"IFCCABLECARRIERFITTING",                "IfcCableCarrierFitting",               R::Product},
    {"IFCCABLECARRIERSEGMENT",                "IfcCableCarrierSegment",               R::Product},
    {"IFCCABLEFITTING",                       "IfcCableFitting",                      R::Product},
    {"IFCCABLESEGMENT",                       "IfcCableSegment",                      R::Product},
    {"IFCVALVE",                              "IfcValve",                             R::Product},
    {"IFCFLOWVALVE",                          "IfcFlowValve",                         R::Product},
    {"IFCSANITARYTERMINAL",                   "IfcSanitaryTerminal",                  R::Product},
    {"IFCLIGHTFIXTURE",                       "IfcLightFixture",                      R::Product},
    {"IFCOUTLET",                             "IfcOutlet",                            R::Product},
    {"IFCSWITCHINGDEVICE",                    "IfcSwitchingDevice",                   R::Product},
    {"IFCELECTRICAPPLIANCE",                  "IfcElectricAppliance",                 R::Product},
    {"IFCELECTRICDISTRIBUTIONBOARD",          "IfcElectricDistributionBoard",         R::Product},
    {"IFCELECTRICFLOWSTORAGEDEVICE",          "IfcElectricFlowStorageDevice",         R::Product},
    {"IFCAIRTERMINAL",                        "IfcAirTerminal",                       R::Product},
    {"IFCAIRTERMINALBOX",                     "IfcAirTerminalBox",                    R::Product},
    {"IFCDAMPER",                             "IfcDamper",                            R::Product},
    {"IFCFILTER",                             "IfcFilter",                            R::Product},
    {"IFCBOILER",                             "IfcBoiler",                            R::Product},
    {"IFCBURNER",                             "IfcBurner",                            R::Product},
    {"IFCCHILLER",                            "IfcChiller",                           R::Product},
    {"IFCCOMPRESSOR",                         "IfcCompressor",                        R::Product},
    {"IFCCONDENSER",                          "IfcCondenser",                         R::Product},
    {"IFCCOOLINGTOWER",                       "IfcCoolingTower",                      R::Product},
    {"IFCEVAPORATOR",                         "IfcEvaporator",                        R::Product},
    {"IFCFAN",                                "IfcFan",                               R::Product},
    {"IFCHEATEXCHANGER",                      "IfcHeatExchanger",                     R::Product},
    {"IFCHUMIDIFIER",                         "IfcHumidifier",                        R::Product},
    {"IFCMOTORCONNECTION",                    "IfcMotorConnection",                   R::Product},
    {"IFCPUMP",                               "IfcPump",                              R::Product},
    {"IFCTANK",                               "IfcTank",                              R::Product},
    {"IFCUNITARYEQUIPMENT",                   "IfcUnitaryEquipment",                  R::Product},
    {"IFCSENSOR",                             "IfcSensor",                            R::Product},
    {"IFCACTUATOR",                           "IfcActuator",                          R::Product},
    {"IFCCONTROLLER",                         "IfcController",                        R::Product},
    {"IFCALARM",                              "IfcAlarm",                             R::Product},
    {"IFCFLOWMETER",                          "IfcFlowMeter",                         R::Product},
    {"IFCPROTECTIVEDEVICE",                   "IfcProtectiveDevice",                  R::Product},
    {"IFCPROTECTIVEDEVICETRIPPINGUNIT",       "IfcProtectiveDeviceTrippingUnit",      R::Product},
    {"IFCJUNCTIONBOX",                        "IfcJunctionBox",                       R::Product},
    {"IFCCOMMUNICATIONSAPPLIANCE",            "IfcCommunicationsAppliance",           R::Product},
    {"IFCAUDIOVISUALAPPLIANCE",               "IfcAudioVisualAppliance",              R::Product},
    {"IFCFIRESUPPRESSIONTERMINAL",            "IfcFireSuppressionTerminal",           R::Product},
    {"IFCMEDICALDEVICE",                      "IfcMedicalDevice",                     R::Product},
    {"IFCMOBILETELECOMMUNICATIONSAPPLIANCE",  "IfcMobileTelecommunicationsAppliance", R::Product},
    {"IFCSOLARDEVICE",                        "IfcSolarDevice",                       R::Product},
    {"IFCSTACKTERMINAL",                      "IfcStackTerminal",                     R::Product},
    {"IFCSPACEHEATER",                        "IfcSpaceHeater",                       R::Product},
    {"IFCWASTETERMINAL",                      "IfcWasteTerminal",                     R::Product},
    {"IFCUNITARYCONTROLELEMENT",              "IfcUnitaryControlElement",             R::Product},
    {"IFCBUILDINGSYSTEM",                     "IfcBuildingSystem",                    R::Other},
    {"IFCLAMP",                               "IfcLamp",                              R::Product},
    {"IFCCOIL",                               "IfcCoil",                              R::Product},
    {"IFCGRID",                               "IfcGrid",                              R::Product},
    {"IFCGRIDAXIS",                           "IfcGridAxis",                          R::Other},
    {"IFCFURNISHINGELEMENT",                  "IfcFurnishingElement",                 R::Product},
    {"IFCFURNITURE",                          "IfcFurniture",                         R::Product},
    {"IFCSYSTEMFURNITUREELEMENT",             "IfcSystemFurnitureElement",            R::Product},
    {"IFCEARTHWORKSCUT",                      "IfcEarthworksCut",                     R::Product},
    {"IFCEARTHWORKSFILL",                     "IfcEarthworksFill",                    R::Product},
    {"IFCEARTHWORKSELEMENT",                  "IfcEarthworksElement",                 R::Product},
    {"IFCKERB",                               "IfcKerb",                              R::Product},
    {"IFCPAVEMENT",                           "IfcPavement",                          R::Product},
    {"IFCRAIL",                               "IfcRail",                              R::Product},
    {"IFCROAD",                               "IfcRoad",                              R::Product},
    {"IFCBRIDGE",                             "IfcBridge",                            R::Product},
    {"IFCBRIDGEPART",                         "IfcBridgePart",                        R::Product},
    {"IFCMARINEFACILITY",                     "IfcMarineFacility",                    R::Product},
    {"IFCMARINEPART",                         "IfcMarinePart",                        R::Product},
    {"IFCBUILDINGSTOREY",                     "IfcBuildingStorey",                    R::Storey},
    {"IFCSITE",                               "IfcSite",                              R::Other},
    {"IFCBUILDING",                           "IfcBuilding",                          R::Other},
    {"IFCPROJECT",                            "IfcProject",                           R::Other},
    {"IFCAPPLICATION",                        "IfcApplication",                       R::Other},
    {"IFCRELCONTAINEDINSPATIALSTRUCTURE",     "IfcRelContainedInSpatialStructure",    R::Other},
    {"IFCRELAGGREGATES",                      "IfcRelAggregates",                     R::Other},
}};

constexpr bool upper_matches_schema() {
    for (const auto& e : kCatalogue) {
        if (!equals_upper(e.schema, e.upper)) return false;
    }
    return true;
}

constexpr std::size_t count_role(TypeRole role) {
    std::size_t n = 0;
    for (const auto& e : kCatalogue) n += e.role == role;
    return n;
}

static_assert(upper_matches_schema());
static_assert(count_role(R::Product) == 127 && count_role(R::Storey) == 1 && count_role(R::Other) == 8);

}  // namespace

std::span<const CatalogueEntry> type_catalogue() { return kCatalogue; }

TypeSet::TypeSet(TypeRole role) {
    // A quarter full at most, so a miss usually ends on the first empty slot.
    slots_.resize(512);
    mask_ = slots_.size() - 1;
    for (std::size_t i = 0; i < kCatalogue.size(); ++i) {
        const auto& e = kCatalogue[i];
        if (e.role != role) continue;
        std::size_t s = slot_of(e.upper);
        while (slots_[s].name) s = (s + 1) & mask_;
        slots_[s] = Slot{e.upper.data(), static_cast<std::uint32_t>(e.upper.size()), static_cast<std::int32_t>(i)};
    }
}

}  // namespace quarnel
