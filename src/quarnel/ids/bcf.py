"""A report as a BCF 3.0 archive: one topic per failing specification of a model.

The archive holds bcf.version, extensions.xml (the topic types, statuses and labels used) and a
folder per topic named by its GUID with markup.bcf (title: the specification's name,
description: its reasons and their counts) and viewpoint.bcfv, whose selected components are the
failing objects' GlobalIds.
"""
import datetime
import os
import re
import uuid
import zipfile
from typing import Any, Iterable, List
from xml.sax.saxutils import escape

from .report import Grouped, Spec, reasons

TOPIC_TYPE = "Issue"
TOPIC_STATUS = "Open"
LABEL = "IDS"
AUTHOR = "quarnel"
DESCRIBED_REASONS = 20
NOT_XML = re.compile("[^\t\n\r\x20-\ud7ff\ue000-\ufffd\U00010000-\U0010ffff]")
# GlobalIds written into the viewpoint text per piece.
PIECE_ROWS = 1 << 16


def _topic_guid(model: str, spec: Spec) -> str:
    # The same specification of the same model gets the same topic when checked again.
    key = f"{model}\n{spec.row.get('index')}\n{spec.row.get('identifier')}\n{spec.row.get('name')}"
    return str(uuid.uuid5(uuid.NAMESPACE_URL, "quarnel-ids-topic:" + key))


def _text(value) -> str:
    """XML character data: escaped, and without the characters XML 1.0 cannot hold."""
    return escape(NOT_XML.sub("", "" if value is None else str(value)))


def _description(groups: Grouped, spec: Spec) -> str:
    r = spec.row
    lines = [f"{r.get('failed') or 0} of {r.get('applicable') or 0} applicable objects fail."]
    if r.get("description"):
        lines.append(str(r["description"]))
    found = reasons(groups, spec)
    for reason, times in found[:DESCRIBED_REASONS]:
        lines.append(f"{times} x {reason}")
    if len(found) > DESCRIBED_REASONS:
        lines.append(f"and {len(found) - DESCRIBED_REASONS} more reasons")
    return "\n".join(lines)


def _markup(groups: Grouped, model, spec: Spec, topic: str, viewpoint: str, when: str) -> str:
    date = datetime.datetime.fromtimestamp(os.path.getmtime(model["path"]), datetime.timezone.utc) \
        if os.path.exists(str(model["path"])) else None
    file_date = f"<Date>{date.strftime('%Y-%m-%dT%H:%M:%SZ')}</Date>" if date else ""
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<Markup>\n'
            f'<Header><Files><File IsExternal="true"><Filename>{_text(os.path.basename(str(model["path"])))}'
            f'</Filename>{file_date}</File></Files></Header>\n'
            f'<Topic Guid="{topic}" TopicType="{TOPIC_TYPE}" TopicStatus="{TOPIC_STATUS}">\n'
            f'<Title>{_text(spec.row.get("name") or "Unnamed specification")}</Title>\n'
            f"<Labels><Label>{LABEL}</Label></Labels>\n"
            f"<CreationDate>{when}</CreationDate>\n<CreationAuthor>{AUTHOR}</CreationAuthor>\n"
            f"<Description>{_text(_description(groups, spec))}</Description>\n"
            f'<Viewpoints><ViewPoint Guid="{viewpoint}"><Viewpoint>viewpoint.bcfv</Viewpoint></ViewPoint>'
            "</Viewpoints>\n</Topic>\n</Markup>\n")


def _components(groups: Grouped, spec: Spec) -> List[Any]:
    """The <Component> elements of a specification's failing objects, each GlobalId once, in the
    order they failed: pieces of text."""
    import pyarrow as pa
    import pyarrow.compute as pc
    from quarnel.literals import string
    from quarnel.writers import _text as text_of

    if not spec.count:
        return []
    column = groups.failures.column("guid").slice(spec.start, spec.count)
    column = column.combine_chunks() if column.num_chunks != 1 else column.chunk(0)
    if pa.types.is_dictionary(column.type):
        column = column.dictionary_decode()
    column = pc.unique(column.cast(pa.string()).drop_null())
    # A component names an object by a GlobalId of this form; others cannot be selected.
    column = column.filter(pc.match_substring_regex(column, "^[0-9A-Za-z_$]{22}$"))
    out = []
    for at in range(0, len(column), PIECE_ROWS):
        piece = column.slice(at, PIECE_ROWS)
        out.append(text_of(pc.binary_join_element_wise(string('<Component IfcGuid="'), piece, string('"/>\n'),
                                                        string(""))))
    return out


def _viewpoint(guid: str, components: List[Any]) -> Iterable[Any]:
    yield f'<?xml version="1.0" encoding="UTF-8"?>\n<VisualizationInfo Guid="{guid}">\n<Components>\n'.encode()
    if components:
        yield b"<Selection>\n"
        yield from components
        yield b"</Selection>\n"
    yield b'<Visibility DefaultVisibility="true"/>\n</Components>\n</VisualizationInfo>\n'


EXTENSIONS = ('<?xml version="1.0" encoding="UTF-8"?>\n<Extensions>\n'
              f"<TopicTypes><TopicType>{TOPIC_TYPE}</TopicType></TopicTypes>\n"
              f"<TopicStatuses><TopicStatus>{TOPIC_STATUS}</TopicStatus></TopicStatuses>\n"
              "<Priorities/>\n"
              f"<TopicLabels><TopicLabel>{LABEL}</TopicLabel></TopicLabels>\n"
              f"<Users><User>{AUTHOR}</User></Users>\n"
              "<SnippetTypes/>\n<Stages/>\n</Extensions>\n")
VERSION = '<?xml version="1.0" encoding="UTF-8"?>\n<Version VersionId="3.0"/>\n'


def write_bcf(groups: Grouped, path: str) -> None:
    from quarnel.writers import beside, remove

    when = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
    temp = beside(path)
    try:
        with zipfile.ZipFile(temp, "x", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
            z.writestr("bcf.version", VERSION)
            z.writestr("extensions.xml", EXTENSIONS)
            for model in groups.models:
                for spec in model["specs"]:
                    if spec.row.get("status") != "fail":
                        continue
                    topic = _topic_guid(str(model["path"]), spec)
                    viewpoint = str(uuid.uuid5(uuid.UUID(topic), "viewpoint"))
                    z.writestr(f"{topic}/markup.bcf",
                               _markup(groups, model, spec, topic, viewpoint, when))
                    with z.open(f"{topic}/viewpoint.bcfv", "w", force_zip64=True) as out:
                        for piece in _viewpoint(viewpoint, _components(groups, spec)):
                            out.write(piece)
        os.replace(temp, path)
    except BaseException:
        remove(temp)
        raise
