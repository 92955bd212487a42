"""SI factors of values: property measures by their type and the model's units, quantities by
the unit the quantity table names (the revision diff and the IDS checks)."""

from __future__ import annotations

from typing import Dict

import pyarrow as pa
import pyarrow.compute as pc

# Measure types whose numbers are in the model's units, by what the unit measures.
MEASURES = {
    "length": ("IfcLengthMeasure", "IfcPositiveLengthMeasure", "IfcNonNegativeLengthMeasure"),
    "area": ("IfcAreaMeasure",),
    "volume": ("IfcVolumeMeasure",),
    "angle": ("IfcPlaneAngleMeasure", "IfcPositivePlaneAngleMeasure"),
}
PREFIXES = {"EXA": 1e18, "PETA": 1e15, "TERA": 1e12, "GIGA": 1e9, "MEGA": 1e6, "KILO": 1e3, "HECTO": 1e2,
            "DECA": 1e1, "DECI": 1e-1, "CENTI": 1e-2, "MILLI": 1e-3, "MICRO": 1e-6, "NANO": 1e-9, "PICO": 1e-12}
# SI base names (and their power of the prefix), then the common conversion-based names.
BASES = {"METRE": (1.0, 1), "SQUARE_METRE": (1.0, 2), "CUBIC_METRE": (1.0, 3), "GRAM": (1e-3, 1),
         "SECOND": (1.0, 1), "RADIAN": (1.0, 1)}
NAMED = {"FOOT": 0.3048, "INCH": 0.0254, "SQUARE FOOT": 0.09290304, "SQUARE INCH": 0.00064516,
         "CUBIC FOOT": 0.028316846592, "CUBIC INCH": 1.6387064e-05, "DEGREE": 0.017453292519943295,
         "POUND": 0.45359237}


def unit_factor(unit: str) -> float:
    """SI units per unit named as the quantity table names it (MILLIMETRE, SQUARE_METRE, FOOT);
    1 for a name it does not know."""
    name = unit.upper().replace("METER", "METRE")
    if name in NAMED:
        return NAMED[name]
    for prefix, factor in PREFIXES.items():
        for base, (scale, power) in BASES.items():
            if name == prefix + base or (base.startswith(("SQUARE_", "CUBIC_")) and
                                         name == base.split("_")[0] + "_" + prefix + base.split("_")[1]):
                return scale * factor ** power
    if name in BASES:
        return BASES[name][0]
    return 1.0


def quantity_scale(units: pa.Array) -> pa.Array:
    """The SI factor of each unit named (applied to a dictionary's few entries)."""
    return pa.array([1.0 if u is None else unit_factor(u) for u in units.to_pylist()], pa.float64())


def number_scale(value_types, scales: Dict[str, float]):
    """The factor bringing each property number to SI: the model's unit for its measure, 1 for
    other types (looked up once per dictionary entry)."""
    names = [n for measure in MEASURES.values() for n in measure]
    factors = pa.array([scales[m] for m, measure in MEASURES.items() for _ in measure] + [1.0], pa.float64())

    def lookup(types):
        return pc.take(factors, pc.fill_null(pc.index_in(types, value_set=pa.array(names)), len(names)))

    chunks = value_types.chunks if isinstance(value_types, pa.ChunkedArray) else [value_types]
    return pa.chunked_array([pc.take(lookup(c.dictionary), c.indices) if pa.types.is_dictionary(c.type)
                             else lookup(c) for c in chunks], pa.float64())
