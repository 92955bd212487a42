#include "extractors/element_quantities.hpp"

#include <memory>
#include <string>

#include "extractors/definition_join.hpp"
#include "extractors/property_values.hpp"

namespace quarnel {
namespace {

constexpr std::size_t kMaxDepth = 32;       // complex quantities deeper than this are cut off
constexpr std::size_t kMaxMembers = 100000;  // members of one quantity, however nested

// A simple quantity type, its label and the unit type whose project unit it is measured in.
struct QuantityKind {
    std::string_view type;
    std::string_view label;
    std::string_view unit_type;  // empty: counts have no unit
};
constexpr QuantityKind kKinds[] = {
    {"IFCQUANTITYLENGTH", "Length", "LENGTHUNIT"}, {"IFCQUANTITYAREA", "Area", "AREAUNIT"},
    {"IFCQUANTITYVOLUME", "Volume", "VOLUMEUNIT"}, {"IFCQUANTITYCOUNT", "Count", ""},
    {"IFCQUANTITYWEIGHT", "Weight", "MASSUNIT"},   {"IFCQUANTITYTIME", "Time", "TIMEUNIT"},
};

struct QuantityRow {
    std::uint32_t top_name, name, value, quantity_type, unit;
    double number;
    bool has_number;

    // Text ids of a pool appended to another at `offset`.
    void shift(std::uint32_t offset) {
        for (std::uint32_t* id : {&top_name, &name, &value, &quantity_type, &unit}) *id = shifted(*id, offset);
    }
};

class QuantityRenderer {
public:
    QuantityRenderer(const EntityTable& table, TextPool& pool)
        : table_(table), pool_(pool), empty_(pool.add_view("")), values_(pool, ValueRenderer::TypeSpelling::Schema) {
        read_project_units();
    }

    void append(std::uint64_t id, std::vector<QuantityRow>& rows) {
        std::size_t budget = kMaxMembers;
        append_member(id, kNull, 0, budget, rows);
    }
    std::uint32_t empty() const { return empty_; }
    TextPool& pool() { return pool_; }

private:
    const EntityTable& table_;
    TextPool& pool_;
    std::uint32_t empty_;
    ValueRenderer values_;
    std::uint32_t project_units_[std::size(kKinds)] = {kNull, kNull, kNull, kNull, kNull, kNull};
    IdMap<std::uint32_t> units_{64};
    std::string path_;

    // SI units by prefix and name (MILLIMETRE, SQUARE_METRE), others by their name.
    std::uint32_t unit_text(std::uint64_t id, std::string_view* unit_type = nullptr) {
        const auto e = table_.get(id);
        if (!e) return kNull;
        Attributes record(e->attributes);
        const auto type = record.enumeration(1);
        if (unit_type && type) *unit_type = *type;
        if (type_is(e->type, "IFCSIUNIT")) {
            const auto prefix = record.enumeration(2);
            const auto name = record.enumeration(3);
            // Enumerations are copied as written: one that is no UTF-8 text is no unit.
            if (!name || !is_valid_utf8(*name)) return kNull;
            if (!prefix) return pool_.add_view(*name);
            if (!is_valid_utf8(*prefix)) return kNull;
            return pool_.add_copy(std::string(*prefix) + std::string(*name));
        }
        if (type_is(e->type, "IFCCONVERSIONBASEDUNIT") || type_is(e->type, "IFCCONVERSIONBASEDUNITWITHOFFSET") ||
            type_is(e->type, "IFCCONTEXTDEPENDENTUNIT")) {
            return pool_string(pool_, record.piece(2)).value_or(kNull);
        }
        return kNull;
    }

    std::uint32_t unit_of(std::uint64_t id) {
        if (const std::uint32_t* known = units_.find(id)) return *known;
        const std::uint32_t text = unit_text(id);
        units_[id] = text;
        return text;
    }

    // The units the project assigns, by unit type (the first assignment in the file).
    void read_project_units() {
        static constexpr TypeFilter kAssignment{"IFCUNITASSIGNMENT"};
        bool found = false;
        table_.for_each_in(0, table_.records().size(), kAssignment, [&](std::uint64_t, const EntityRecord& r) {
            const Entity e = table_.entity(r);
            if (found || !type_is(e.type, "IFCUNITASSIGNMENT")) return;
            found = true;
            const auto list = Attributes(e.attributes).list(0);
            if (!list) return;
            for (const std::uint64_t unit : reference_list(*list)) {
                std::string_view unit_type;
                const std::uint32_t text = unit_text(unit, &unit_type);
                for (std::size_t k = 0; k < std::size(kKinds); ++k) {
                    if (!kKinds[k].unit_type.empty() && unit_type == kKinds[k].unit_type) project_units_[k] = text;
                }
            }
        });
    }

