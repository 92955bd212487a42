#include "tables/catalogue.hpp"

#include <array>
#include <type_traits>

namespace quarnel::tables {
namespace {

template <class T>
struct member_traits;
template <class C, class M>
struct member_traits<M C::*> {
    using owner = C;
};

// A member of a pass's result: text ids of a struct that has a text pool read through that pool,
// anything else as it is.
template <class Owner, class M>
Source source_of(const Owner& owner, const M& member) {
    if constexpr (requires { owner.text; } && std::is_same_v<M, TextColumn>) {
        return PooledIds{&owner.text, &member};
    } else if constexpr (requires { owner.text; } && std::is_same_v<M, TextColumnParts>) {
        return PooledIdParts{&owner.text, &member};
    } else {
        return &member;
    }
}

template <class Owner, auto First, auto... Rest>
Source walk(const Owner& owner) {
    const auto& next = owner.*First;
    if constexpr (sizeof...(Rest) == 0) {
        return source_of(owner, next);
    } else {
        return walk<std::decay_t<decltype(next)>, Rest...>(next);
    }
}

template <auto First, auto... Rest>
Source read_field(const Reads& reads, Table&) {
    using Root = typename member_traits<decltype(First)>::owner;
    return walk<Root, First, Rest...>(reads.get<Root>());
}

template <class Owner, auto First, auto... Rest>
void clear(Owner& owner) {
    auto& next = owner.*First;
    if constexpr (sizeof...(Rest) == 0) {
        next = std::decay_t<decltype(next)>();
    } else {
        clear<std::decay_t<decltype(next)>, Rest...>(next);
    }
}

template <auto First, auto... Rest>
void release_field(Reads& reads) {
    using Root = typename member_traits<decltype(First)>::owner;
    clear<Root, First, Rest...>(reads.get<Root>());
}

// The column at a chain of members of a pass's result, e.g. field<&ModelIndex::products,
// &ProductColumns::guid>; the pass is the one whose result holds the first member.
template <auto First, auto... Rest>
constexpr ColumnGetter field{read_field<First, Rest...>, pass_of<typename member_traits<decltype(First)>::owner>(),
                             release_field<First, Rest...>};

// Ids and GlobalIds of a map in its iteration order, each GlobalId at its id's position.
template <GuidMap ModelIndex::*Map>
Source read_map_ids(const Reads& reads, Table& table) {
    std::vector<std::uint64_t> ids;
    ids.reserve((reads.get<ModelIndex>().*Map).size());
    (reads.get<ModelIndex>().*Map).for_each([&](std::uint64_t id, std::string_view) { ids.push_back(id); });
    return table.own(std::move(ids));
}
template <GuidMap ModelIndex::*Map>
Source read_map_guids(const Reads& reads, Table& table) {
    std::vector<std::string_view> guids;
    guids.reserve((reads.get<ModelIndex>().*Map).size());
    (reads.get<ModelIndex>().*Map).for_each([&](std::uint64_t, std::string_view guid) { guids.push_back(guid); });
    return table.own(std::move(guids));
}

Source read_count_entities(const Reads& reads, Table& table) {
    std::vector<std::string_view> entity;
    for (const TypeCount& c : reads.get<ModelIndex>().type_counts) entity.push_back(c.entity);
    return table.own(std::move(entity));
}
Source read_count_values(const Reads& reads, Table& table) {
    std::vector<std::uint32_t> count;
    for (const TypeCount& c : reads.get<ModelIndex>().type_counts) count.push_back(c.count);
    return table.own(std::move(count));
}

template <GuidMap ModelIndex::*Map>
constexpr ColumnGetter map_ids{read_map_ids<Map>, kIndex};
template <GuidMap ModelIndex::*Map>
constexpr ColumnGetter map_guids{read_map_guids<Map>, kIndex};
constexpr ColumnGetter count_entities{read_count_entities, kIndex};
constexpr ColumnGetter count_values{read_count_values, kIndex};

template <Pass P>
FactValue pass_ms(const Reads& r) {
    return r.ms[P];
}
FactValue optional_text(const std::optional<std::string>& s) {
    return s ? FactValue(std::string_view(*s)) : FactValue();
}

constexpr Kind I = Kind::Int, F = Kind::Float, S = Kind::Str, D = Kind::Dict;
constexpr bool kNullable = true;

using M = ModelIndex;
using PC = PsetColumns;
using QC = QtoColumns;
using MC = MaterialColumns;
using CC = ClassificationColumns;
using PrC = PropertyColumns;
using EQ = ElementQuantityColumns;
using EC = ElementColumns;
using DC = DriftColumns;
using RC = RelationColumns;
using AC = AttributeColumns;
using WP = PlacementColumns;

constexpr ColumnDef kPsetsColumns[] = {
    {"guid", S, field<&PC::guid>},
    {"pset_name", D, field<&PC::pset_name>},
    {"prop_name", D, field<&PC::prop_name>},
    {"value", S, field<&PC::value>, kNullable},
    {"value_type", D, field<&PC::value_type>, kNullable, true, Spelling::Schema},
};
constexpr ColumnDef kQuantitiesColumns[] = {
    {"guid", S, field<&QC::guid>},
    {"qto_name", D, field<&QC::qto_name>},
    {"quantity_name", D, field<&QC::quantity_name>},
    {"value", S, field<&QC::value>, kNullable},
    {"quantity_type", D, field<&QC::quantity_type>},
    {"unit_step_id", I, field<&QC::unit_step_id>, kNullable},
};
constexpr ColumnDef kMaterialsColumns[] = {
    {"guid", S, field<&MC::guid>},
    {"role", D, field<&MC::role>},
    {"layer_index", I, field<&MC::layer_index>},
    {"material_name", D, field<&MC::material_name>, kNullable},
    {"layer_thickness_mm", F, field<&MC::layer_thickness>, kNullable},
    {"category", D, field<&MC::category>, kNullable},
};
constexpr ColumnDef kClassificationsColumns[] = {
    {"guid", S, field<&CC::guid>},
    {"system_name", D, field<&CC::system_name>, kNullable},
    {"edition", D, field<&CC::edition>, kNullable},
    {"identification", D, field<&CC::identification>, kNullable},
    {"name", D, field<&CC::name>, kNullable},
    {"location", D, field<&CC::location>, kNullable},
    {"source", D, field<&CC::source>, kNullable},
};
constexpr ColumnDef kClassificationReferencesColumns[] = {
    {"guid", S, field<&CC::chain_guid>},
    {"depth", I, field<&CC::chain_depth>},
    {"identification", D, field<&CC::chain_identification>},
    {"name", D, field<&CC::chain_name>},
    {"location", D, field<&CC::chain_location>},
    {"system_name", D, field<&CC::chain_system_name>},
    {"edition", D, field<&CC::chain_edition>},
    {"source", D, field<&CC::chain_source>},
    {"step_id", I, field<&CC::chain_step_id>},
};
// Long tables keyed by GlobalId: each repeats for every value of its object.
constexpr ColumnDef kPropertiesColumns[] = {
    {"guid", D, field<&PrC::guid>},
    {"entity", D, field<&PrC::entity>},
    {"pset_name", D, field<&PrC::pset_name>},
    {"prop_name", D, field<&PrC::prop_name>},
    {"value", S, field<&PrC::value>},
    {"value_type", D, field<&PrC::value_type>},
    {"number", F, field<&PrC::number>},
    {"kind", D, field<&PrC::kind>},
    {"source", D, field<&PrC::source>},
    {"type_guid", D, field<&PrC::type_guid>},
    {"value_index", I, field<&PrC::value_index>},
    {"role", D, field<&PrC::role>},
};
constexpr ColumnDef kElementQuantitiesColumns[] = {
    {"guid", D, field<&EQ::guid>},
    {"entity", D, field<&EQ::entity>},
    {"qto_name", D, field<&EQ::qto_name>},
    {"quantity_name", D, field<&EQ::quantity_name>},
    {"value", S, field<&EQ::value>},
    {"number", F, field<&EQ::number>},
    {"quantity_type", D, field<&EQ::quantity_type>},
    {"unit", D, field<&EQ::unit>},
    {"source", D, field<&EQ::source>},
    {"type_guid", D, field<&EQ::type_guid>},
};
// Names, descriptions, tags and GlobalIds are mostly distinct: plain text; the rest repeats.
constexpr ColumnDef kElementsColumns[] = {
    {"guid", S, field<&EC::guid>},
    {"entity", D, field<&EC::entity>},
    {"name", S, field<&EC::name>},
    {"description", S, field<&EC::description>},
    {"object_type", D, field<&EC::object_type>},
    {"tag", S, field<&EC::tag>},
    {"predefined_type", D, field<&EC::predefined_type>},
    {"type_guid", S, field<&EC::type_guid>},
    {"type_entity", D, field<&EC::type_entity>},
    {"type_name", D, field<&EC::type_name>},
    {"storey_guid", S, field<&EC::storey_guid>},
    {"storey_name", D, field<&EC::storey_name>},
    {"building_guid", S, field<&EC::building_guid>},
    {"site_guid", S, field<&EC::site_guid>},
};
// GlobalIds as plain text throughout: a table joins them to the GlobalIds of the others.
constexpr ColumnDef kRelationsColumns[] = {
    {"relation", D, field<&RC::relation>},
    {"relating_guid", S, field<&RC::relating_guid>},
    {"relating_entity", D, field<&RC::relating_entity>},
    {"related_guid", S, field<&RC::related_guid>},
    {"related_entity", D, field<&RC::related_entity>},
    {"index", I, field<&RC::index>},
    {"relation_guid", S, field<&RC::relation_guid>},
};
constexpr ColumnDef kAttributesColumns[] = {
    {"guid", S, field<&AC::guid>},
    {"entity", D, field<&AC::entity>},
    {"attribute", D, field<&AC::attribute>},
    {"value", S, field<&AC::value>},
    {"kind", D, field<&AC::kind>},
    {"value_type", D, field<&AC::value_type>},
    {"number", F, field<&AC::number>},
    {"step_id", I, field<&AC::step_id>},
};
using MN = MaterialNameColumns;
constexpr ColumnDef kMaterialNamesColumns[] = {
    {"guid", S, field<&MN::guid>},
    {"part", D, field<&MN::part>},
    {"index", I, field<&MN::index>},
    {"name", D, field<&MN::name>},
    {"category", D, field<&MN::category>},
};
using AA = AllAttributeColumns;
constexpr ColumnDef kAllAttributesColumns[] = {
    {"step_id", I, field<&AA::rows, &AC::step_id>},
    {"guid", S, field<&AA::rows, &AC::guid>},
    {"entity", D, field<&AA::rows, &AC::entity>},
    {"attribute", D, field<&AA::rows, &AC::attribute>},
    {"value", S, field<&AA::rows, &AC::value>},
    {"kind", D, field<&AA::rows, &AC::kind>},
    {"value_type", D, field<&AA::rows, &AC::value_type>},
    {"number", F, field<&AA::rows, &AC::number>},
};
constexpr ColumnDef kProductsColumns[] = {
    {"step_id", I, field<&M::products, &ProductColumns::step_id>},
    {"guid", S, field<&M::products, &ProductColumns::guid>},
    {"entity", D, field<&M::products, &ProductColumns::entity>},
    {"name", S, field<&M::products, &ProductColumns::name>, kNullable},
    {"description", S, field<&M::products, &ProductColumns::description>, kNullable, false},
    {"predefined_type", D, field<&M::products, &ProductColumns::predefined_type>, kNullable},
    {"object_type", D, field<&M::products, &ProductColumns::object_type>, kNullable},
    {"tag", S, field<&M::products, &ProductColumns::tag>, kNullable},
};
constexpr ColumnDef kStoreysColumns[] = {
    {"step_id", I, field<&M::storeys, &StoreyColumns::step_id>},
    {"guid", S, field<&M::storeys, &StoreyColumns::guid>},
    {"name", S, field<&M::storeys, &StoreyColumns::name>, kNullable},
    {"elevation", F, field<&M::storeys, &StoreyColumns::elevation>, kNullable},
    {"building_step_id", I, field<&M::storeys, &StoreyColumns::building_step_id>, kNullable},
};
constexpr ColumnDef kContainedInColumns[] = {
    {"child", I, field<&M::contained_in, &IdPairs::first>},
    {"structure", I, field<&M::contained_in, &IdPairs::second>},
};
constexpr ColumnDef kAggregatesColumns[] = {
    {"child", I, field<&M::aggregates, &IdPairs::first>},
    {"parent", I, field<&M::aggregates, &IdPairs::second>},
};
constexpr ColumnDef kStoreyBuildingColumns[] = {
    {"storey", I, field<&M::storey_building, &IdPairs::first>},
    {"building", I, field<&M::storey_building, &IdPairs::second>},
};
template <GuidMap ModelIndex::*Map>
constexpr ColumnDef kSpatialColumns[] = {
    {"step_id", I, map_ids<Map>},
    {"guid", S, map_guids<Map>},
};
constexpr ColumnDef kTypeCountsColumns[] = {
    {"entity", S, count_entities},
    {"count", I, count_values},
};
constexpr ColumnDef kDriftColumns[] = {
    {"guid", S, field<&DC::guid>},
    {"entity", D, field<&DC::entity>, false, true, Spelling::Schema},
    {"source", D, field<&DC::source>},
    {"triangle_count", I, field<&DC::triangle_count>},
    {"surface_area", F, field<&DC::surface_area>},
    {"volume_abs", F, field<&DC::volume_abs>},
    {"placement_x", F, field<&DC::placement_x>},
    {"placement_y", F, field<&DC::placement_y>},
    {"placement_z", F, field<&DC::placement_z>},
    {"centroid_x", F, field<&DC::centroid_x>},
    {"centroid_y", F, field<&DC::centroid_y>},
    {"centroid_z", F, field<&DC::centroid_z>},
    {"drift_distance", F, field<&DC::drift_distance>},
    {"max_extent", F, field<&DC::max_extent>},
    {"drift_ratio", F, field<&DC::drift_ratio>},
    {"drift_severity", D, field<&DC::severity>},
    {"placement", D, field<&DC::placement>, false, false},
};
// World placements: metres, and the local x and z axes as world directions.
constexpr ColumnDef kPlacementsColumns[] = {
    {"guid", S, field<&WP::guid>},
    {"entity", D, field<&WP::entity>, false, true, Spelling::Schema},
    {"x", F, field<&WP::x>},
    {"y", F, field<&WP::y>},
    {"z", F, field<&WP::z>},
    {"x_axis_x", F, field<&WP::x_axis_x>},
    {"x_axis_y", F, field<&WP::x_axis_y>},
    {"x_axis_z", F, field<&WP::x_axis_z>},
    {"z_axis_x", F, field<&WP::z_axis_x>},
    {"z_axis_y", F, field<&WP::z_axis_y>},
    {"z_axis_z", F, field<&WP::z_axis_z>},
};
// An optional number of a pass's result (a unit scale, a precision): absent stays absent.
template <typename Result, std::optional<double> Result::*Scale>
FactValue unit_scale_of(const Reads& r) {
    const auto& scale = r.get<Result>().*Scale;
    return scale ? FactValue(*scale) : FactValue();
}

constexpr FactDef kFacts[] = {
    {"open_ms", FactType::Float, [](const Reads& r) { return FactValue(r.facts.open_ms); }},
    {"entity_table_ms", FactType::Float, [](const Reads& r) { return FactValue(r.entity_table_ms); }},
    {"guid_index_ms", FactType::Float, [](const Reads& r) { return FactValue(r.guid_index_ms); }},
    {"size_bytes", FactType::Int, [](const Reads& r) { return FactValue(r.facts.size_bytes); }},
    {"pset_extract_ms", FactType::Float, pass_ms<kPsets>},
    {"qto_extract_ms", FactType::Float, pass_ms<kQuantities>},
    {"materials_extract_ms", FactType::Float, pass_ms<kMaterials>},
    {"classifications_extract_ms", FactType::Float, pass_ms<kClassifications>},
    {"properties_extract_ms", FactType::Float, pass_ms<kProperties>},
    {"element_quantities_extract_ms", FactType::Float, pass_ms<kElementQuantities>},
    {"elements_extract_ms", FactType::Float, pass_ms<kElements>},
    {"relations_extract_ms", FactType::Float, pass_ms<kRelations>},
    {"attributes_extract_ms", FactType::Float, pass_ms<kAttributes>},
    {"all_attributes_extract_ms", FactType::Float, pass_ms<kAllAttributes>},
    {"material_names_extract_ms", FactType::Float, pass_ms<kMaterialNames>},
    // extract_all's names for the same timings.
    {"psets_extract_ms", FactType::Float, pass_ms<kPsets>},
    {"quantities_extract_ms", FactType::Float, pass_ms<kQuantities>},
    {"schema", FactType::Str, [](const Reads& r) { return FactValue(std::string_view(r.get<ModelIndex>().schema)); }},
    {"project_name", FactType::OptionalStr, [](const Reads& r) { return optional_text(r.get<ModelIndex>().project_name); }},
    {"authoring_app", FactType::OptionalStr, [](const Reads& r) { return optional_text(r.get<ModelIndex>().authoring_app); }},
    {"unit_scale", FactType::OptionalFloat, unit_scale_of<ModelIndex, &ModelIndex::unit_scale>},
    {"area_unit_scale", FactType::OptionalFloat, unit_scale_of<ModelIndex, &ModelIndex::area_scale>},
    {"volume_unit_scale", FactType::OptionalFloat, unit_scale_of<ModelIndex, &ModelIndex::volume_scale>},
    {"angle_unit_scale", FactType::OptionalFloat, unit_scale_of<ModelIndex, &ModelIndex::angle_scale>},
    {"index_ms", FactType::Float, pass_ms<kIndex>},
    {"mesh_emission_ms", FactType::Float, pass_ms<kDrift>},
    {"total_ms", FactType::Float, [](const Reads& r) { return FactValue(r.total_ms); }},
    {"drift_ok", FactType::Int, [](const Reads& r) { return FactValue(r.get<DriftColumns>().ok); }},
    {"drift_warn", FactType::Int, [](const Reads& r) { return FactValue(r.get<DriftColumns>().warn); }},
    {"drift_error", FactType::Int, [](const Reads& r) { return FactValue(r.get<DriftColumns>().error); }},
    {"placements_ms", FactType::Float, pass_ms<kPlacements>},
    {"length_scale", FactType::OptionalFloat, unit_scale_of<WP, &WP::length_scale>},
    {"area_scale", FactType::OptionalFloat, unit_scale_of<WP, &WP::area_scale>},
    {"volume_scale", FactType::OptionalFloat, unit_scale_of<WP, &WP::volume_scale>},
    {"angle_scale", FactType::OptionalFloat, unit_scale_of<WP, &WP::angle_scale>},
    {"precision", FactType::OptionalFloat, unit_scale_of<WP, &WP::precision>},
};

using namespace std::string_view_literals;

constexpr std::string_view kIndexFacts[] = {"schema"sv,  "project_name"sv, "authoring_app"sv, "unit_scale"sv,
                                            "area_unit_scale"sv, "volume_unit_scale"sv, "angle_unit_scale"sv,
                                            "size_bytes"sv, "open_ms"sv,   "index_ms"sv};
constexpr std::array<std::string_view, 5> extractor_facts(std::string_view timing) {
    return {"open_ms"sv, "entity_table_ms"sv, "guid_index_ms"sv, timing, "size_bytes"sv};
}
constexpr auto kPsetFacts = extractor_facts("pset_extract_ms");
constexpr auto kQtoFacts = extractor_facts("qto_extract_ms");
constexpr auto kMaterialFacts = extractor_facts("materials_extract_ms");
constexpr auto kClassificationFacts = extractor_facts("classifications_extract_ms");
constexpr auto kPropertyFacts = extractor_facts("properties_extract_ms");
constexpr auto kElementQuantityFacts = extractor_facts("element_quantities_extract_ms");
constexpr auto kElementFacts = extractor_facts("elements_extract_ms");
constexpr auto kRelationFacts = extractor_facts("relations_extract_ms");
constexpr auto kAttributeFacts = extractor_facts("attributes_extract_ms");
constexpr auto kAllAttributeFacts = extractor_facts("all_attributes_extract_ms");
constexpr auto kMaterialNameFacts = extractor_facts("material_names_extract_ms");
constexpr std::string_view kDriftFacts[] = {"mesh_emission_ms"sv, "entity_table_ms"sv, "total_ms"sv, "size_bytes"sv,
                                            "drift_ok"sv,         "drift_warn"sv,      "drift_error"sv};
constexpr std::string_view kPlacementFacts[] = {"open_ms"sv,      "entity_table_ms"sv, "placements_ms"sv, "size_bytes"sv,
                                                "length_scale"sv, "area_scale"sv,      "volume_scale"sv,  "angle_scale"sv,
                                                "precision"sv};

constexpr TableDef kTables[] = {
    {"psets", kPsets, kPsetsColumns, kPsetFacts, "PsetTable", "property sets: one row per single-value property of an object"},
    {"quantities", kQuantities, kQuantitiesColumns, kQtoFacts, "QuantityTable",
     "element quantities: one row per quantity of an object"},
    {"materials", kMaterials, kMaterialsColumns, kMaterialFacts, "MaterialTable",
     "materials: one row per material, list entry or layer of an object"},
    {"classifications", kClassifications, kClassificationsColumns, kClassificationFacts, "ClassificationTable",
     "classification references: one row per reference"},
    {"products", kIndex, kProductsColumns, kIndexFacts, "ProductTable", "products: one row per product of the model"},
    {"storeys", kIndex, kStoreysColumns, kIndexFacts, "StoreyTable", "storeys: one row per building storey"},
    {"contained_in", kIndex, kContainedInColumns, kIndexFacts, "ContainmentPairs",
     "spatial containment: one row per product and the structure that contains it"},
    {"aggregates", kIndex, kAggregatesColumns, kIndexFacts, "AggregationPairs",
     "aggregation: one row per part and the whole it belongs to"},
    {"storey_building", kIndex, kStoreyBuildingColumns, kIndexFacts, "StoreyBuildingPairs",
     "storeys and their buildings: one row per pair"},
    {"sites", kIndex, kSpatialColumns<&M::sites>, kIndexFacts, "SpatialTable", "sites: one row per site"},
    {"buildings", kIndex, kSpatialColumns<&M::buildings>, kIndexFacts, "SpatialTable", "buildings: one row per building"},
    {"projects", kIndex, kSpatialColumns<&M::projects>, kIndexFacts, "SpatialTable", "projects: one row per project"},
    {"spaces", kIndex, kSpatialColumns<&M::spaces>, kIndexFacts, "SpatialTable", "spaces: one row per space"},
    {"type_counts", kIndex, kTypeCountsColumns, kIndexFacts, "", "products per type: one row per entity type"},
    {"drift", kDrift, kDriftColumns, kDriftFacts, "DriftTable",
     "drift: one row per meshed product, how far its geometry lies from its placement"},
    {"properties", kProperties, kPropertiesColumns, kPropertyFacts, "",
     "properties: one row per property value of an object, those inherited from its type included"},
    {"element_quantities", kElementQuantities, kElementQuantitiesColumns, kElementQuantityFacts, "",
     "element_quantities: one row per quantity of an object, those of its type included"},
    {"elements", kElements, kElementsColumns, kElementFacts, "", "elements: one row per product, with its type and where it stands"},
    {"relations", kRelations, kRelationsColumns, kRelationFacts, "",
     "relations: one row per relationship, relating object and related object, by GlobalId"},
    {"classification_references", kClassifications, kClassificationReferencesColumns, kClassificationFacts, "",
     "classification references and their parents: one row per object and reference on the way up to the "
     "classification (depth 0: the reference the object has)"},
    {"attributes", kAttributes, kAttributesColumns, kAttributeFacts, "",
     "attributes: one row per direct attribute with a value of an object with a GlobalId"},
    {"placements", kPlacements, kPlacementsColumns, kPlacementFacts, "",
     "placements: one row per placed object, where it stands in the world and how it is turned"},
    {"material_names", kMaterialNames, kMaterialNamesColumns, kMaterialNameFacts, "",
     "material names: one row per material, list, set, layer, profile or constituent an object's material "
     "association names"},
    {"all_attributes", kAllAttributes, kAllAttributesColumns, kAllAttributeFacts, "",
     "all_attributes: one row per direct attribute with a value of every instance, by step id"},
};

using E = DictEntry;
constexpr DictEntry kIndexResult[] = {
    {E::Fact, "schema"},         {E::Fact, "project_name"},    {E::Fact, "authoring_app"},
    {E::Fact, "unit_scale"},     {E::Fact, "size_bytes"},      {E::Fact, "open_ms"},
    {E::Fact, "index_ms"},       {E::Mapping, "type_counts"},  {E::Nested, "products"},
    {E::Nested, "storeys"},      {E::Nested, "contained_in"},  {E::Nested, "aggregates"},
    {E::Nested, "storey_building"}, {E::Nested, "sites"},     {E::Nested, "buildings"},
    {E::Nested, "projects"},     {E::Nested, "spaces"},        {E::Marshal, "marshal_ms"},
};
// The result of one extractor: its table's columns, then its timings and the file's size.
constexpr std::array<DictEntry, 7> extractor_result(std::string_view table, std::string_view timing) {
    return {{{E::Columns, table},
             {E::Fact, "open_ms"},
             {E::Fact, "entity_table_ms"},
             {E::Fact, "guid_index_ms"},
             {E::Fact, timing},
             {E::Marshal, "marshal_ms"},
             {E::Fact, "size_bytes"}}};
}
constexpr auto kPsetsResult = extractor_result("psets", "pset_extract_ms");
constexpr auto kQuantitiesResult = extractor_result("quantities", "qto_extract_ms");
constexpr auto kMaterialsResult = extractor_result("materials", "materials_extract_ms");
constexpr auto kClassificationsResult = extractor_result("classifications", "classifications_extract_ms");
constexpr DictEntry kExtractAllResult[] = {
    {E::Nested, "psets"},
    {E::Nested, "quantities"},
    {E::Nested, "materials"},
    {E::Nested, "classifications"},
    {E::Fact, "open_ms"},
    {E::Fact, "entity_table_ms"},
    {E::Fact, "guid_index_ms"},
    {E::Fact, "psets_extract_ms"},
    {E::Fact, "quantities_extract_ms"},
    {E::Fact, "materials_extract_ms"},
    {E::Fact, "classifications_extract_ms"},
    {E::Marshal, "marshal_ms"},
    {E::Total, "total_ms"},
    {E::Fact, "size_bytes"},
};
constexpr DictEntry kDriftResult[] = {
    {E::Columns, "drift"},       {E::Fact, "drift_ok"}, {E::Fact, "drift_warn"}, {E::Fact, "drift_error"},
    {E::Fact, "mesh_emission_ms"}, {E::Fact, "entity_table_ms"}, {E::Fact, "total_ms"}, {E::Fact, "size_bytes"},
};

// Registration order is the order of quarnel._core.__all__.
constexpr FunctionDef kFunctions[] = {
    {"index_ifc", kIndexResult, "IndexResult"},
    {"extract_psets", kPsetsResult, "PsetsResult"},
    {"extract_quantities", kQuantitiesResult, "QuantitiesResult"},
    {"extract_materials", kMaterialsResult, "MaterialsResult"},
    {"extract_classifications", kClassificationsResult, "ClassificationsResult"},
    {"extract_all", kExtractAllResult, "ExtractAllResult",
     "All four extractors against a single shared EntityTable. 2-3\xC3\x97 faster\nthan calling them individually on big "
     "files."},
    {"analyse_drift", kDriftResult, "DriftResult"},
};

static_assert(std::size(kFunctions) == kFunctionCount);

// A table is filled by one pass: each of its columns reads that pass's result.
consteval bool columns_read_their_tables_pass() {
    for (const TableDef& t : kTables) {
        for (const ColumnDef& c : t.columns) {
            if (c.get.pass != t.pass) return false;
        }
    }
    return true;
}
static_assert(columns_read_their_tables_pass(), "a column reads the result of another pass than its table's");

}  // namespace

std::span<const TableDef> table_defs() { return kTables; }
std::span<const FactDef> fact_defs() { return kFacts; }
std::span<const FunctionDef> function_defs() { return kFunctions; }

const TableDef* find_table(std::string_view name) {
    for (const TableDef& d : kTables) {
        if (d.name == name) return &d;
    }
    return nullptr;
}

const FactDef* find_fact(std::string_view key) {
    for (const FactDef& f : kFacts) {
        if (f.key == key) return &f;
    }
    return nullptr;
}

const FunctionDef* find_function(std::string_view name) {
    for (const FunctionDef& f : kFunctions) {
        if (f.name == name) return &f;
    }
    return nullptr;
}

unsigned passes_of(const FunctionDef& function) {
    unsigned passes = 0;
    for (const DictEntry& e : function.entries) {
        if (e.what == DictEntry::Columns || e.what == DictEntry::Nested || e.what == DictEntry::Mapping) {
            passes |= bit(find_table(e.name)->pass);
        }
    }
    return passes;
}

Table make_table(const TableDef& def, const Reads& reads, bool dict_face) {
    Table table;
    for (const ColumnDef& c : def.columns) {
        if (dict_face && !c.dict_face) continue;
        table.columns.push_back({c.name, c.kind, c.get.get(reads, table), c.spelling});
    }
    for (const std::string_view key : def.facts) table.facts.push_back({key, find_fact(key)->get(reads)});
    return table;
}

}  // namespace quarnel::tables
