"""Whether values meet an IDS value condition, over whole Arrow columns.

A column of values comes as text (booleans as "true"/"false"), a float64 number where the value
is numeric (in SI units), and a kind per row ("string", "integer", "real", "boolean", ...). Text
compares exactly; numbers compare as numbers, reals within the IDS tolerance:
|x - v| <= 1e-6 * |v| + 1e-6. Patterns are XSD regular expressions matching the whole value,
run once per distinct text. Empty text and the logical UNKNOWN meet no condition.
"""

from __future__ import annotations

import math
import re
import threading
from typing import Dict, Optional, Tuple

import numpy as np
import pyarrow as pa
import pyarrow.compute as pc

from .parse import IdsError, Value

EPSILON = 1e-6
# The edge itself is inside (1.0 admits 0.999998 and 1.000002, as the documentation's table of
# bounds shows): a few units in the last place keep it inside against binary rounding.
_ULPS = 8
NUMERIC = ("integer", "real", "number")
MAX_PATTERN_VALUE = 10_000  # characters of a value a pattern is tried on; longer ones do not match

_INTEGER = re.compile(r"[+-]?[0-9]+\Z")
_DOUBLE = re.compile(r"[+-]?(?:[0-9]+(?:\.[0-9]*)?|\.[0-9]+)(?:[eE][+-]?[0-9]+)?\Z|[+-]?INF\Z|NaN\Z")


def parse_number(text: str, kind: str) -> Optional[float]:
    """An IDS literal as a number of this kind (XSD lexical forms), or None when it is none."""
    text = text.strip()
    if kind == "integer":
        return float(int(text)) if _INTEGER.match(text) else None
    if _DOUBLE.match(text):
        return float(text)
    return None


def tolerance(v: float) -> float:
    tol = abs(v) * EPSILON + EPSILON
    return tol + _ULPS * float(np.spacing(abs(v)) + np.spacing(tol))


# -- patterns -----------------------------------------------------------------------------------

_compiled: Dict[str, "Pattern"] = {}
_compiled_lock = threading.Lock()
# A group that repeats and holds a repetition itself ((a+)+, (\w*)*): the shapes that make a
# backtracking matcher take exponential time. Only patterns the linear-time engine cannot take
# are checked for them.
_NESTED = re.compile(r"\((?:[^()\\]|\\.)*[*+}](?:[^()\\]|\\.)*\)\s*[*+{?]")
_HEAD, _TAIL = "^(?:", ")$(?!\\n\\Z)"  # how elementpath anchors a translated pattern
# Python's Unicode classes in RE2's terms (RE2's own \d and \w are ASCII).
_OUTSIDE = {"d": r"\p{Nd}", "D": r"\P{Nd}", "w": r"[\p{L}\p{N}_]", "W": r"[^\p{L}\p{N}_]"}
_INSIDE = {"d": r"\p{Nd}", "D": r"\P{Nd}", "w": r"\p{L}\p{N}_"}


class Pattern:
    """An XSD pattern, matching whole values: run by Arrow's RE2 engine (linear time, in C++)
    where the expression translates to it, else by Python's re on values of at most
    MAX_PATTERN_VALUE characters, and then only when it nests no repetitions."""

    def __init__(self, pattern: str, where: str = ""):
        from elementpath.regex import translate_pattern

        prefix = f"{where}: " if where else ""
        try:
            translated = translate_pattern(pattern, back_references=False, lazy_quantifiers=False, anchors=False)
            self.python = re.compile(f"(?:{translated})\\Z", re.DOTALL)
        except Exception as e:  # elementpath's RegexError and re.error
            raise IdsError(f"{prefix}pattern {pattern!r} is no valid XSD regular expression: {e}") from None
        self.re2 = _to_re2(translated)
        if self.re2 is None and (_NESTED.search(pattern) or _nested_repetition(pattern)):
            raise IdsError(f"{prefix}pattern {pattern!r} nests repetitions (e.g. (a+)+), which can take "
                           "exponential time to match; write it without the nested repeat")

    def mask(self, values: pa.Array) -> pa.Array:
        """Which of the (distinct) values match."""
        if self.re2 is not None:
            return pc.fill_null(pc.match_substring_regex(values, pattern=self.re2), False)
        return pa.array([v is not None and len(v) <= MAX_PATTERN_VALUE and self.python.match(v) is not None
                         for v in values.to_pylist()], pa.bool_())


