"""The HTML page of a report: one file with its style, script and data inline (no network).

Counts, reasons and texts of the IDS are written into the page, escaped; the failures travel as
columns of JSON (texts that repeat, such as reasons and entities, as a dictionary and indices)
that the page's script shows a page at a time and searches. Every "<" in that JSON is written
as \\u003c, so no text of a model can close the script element that holds it.
"""
import html
import os
from typing import Iterator

from .report import Grouped, Spec, reasons

# Columns of the page's data: shared as a dictionary of distinct texts (listed row by row when
# most texts are distinct), or always listed.
DICTIONARY_COLUMNS = ("entity", "name", "facet", "reason", "value")
LISTED_COLUMNS = ("guid", "requirement")
# Rows of a column made into JSON text at a time (Arrow's 32-bit offsets).
PIECE_ROWS = 1 << 20
SHOWN_REASONS = 10
INFO_KEYS = ("description", "author", "copyright", "version", "date", "purpose", "milestone")


def _template() -> str:
    with open(os.path.join(os.path.dirname(__file__), "report_page.html"), encoding="utf-8") as f:
        return f.read()


def _e(value) -> str:
    return html.escape("" if value is None else str(value), quote=True)


def _n(value) -> str:
    return f"{value:,}" if isinstance(value, int) else _e(value)


def html_pieces(groups: Grouped) -> Iterator[bytes]:
    page = _template()
    title = groups.ids.get("title") or "IDS report"
    specs = [(model, spec) for model in groups.models for spec in model["specs"]]
    # Failing specifications first, each group in the order of the models and the IDS.
    specs.sort(key=lambda ms: ms[1].row.get("status") != "fail")
    failing = sum(1 for _, s in specs if s.row.get("status") == "fail")
    body = [f"<h1>{_e(title)}</h1>", '<dl class="info">']
    for k in INFO_KEYS:
        if groups.ids.get(k) is not None:
            body.append(f"<dt>{_e(k.capitalize())}</dt><dd>{_e(groups.ids[k])}</dd>")
    body.append("</dl>")
    models = ", ".join(f"{_e(os.path.basename(str(m['path'])))} ({_e(m['schema'])})" for m in groups.models)
    body.append(f'<p class="totals"><b>{failing:,}</b> of {len(specs):,} specifications fail, '
                f"<b>{sum(s.count for _, s in specs):,}</b> failures. Models: {models}</p>")
    body.append('<div class="bar"><input id="search" type="search" placeholder="Search failures by GlobalId, '
                'name, entity or reason" autocomplete="off"><span id="matches"></span></div>')
    ranges = []
    for n, (model, spec) in enumerate(specs):
        body.append(_section(groups, n, model, spec, open_=spec.row.get("status") == "fail"))
        ranges.append([spec.start, spec.count])
    head, rest = page.split("<!--body-->")
    before_data, after_data = rest.split("<!--data-->")
    yield head.replace("<!--title-->", _e(title)).encode()
    yield "\n".join(body).encode()
    yield before_data.encode()
    yield from _data_pieces(groups, ranges)
    yield after_data.encode()


def _section(groups: Grouped, n: int, model, spec: Spec, open_: bool) -> str:
    r = spec.row
    status = "fail" if r.get("status") == "fail" else "pass"
    parts = [f'<details class="spec {status}" data-spec="{n}"{" open" if open_ else ""}>',
             f'<summary><span class="badge {status}">{status.upper()}</span><b>{_e(r.get("name"))}</b>']
    if r.get("identifier"):
        parts.append(f'<span class="ident">{_e(r["identifier"])}</span>')
    parts.append(f'<span class="counts">{_n(r.get("failed"))} of {_n(r.get("applicable"))} applicable fail</span>'
                 f'<span class="model">{_e(os.path.basename(str(model["path"])))}</span></summary><div class="body">')
    for key in ("description", "instructions"):
        if r.get(key):
            parts.append(f'<p class="{key}">{_e(r[key])}</p>')
    found = reasons(groups, spec)
    if found:
        parts.append('<ul class="reasons">')
        for reason, times in found[:SHOWN_REASONS]:
            parts.append(f'<li><span class="n">{times:,}</span>{_e(reason)}</li>')
        if len(found) > SHOWN_REASONS:
            parts.append(f"<li>and {len(found) - SHOWN_REASONS:,} more reasons</li>")
        parts.append("</ul>")
    parts.append(f'<div class="failures" id="failures-{n}"></div></div></details>')
    return "".join(parts)


def _data_pieces(groups: Grouped, ranges) -> Iterator[bytes]:
    """The page's data, a column after another as it is written, every "<" escaped."""
    import json

    import pyarrow.compute as pc

    table = groups.failures
    yield b'{"specs":' + json.dumps(ranges).encode() + b',"failures":{'
    for i, name in enumerate(LISTED_COLUMNS + DICTIONARY_COLUMNS):
        yield (b"," if i else b"") + json.dumps(name).encode() + b":"
        if name not in table.column_names:
            yield b"null"
            continue
        column = _plain(table.column(name))
        encoded = pc.dictionary_encode(column) if name in DICTIONARY_COLUMNS else None
        if encoded is None or 2 * len(encoded.dictionary) > len(column):
            yield from _json_array(column)  # not shared, or mostly distinct texts: listed is smaller
            continue
        yield b'{"d":'
        yield from _json_array(encoded.dictionary)
        yield b',"i":'
        yield from _json_array(encoded.indices)
        yield b"}"
    yield b"}}"


def _plain(column):
    """One array of the column's values, dictionaries decoded and texts as 32-bit strings."""
    import pyarrow as pa

    array = column.combine_chunks() if hasattr(column, "combine_chunks") else column
    if pa.types.is_dictionary(array.type):
        array = array.dictionary_decode()
    if pa.types.is_large_string(array.type):
        array = array.cast(pa.string())
    elif not (pa.types.is_string(array.type) or pa.types.is_integer(array.type)):
        array = array.cast(pa.string())
    return array


def _json_array(values) -> Iterator[bytes]:
    """The JSON text of an array of texts or integers, in pieces, "<" written as \\u003c."""
    import pyarrow as pa
    import pyarrow.compute as pc
    from quarnel.literals import string
    from quarnel.writers import _escaped, _text

    yield b"["
    last = None
    for at in range(0, len(values), PIECE_ROWS):
        if last is not None:
            yield last
        piece = values.slice(at, PIECE_ROWS)
        if pa.types.is_integer(piece.type):
            text = pc.binary_join_element_wise(pc.cast(piece, pa.string()), string(","), string(""))
        else:
            text = pc.binary_join_element_wise(string('"'), _escaped(piece), string('",'), string(""))
        last = bytes(_text(pc.fill_null(text, string("null,")))).replace(b"<", b"\\u003c")
    if last is not None:
        yield last[:-1]  # the last value takes no ","
    yield b"]"