    void append_member(std::uint64_t id, std::uint32_t top_name, std::size_t depth, std::size_t& budget,
                       std::vector<QuantityRow>& rows) {
        const auto e = table_.get(id);
        if (!e) return;
        std::size_t kind = std::size(kKinds);
        for (std::size_t k = 0; k < std::size(kKinds); ++k) {
            if (type_is(e->type, kKinds[k].type)) kind = k;
        }
        const bool complex = kind == std::size(kKinds) && type_is(e->type, "IFCPHYSICALCOMPLEXQUANTITY");
        if (kind == std::size(kKinds) && !complex) return;
        Attributes record(e->attributes);
        QuantityRow row{};
        const std::uint32_t own_name = pool_string(pool_, record.piece(0)).value_or(empty());
        if (top_name == kNull) {
            row.top_name = row.name = own_name;
        } else {
            const std::size_t cost = (path_.size() + pool_[own_name].size()) / kPathBytesPerMember;
            if (cost > budget) {
                budget = 0;
                return;
            }
            budget -= cost;
            row.top_name = top_name;
            row.name = pool_.add_copy(path_ + "." + std::string(pool_[own_name]));
        }
        row.value = row.quantity_type = row.unit = kNull;
        if (complex) {
            const auto members = record.list(2);
            if (!members || depth >= kMaxDepth) return;
            path_.assign(pool_[row.name]);
            for (const std::uint64_t member : reference_list(*members)) {
                if (budget == 0) break;
                --budget;
                append_member(member, row.top_name, depth + 1, budget, rows);
                path_.assign(pool_[row.name]);  // the member changed it
            }
            return;
        }
        row.quantity_type = pool_.add_view(kKinds[kind].label);
        const auto unit = record.ref(2);
        row.unit = unit ? unit_of(*unit) : project_units_[kind];
        if (const auto number = record.at(3)) {
            const RenderedValue v = values_.value(*number);
            row.value = v.value;
            row.number = v.number;
            row.has_number = v.has_number;
        }
        rows.push_back(row);
    }
};

}  // namespace

ElementQuantityColumns extract_element_quantity_rows(const EntityTable& table, const GuidIndex& guids,
                                                    const PartPlan& plan) {
    ElementQuantityColumns out;
    out.text.share_equal_texts();
    const std::uint32_t sources[] = {out.text.add_view(kSourceLabels[0]), out.text.add_view(kSourceLabels[1])};
    const auto make_renderer = [&](TextPool& pool) { return std::make_unique<QuantityRenderer>(table, pool); };
    const auto render = [](std::unique_ptr<QuantityRenderer>& renderer, std::uint64_t id,
                           std::vector<QuantityRow>& rows) { renderer->append(id, rows); };
    const auto resize = [&](std::size_t n) {
        resize_columns(n, out.number, out.guid, out.entity, out.qto_name, out.quantity_name, out.value,
                       out.quantity_type, out.unit, out.source, out.type_guid);
    };
    const auto put = [&](std::size_t i, std::uint32_t guid, std::uint32_t entity, std::uint32_t set_name,
                         const QuantityRow& r, ValueSource source, std::uint32_t type_guid) {
        out.guid[i] = guid;
        out.entity[i] = entity;
        out.qto_name[i] = set_name;
        out.quantity_name[i] = r.name;
        out.value[i] = r.value;
        out.quantity_type[i] = r.quantity_type;
        out.unit[i] = r.unit;
        out.type_guid[i] = type_guid;
        out.number[i] = r.has_number ? std::optional(r.number) : std::nullopt;
        out.source[i] = sources[static_cast<std::size_t>(source)];
    };
    join_definitions<QuantityRow>(table, guids, out.text, SetKind{"IFCELEMENTQUANTITY", 5}, plan, make_renderer,
                                  render, resize, put);
    return out;
}

}  // namespace quarnel
