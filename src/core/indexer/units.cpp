#include <array>

#include "indexer/pass.hpp"
#include "step/values.hpp"

namespace quarnel {
namespace {

struct Factor {
    std::string_view name;
    double factor;
};

constexpr std::array<Factor, 4> kLengthUnits{{
    {"METRE", 1.0},
    {"METER", 1.0},
    {"FOOT", 0.3048},
    {"INCH", 0.0254},
}};

constexpr std::array<Factor, 16> kSiPrefixes{{
    {"EXA", 1e18},
    {"PETA", 1e15},
    {"TERA", 1e12},
    {"GIGA", 1e9},
    {"MEGA", 1e6},
    {"KILO", 1000.0},
    {"HECTO", 100.0},
    {"DECA", 10.0},
    {"DECI", 0.1},
    {"CENTI", 0.01},
    {"MILLI", 0.001},
    {"MICRO", 1e-6},
    {"NANO", 1e-9},
    {"PICO", 1e-12},
    {"FEMTO", 1e-15},
    {"ATTO", 1e-18},
}};

template <std::size_t N>
std::optional<double> factor_of(const std::array<Factor, N>& table, std::string_view name) {
    for (const auto& f : table) {
        if (f.name == name) return f.factor;
    }
    return std::nullopt;
}

}  // namespace

// UnitType, Prefix and Name at 1, 2 and 3.
void IndexPass::si_unit(const InstanceHeader& h) {
    SiUnitRecord& r = si_units_[h.id];
    r.unit_type = record_.enumeration(1).value_or("");
    r.prefix = record_.enumeration(2).value_or("");
    r.name = record_.enumeration(3).value_or("");
}

// The first assignment that lists at least one unit is the one used.
void IndexPass::unit_assignment() {
    if (!unit_list_.empty()) return;
    if (const auto units = record_.list(0)) reference_list(*units, unit_list_);
}

// The first SI length unit of the assignment, in metres.
void IndexPass::resolve_unit_scale() {
    if (unit_list_.empty() || si_units_.size() == 0) return;
    for (const std::uint64_t id : unit_list_) {
        const SiUnitRecord* r = si_units_.find(id);
        if (!r || !equals_upper(r->unit_type, "LENGTHUNIT")) continue;
        const auto base = factor_of(kLengthUnits, r->name);
        if (!base) continue;
        out_.unit_scale = *base * factor_of(kSiPrefixes, r->prefix).value_or(1.0);
        return;
    }
}

}  // namespace quarnel
