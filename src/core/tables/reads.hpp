#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <tuple>
#include <utility>

#include "clock.hpp"
#include "extractors/classifications.hpp"
#include "extractors/direct_attributes.hpp"
#include "extractors/element_quantities.hpp"
#include "extractors/elements.hpp"
#include "extractors/material_names.hpp"
#include "extractors/materials.hpp"
#include "extractors/properties.hpp"
#include "extractors/psets.hpp"
#include "extractors/quantities.hpp"
#include "extractors/relations.hpp"
#include "indexer/model_index.hpp"
#include "mesh/drift.hpp"
#include "mesh/world_placements.hpp"

namespace quarnel::tables {

// The core passes a table may need, in the order a read runs them; each runs at most once.
enum Pass : unsigned {
    kPsets,
    kQuantities,
    kMaterials,
    kClassifications,
    kProperties,
    kElementQuantities,
    kElements,
    kRelations,
    kAttributes,
    kAllAttributes,
    kMaterialNames,
    kIndex,
    kDrift,
    kPlacements,
    kPassCount,
};

constexpr unsigned bit(Pass p) { return 1u << p; }
constexpr unsigned kExtractorPasses = bit(kPsets) | bit(kQuantities) | bit(kMaterials) | bit(kClassifications) |
                                      bit(kProperties) | bit(kElementQuantities) | bit(kElements) |
                                      bit(kRelations) | bit(kAttributes) | bit(kAllAttributes) |
                                      bit(kMaterialNames);

// What each pass produces, at the position of its Pass.
using Results = std::tuple<std::optional<PsetColumns>, std::optional<QtoColumns>, std::optional<MaterialColumns>,
                           std::optional<ClassificationColumns>, std::optional<PropertyColumns>,
                           std::optional<ElementQuantityColumns>, std::optional<ElementColumns>,
                           std::optional<RelationColumns>, std::optional<AttributeColumns>,
                           std::optional<AllAttributeColumns>, std::optional<MaterialNameColumns>,
                           std::optional<ModelIndex>, std::optional<DriftColumns>,
                           std::optional<PlacementColumns>>;
static_assert(std::tuple_size_v<Results> == kPassCount);

// The pass whose result is a T.
template <class T, std::size_t I = 0>
constexpr Pass pass_of() {
    if constexpr (std::is_same_v<std::tuple_element_t<I, Results>, std::optional<T>>) {
        return static_cast<Pass>(I);
    } else {
        return pass_of<T, I + 1>();
    }
}

// What the caller knows before the passes run.
struct ReadFacts {
    std::uint64_t size_bytes = 0;
    double open_ms = 0.0;
    Instant start = Instant::now();  // when the call began, for totals
    // Whether the file's pages are let go after the scan and after the passes. The Arrow face
    // copies what it needs and keeps its peak low; the dict face reads every text of its result
    // from the file once more while it makes the Python strings, and is faster keeping them.
    bool let_pages_go = true;
};

// What the passes of one read produced, with their timings. Texts borrow the mapped file.
struct Reads {
    ReadFacts facts;
    double entity_table_ms = 0.0;
    double guid_index_ms = 0.0;
    double total_ms = 0.0;  // from the start of the call to the end of the passes
    std::array<double, kPassCount> ms{};
    Results results;

    template <class T>
    const T& get() const {
        return *std::get<std::optional<T>>(results);
    }
    template <class T>
    T& get() {
        return *std::get<std::optional<T>>(results);
    }
    template <Pass P>
    const auto& get() const {
        return *std::get<P>(results);
    }
    bool has(Pass p) const { return has(p, std::make_index_sequence<kPassCount>()); }
    // Frees the result of `p`: a read that has exported what needs it keeps its peak lower.
    void free(Pass p) { free(p, std::make_index_sequence<kPassCount>()); }

private:
    template <std::size_t... I>
    bool has(Pass p, std::index_sequence<I...>) const {
        return ((p == I && std::get<I>(results).has_value()) || ...);
    }
    template <std::size_t... I>
    void free(Pass p, std::index_sequence<I...>) {
        ((p == I ? std::get<I>(results).reset() : void()), ...);
    }
};

// Runs the passes of `passes` (bits of Pass) over `file`: the extractors and the drift share one
// entity table, built only when one of them is asked for; the index alone reads the file in one
// streaming scan instead. Pure C++: callers run it with the interpreter lock released.
Reads run_passes(std::string_view file, const ReadFacts& facts, unsigned passes);

}  // namespace quarnel::tables