def _to_re2(translated: str) -> Optional[str]:
    """The translated pattern in RE2's syntax, or None where it uses what RE2 lacks."""
    if not (translated.startswith(_HEAD) and translated.endswith(_TAIL)):
        return None
    body = translated[len(_HEAD):-len(_TAIL)]
    if "(?=" in body or "(?!" in body or "(?<" in body:
        return None
    out, i, in_class = [], 0, False
    while i < len(body):
        c = body[i]
        if c == "\\" and i + 1 < len(body):
            e = body[i + 1]
            table = _INSIDE if in_class else _OUTSIDE
            if e in "dDwW":
                if e not in table:
                    return None
                out.append(table[e])
            elif e in "AZbB":
                return None
            else:
                out.append(body[i:i + 2])
            i += 2
            continue
        if in_class and c == "]":
            in_class = False
        elif not in_class and c == "[":
            in_class = True
            if body.startswith("[^]", i) or body.startswith("[]", i):
                return None
        out.append(c)
        i += 1
    expression = "^(?:" + "".join(out) + ")$"
    try:
        pc.match_substring_regex(pa.array([""], pa.string()), pattern=expression)
    except (pa.ArrowInvalid, pa.ArrowNotImplementedError):
        return None
    return expression


def compile_pattern(pattern: str, where: str = "") -> Pattern:
    """The pattern made ready to match; IdsError when it is no valid XSD pattern or could only
    run on a backtracking engine and nests repetitions."""
    with _compiled_lock:
        found = _compiled.get(pattern)
    if found is None:
        found = Pattern(pattern, where)
        with _compiled_lock:
            _compiled[pattern] = found
    return found


def _nested_repetition(pattern: str) -> bool:
    """Whether a repeated group holds a repetition, counting nesting properly (the regular
    expression above misses groups within groups)."""
    stack = [False]  # per open group: does it hold a quantifier?
    i, n = 0, len(pattern)
    in_class = False
    while i < n:
        c = pattern[i]
        if c == "\\":
            i += 2
            continue
        if in_class:
            in_class = c != "]"
        elif c == "[":
            in_class = True
        elif c == "(":
            stack.append(False)
        elif c == ")" and len(stack) > 1:
            inner = stack.pop()
            if inner and i + 1 < n and pattern[i + 1] in "*+{":
                return True
            stack[-1] = stack[-1] or inner
        elif c in "*+{?":
            stack[-1] = True
        i += 1
    return False


def pattern_mask(patterns: Tuple[str, ...], text: pa.Array, where: str = "") -> pa.Array:
    """Rows whose text matches any of the patterns, decided once per distinct text."""
    compiled = [compile_pattern(p, where) for p in patterns]
    distinct = pc.unique(text.dictionary if isinstance(text.type, pa.DictionaryType) else text)
    hit = compiled[0].mask(distinct)
    for c in compiled[1:]:
        hit = pc.or_(hit, c.mask(distinct))
    return pc.fill_null(pc.is_in(text, value_set=distinct.filter(hit)), False)


# -- one condition over columns ------------------------------------------------------------------

class Column:
    """Values to test: text, number (SI) and kind, equal-length Arrow arrays (kind may be a
    single string for a column of one kind)."""

    def __init__(self, text, number=None, kind="string"):
        self.text = _plain(text)
        self.length = len(self.text)
        self.number = number if number is not None else pa.nulls(self.length, pa.float64())
        self.kind = kind

    def kind_is(self, *kinds):
        if isinstance(self.kind, str):
            return (_all_true if self.kind in kinds else _all_false)(self.length)
        return pc.is_in(self.kind, value_set=pa.array(list(kinds), pa.string()))


