#include "units/length_unit.hpp"

#include <array>
#include <cmath>
#include <string_view>

#include "step/values.hpp"

namespace quarnel {
namespace {

struct Factor {
    std::string_view name;
    double factor;
};

// SI names (and, for files that write them as SI names, foot and inch) in metres.
constexpr std::array<Factor, 4> kLengthUnits{{
    {"METRE", 1.0},
    {"METER", 1.0},
    {"FOOT", 0.3048},
    {"INCH", 0.0254},
}};

constexpr std::array<Factor, 1> kAngleUnits{{{"RADIAN", 1.0}}};

// Conversion-based units by name, used only when the file's factor cannot be read.
constexpr std::array<Factor, 11> kConversionNames{{
    {"DEGREE", 0.017453292519943295},
    {"DEGREES", 0.017453292519943295},
    {"DEG", 0.017453292519943295},
    {"GRAD", 0.015707963267948967},
    {"FOOT", 0.3048},
    {"FEET", 0.3048},
    {"FT", 0.3048},
    {"INCH", 0.0254},
    {"IN", 0.0254},
    {"YARD", 0.9144},
    {"MILE", 1609.344},
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

// A chain of conversion units, each defined by the next, ends here: real files use one step.
constexpr int kMaxConversionDepth = 8;

// SI enumerations are matched exactly, as written in upper case; conversion names, free
// text, in any case.
template <std::size_t N>
std::optional<double> factor_of(const std::array<Factor, N>& table, std::string_view name, bool any_case = false) {
    for (const auto& f : table) {
        if (any_case ? equals_upper(name, f.name) : name == f.name) return f.factor;
    }
    return std::nullopt;
}

std::string_view enum_text(Attributes& a, std::size_t i) { return a.enumeration(i).value_or(std::string_view()); }

// A plain number or the number inside a typed value such as IFCLENGTHMEASURE(0.3048).
std::optional<double> measure_value(std::string_view piece) {
    // Anything else with a parenthesis is no number either: parse_real refuses it.
    if (const auto typed = value::typed(piece)) piece = trim(typed->inner);
    if (piece.empty()) return std::nullopt;
    const char c = piece[0];
    if (c != '+' && c != '-' && c != '.' && (c < '0' || c > '9')) return std::nullopt;
    return parse_real(piece);
}

std::optional<double> unit_scale(std::uint64_t id, const UnitLookup& lookup, bool angle, int depth);

// The base units of one conversion-based unit: value times the scale of the measure's unit.
std::optional<double> conversion_factor(Attributes& unit, const UnitLookup& lookup, bool angle, int depth) {
    if (depth < kMaxConversionDepth) {
        if (const auto measure_id = unit.ref(3)) {
            if (const auto measure = lookup(*measure_id); measure && equals_upper(measure->type, "IFCMEASUREWITHUNIT")) {
                Attributes m(measure->attributes);
                const auto value = measure_value(m.piece(0));
                const auto of = m.ref(1);
                const auto scale = of ? unit_scale(*of, lookup, angle, depth + 1) : std::nullopt;
                if (value && scale && std::isfinite(*value * *scale) && *value * *scale > 0.0) return *value * *scale;
            }
        }
    }
    const auto name = unit.at(2);
    if (!name || name->size() < 2 || name->front() != '\'') return std::nullopt;
    return factor_of(kConversionNames, name->substr(1, name->size() - 2), true);
}

// Metres per unit of a length unit entity (radians per unit of an angle unit); absent for
// other units.
std::optional<double> unit_scale(std::uint64_t id, const UnitLookup& lookup, bool angle, int depth) {
    const auto unit = lookup(id);
    if (!unit) return std::nullopt;
    Attributes a(unit->attributes);
    if (!equals_upper(enum_text(a, 1), angle ? "PLANEANGLEUNIT" : "LENGTHUNIT")) return std::nullopt;
    if (equals_upper(unit->type, "IFCSIUNIT")) {
        const auto base = angle ? factor_of(kAngleUnits, enum_text(a, 3)) : factor_of(kLengthUnits, enum_text(a, 3));
        if (!base) return std::nullopt;
        const std::string_view prefix = enum_text(a, 2);
        return *base * (prefix.empty() ? 1.0 : factor_of(kSiPrefixes, prefix).value_or(1.0));
    }
    if (equals_upper(unit->type, "IFCCONVERSIONBASEDUNIT")) return conversion_factor(a, lookup, angle, depth);
    return std::nullopt;
}

}  // namespace

std::optional<double> length_unit_scale(const std::vector<std::uint64_t>& assigned, const UnitLookup& lookup) {
    for (const std::uint64_t id : assigned) {
        if (const auto scale = unit_scale(id, lookup, false, 0)) return scale;
    }
    return std::nullopt;
}

std::optional<double> plane_angle_unit_scale(const std::vector<std::uint64_t>& assigned, const UnitLookup& lookup) {
    for (const std::uint64_t id : assigned) {
        if (const auto scale = unit_scale(id, lookup, true, 0)) return scale;
    }
    return std::nullopt;
}

}  // namespace quarnel
