#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "columns.hpp"
#include "step/flat_map.hpp"

namespace quarnel {

class EntityTable;

// One row per accepted building product, in file order.
struct ProductColumns {
    std::vector<std::uint64_t> step_id;
    StringColumn guid;
    std::vector<std::string_view> entity;  // schema type names, static storage
    StringColumn name;
    StringColumn description;
    StringColumn predefined_type;
    StringColumn object_type;
    StringColumn tag;
};

// One row per accepted IFCBUILDINGSTOREY, in file order.
struct StoreyColumns {
    std::vector<std::uint64_t> step_id;
    StringColumn guid;
    StringColumn name;
    std::vector<std::optional<double>> elevation;  // model length units
    std::vector<std::optional<std::uint64_t>> building_step_id;  // always absent: see storey_building
};

// Two parallel id lists: one relationship pair per position.
struct IdPairs {
    std::vector<std::uint64_t> first;
    std::vector<std::uint64_t> second;

    void push(std::uint64_t a, std::uint64_t b) {
        first.push_back(a);
        second.push_back(b);
    }
    std::size_t size() const { return first.size(); }
};

// Instance id -> GlobalId; a later instance with the same id replaces the entry.
class GuidMap {
public:
    void insert(std::uint64_t id, std::string_view guid) {
        slots_[id] = static_cast<std::uint32_t>(guids_.size());
        guids_.push(guid);
    }
    bool contains(std::uint64_t id) const { return slots_.contains(id); }
    std::size_t size() const { return slots_.size(); }
    bool empty() const { return slots_.size() == 0; }
    // f(id, guid) over every entry, in no defined order.
    template <class F>
    void for_each(F&& f) const {
        slots_.for_each([&](std::uint64_t id, std::uint32_t row) { f(id, guids_.view(row)); });
    }

private:
    IdMap<std::uint32_t> slots_;
    StringColumn guids_;
};

struct TypeCount {
    std::string_view entity;  // schema type name, static storage
    std::uint32_t count;
};

// Everything one indexing pass finds in a model.
struct ModelIndex {
    std::optional<double> unit_scale;  // metres per model length unit
    // Square and cubic metres per assigned area and volume unit: absent when none is assigned
    // (exports in millimetres often assign square metres).
    std::optional<double> area_scale, volume_scale;
    std::optional<double> angle_scale;  // radians per assigned plane angle unit
    std::string schema;                // "" when not found
    ProductColumns products;
    StoreyColumns storeys;
    IdPairs contained_in;     // child, structure (a reported storey)
    IdPairs aggregates;       // child, parent
    IdPairs storey_building;  // storey (any part), building
    std::optional<std::string> project_name;
    std::optional<std::string> authoring_app;
    std::vector<TypeCount> type_counts;  // only types that occur
    GuidMap sites, buildings, projects, spaces;
};

// One forward pass over the whole file. Never fails: whatever is missing or
// malformed only leaves its part of the result empty or absent.
ModelIndex index_model(std::string_view file);
// The same from the records of a table already built over the file.
ModelIndex index_model(const EntityTable& table);

}  // namespace quarnel