def _plain(array):
    if isinstance(array, pa.ChunkedArray):
        array = array.combine_chunks()
    if isinstance(array.type, pa.DictionaryType):
        array = array.cast(pa.string())
    return array


def _fill(mask) -> pa.Array:
    return pc.fill_null(mask, False)


def matches(value: Value, col: Column, where: str = "") -> pa.Array:
    """Boolean mask: which rows of `col` meet the condition (never null)."""
    n = col.length
    if n == 0:
        return pa.array([], pa.bool_())
    present = pc.and_(pc.is_valid(col.text), pc.not_equal(pc.fill_null(col.text, ""), ""))
    present = pc.and_(present, pc.invert(pc.and_(col.kind_is("logical"), pc.equal(col.text, "UNKNOWN"))))
    numeric = pc.and_(col.kind_is(*NUMERIC), pc.is_valid(col.number))
    integer = col.kind_is("integer")
    ok = _all_true(n)
    literals = value.literals()
    if literals:
        ok = _any_literal(literals, col, numeric, integer)
    if value.patterns:
        ok = pc.and_(ok, pc.and_(pc.invert(numeric), pattern_mask(value.patterns, col.text, where)))
    for bound, literal in value.bounds:
        v = parse_number(literal, "real")
        if v is None:
            ok = pc.and_(ok, _all_false(n))
            continue
        tol = pc.if_else(integer, 0.0, tolerance(v))
        x = col.number
        if bound == "minInclusive":
            hit = pc.greater_equal(x, pc.subtract(v, tol))
        elif bound == "maxInclusive":
            hit = pc.less_equal(x, pc.add(v, tol))
        elif bound == "minExclusive":
            hit = pc.greater(x, pc.add(v, tol))
        else:
            hit = pc.less(x, pc.subtract(v, tol))
        ok = pc.and_(ok, pc.and_(numeric, _fill(hit)))
    if value.lengths:
        length = pc.utf8_length(pc.fill_null(col.text, ""))
        for facet, count in value.lengths:
            test = {"length": pc.equal, "minLength": pc.greater_equal, "maxLength": pc.less_equal}[facet]
            ok = pc.and_(ok, test(length, count))
    for facet, count in value.digits:
        ok = pc.and_(ok, _digits_mask(facet, count, col))
    return _fill(pc.and_(present, ok))


def _any_literal(literals, col: Column, numeric, integer) -> pa.Array:
    n = col.length
    text_hit = pc.is_in(col.text, value_set=pa.array(list(literals), pa.string()))
    number_hit = _all_false(n)
    for literal in literals:
        v = parse_number(literal, "real")
        if v is None or math.isnan(v):
            continue
        exact = pc.equal(col.number, v)
        near = pc.less_equal(pc.abs(pc.subtract(col.number, v)), tolerance(v))
        number_hit = pc.or_(number_hit, _fill(pc.if_else(integer, exact, near)))
    # A numeric value is compared as a number, any other as text.
    return _fill(pc.if_else(numeric, number_hit, text_hit))


def _digits_mask(facet: str, count: int, col: Column) -> pa.Array:
    hits = []
    for t in pc.unique(col.text).to_pylist():
        if t is None:
            continue
        whole, _, fraction = t.strip().lstrip("+-").lower().split("e")[0].partition(".")
        fraction = fraction.rstrip("0")
        size = len(fraction) if facet == "fractionDigits" else len(whole.lstrip("0") + fraction)
        if size <= count:
            hits.append(t)
    return pc.is_in(col.text, value_set=pa.array(hits, pa.string()))


def _all_true(n):
    return pa.array(np.ones(n, dtype=bool))


def _all_false(n):
    return pa.array(np.zeros(n, dtype=bool))
