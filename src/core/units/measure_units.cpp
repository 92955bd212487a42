#include "units/measure_units.hpp"

#include <cmath>

#include "step/values.hpp"

namespace quarnel {
namespace {

constexpr struct {
    std::string_view name;
    double factor;
} kPrefixes[] = {{"KILO", 1e3}, {"HECTO", 1e2}, {"DECA", 1e1}, {"DECI", 1e-1},
                 {"CENTI", 1e-2}, {"MILLI", 1e-3}, {"MICRO", 1e-6}, {"NANO", 1e-9}};

std::optional<double> si_scale(Attributes& a, int power) {
    const std::string_view name = a.enumeration(3).value_or(std::string_view());
    if (name != "SQUARE_METRE" && name != "CUBIC_METRE") return std::nullopt;
    const std::string_view prefix = a.enumeration(2).value_or(std::string_view());
    for (const auto& p : kPrefixes) {
        if (prefix == p.name) return std::pow(p.factor, power);
    }
    return 1.0;
}

std::optional<double> scale_of(std::uint64_t id, const UnitLookup& lookup, std::string_view unit_type, int power,
                               bool allow_conversion) {
    const auto unit = lookup(id);
    if (!unit) return std::nullopt;
    Attributes a(unit->attributes);
    if (!equals_upper(a.enumeration(1).value_or(std::string_view()), unit_type)) return std::nullopt;
    if (equals_upper(unit->type, "IFCSIUNIT")) return si_scale(a, power);
    if (!allow_conversion || !equals_upper(unit->type, "IFCCONVERSIONBASEDUNIT")) return std::nullopt;
    const auto measure_id = a.ref(3);
    const auto measure = measure_id ? lookup(*measure_id) : std::nullopt;
    if (!measure || !equals_upper(measure->type, "IFCMEASUREWITHUNIT")) return std::nullopt;
    Attributes m(measure->attributes);
    std::string_view piece = m.piece(0);
    if (const auto typed = value::typed(piece)) piece = trim(typed->inner);
    const auto value = parse_real(piece);
    const auto of = m.ref(1);
    const auto base = of ? scale_of(*of, lookup, unit_type, power, false) : std::nullopt;
    if (!value || !base || !std::isfinite(*value * *base) || *value * *base <= 0.0) return std::nullopt;
    return *value * *base;
}

}  // namespace

std::optional<double> metre_power_unit_scale(const std::vector<std::uint64_t>& assigned, const UnitLookup& lookup,
                                             std::string_view unit_type, int power) {
    for (const std::uint64_t id : assigned) {
        if (const auto scale = scale_of(id, lookup, unit_type, power, true)) return scale;
    }
    return std::nullopt;
}

}  // namespace quarnel
