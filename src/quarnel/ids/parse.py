"""Reading an IDS file: XML checked against the IDS 1.0 XML schema, then turned into plain objects.

The XML is read with entity expansion and DTDs forbidden and nothing fetched: an IDS comes from
outside and a billion-laughs or external-entity file must fail at once, not fill the memory or
reach the network. The schema shipped beside this module (ids.xsd, unchanged) is the one used.
"""

from __future__ import annotations

import os
import re
import threading
from dataclasses import dataclass, field
from typing import Dict, List, Optional, Tuple

IDS_NS = "http://standards.buildingsmart.org/IDS"
XS_NS = "http://www.w3.org/2001/XMLSchema"
_I = "{%s}" % IDS_NS
_X = "{%s}" % XS_NS
XSD_PATH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "ids.xsd")

FACETS = ("entity", "partOf", "classification", "attribute", "property", "material")
BOUNDS = ("minInclusive", "maxInclusive", "minExclusive", "maxExclusive")
LENGTHS = ("length", "minLength", "maxLength")


class IdsError(Exception):
    """An IDS file that cannot be checked against: unreadable, unsafe, not valid against the IDS
    schema, or wrong in meaning. The message names the element and why."""


@dataclass(frozen=True)
class Value:
    """A value condition: a simple value, or an xs:restriction of enumerations, patterns,
    bounds and lengths."""
    simple: Optional[str] = None
    base: Optional[str] = None  # the restriction's base type without prefix: "string", "double", ...
    enumeration: Tuple[str, ...] = ()
    patterns: Tuple[str, ...] = ()
    bounds: Tuple[Tuple[str, str], ...] = ()  # (minInclusive|..., literal)
    lengths: Tuple[Tuple[str, int], ...] = ()  # (length|minLength|maxLength, n)
    digits: Tuple[Tuple[str, int], ...] = ()  # totalDigits, fractionDigits

    @property
    def is_simple(self) -> bool:
        return self.simple is not None

    def literals(self) -> Tuple[str, ...]:
        """The values named outright (simple value or enumeration); () for other restrictions."""
        if self.simple is not None:
            return (self.simple,)
        return self.enumeration

    def text(self) -> str:
        if self.simple is not None:
            return repr(self.simple)
        parts = []
        if self.enumeration:
            parts.append("one of " + ", ".join(repr(v) for v in self.enumeration))
        parts += [f"matching /{p}/" for p in self.patterns]
        signs = {"minInclusive": ">=", "maxInclusive": "<=", "minExclusive": ">", "maxExclusive": "<"}
        parts += [f"{signs[k]} {v}" for k, v in self.bounds]
        parts += [f"{k} {n}" for k, n in self.lengths + self.digits]
        return " and ".join(parts) or "anything"


@dataclass
class Facet:
    kind: str  # one of FACETS
    where: str  # the element, for messages: "specification 1 'Walls', requirements, property 2"
    cardinality: str = "required"  # required, optional, prohibited
    name: Optional[Value] = None  # entity, attribute
    predefined_type: Optional[Value] = None  # entity
    value: Optional[Value] = None  # attribute, property, classification, material
    property_set: Optional[Value] = None  # property
    base_name: Optional[Value] = None  # property
    data_type: Optional[str] = None  # property, as written (upper case)
    system: Optional[Value] = None  # classification
    relation: Optional[str] = None  # partOf
    entity: Optional["Facet"] = None  # partOf: the whole
    instructions: Optional[str] = None
    uri: Optional[str] = None


@dataclass
class Specification:
    index: int
    name: str
    ifc_versions: Tuple[str, ...]
    where: str
    identifier: Optional[str] = None
    description: Optional[str] = None
    instructions: Optional[str] = None
    min_occurs: int = 1
    max_occurs: Optional[int] = None  # None: unbounded
    applicability: List[Facet] = field(default_factory=list)
    requirements: List[Facet] = field(default_factory=list)
    requirements_description: Optional[str] = None

    @property
    def usage(self) -> str:
        """required (at least one applicable object), optional, or prohibited (none may apply)."""
        if self.max_occurs == 0:
            return "prohibited"
        return "required" if self.min_occurs > 0 else "optional"


@dataclass
class Ids:
    info: Dict[str, object]
    specifications: List[Specification]
    path: Optional[str] = None


_schema = None
_schema_lock = threading.Lock()
# The IDS schema imports the XML and XML Schema namespaces from the W3C's site: they resolve to
# the copies installed with the package, the XSI one (built into the validator) to nothing.
W3C = {"http://www.w3.org/2001/XMLSchema.xsd": "XMLSchema.xsd", "http://www.w3.org/2001/xml.xsd": "xml.xsd"}
W3C_DIR = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "xsd")
XSI = "http://www.w3.org/2001/XMLSchema-instance"


def _parser(resolver=None):
    """No entity expanded, no DTD loaded, nothing fetched; comments and processing instructions
    dropped, so that every child is an element."""
    from lxml import etree

    parser = etree.XMLParser(resolve_entities=False, load_dtd=False, no_network=True, remove_comments=True,
                             remove_pis=True)
    if resolver is not None:
        parser.resolvers.add(resolver)
    return parser


def xml_schema():
    """The IDS XML schema, built once and shared by every thread."""
    global _schema
    with _schema_lock:
        if _schema is None:
            try:
                from lxml import etree
            except ImportError:
                from quarnel.tables import MissingDependency
                raise MissingDependency("IDS checks need lxml: pip install 'quarnel[ids]'") from None

            class Local(etree.Resolver):
                def resolve(self, url, pubid, context):
                    if url in W3C:
                        return self.resolve_filename(os.path.join(W3C_DIR, W3C[url]), context)
                    if url == XSI:
                        return self.resolve_string('<schema xmlns="http://www.w3.org/2001/XMLSchema"/>', context)
                    return None

            if not os.path.exists(os.path.join(W3C_DIR, "XMLSchema.xsd")):
                raise IdsError(f"the W3C schema documents the IDS schema imports are missing from {W3C_DIR}: "
                               "reinstall quarnel")
            _schema = etree.XMLSchema(etree.parse(XSD_PATH, _parser(Local())))
        return _schema


def _document(source):
    """The IDS parsed (not yet validated); raises IdsError for unreadable, malformed or unsafe XML."""
    from lxml import etree

    if isinstance(source, str) and source.lstrip().startswith("<"):
        # Text is decoded already: its declaration, which may name an encoding, is dropped.
        data = re.sub(r"^\s*<\?xml[^>]*\?>", "", source)
    else:
        try:
            with open(source, "rb") as f:
                data = f.read()
        except OSError as e:
            raise IdsError(f"{_name(source)}: {e.strerror or e}") from None
    try:
        root = etree.fromstring(data, _parser())
    except etree.XMLSyntaxError as e:
        text = _first_line(e)
        if "entit" in text.lower():
            raise IdsError(f"{_name(source)}: {UNSAFE}: {text}") from None
        raise IdsError(f"{_name(source)}: invalid XML: {text}") from None
    if root.getroottree().docinfo.doctype:
        raise IdsError(f"{_name(source)}: {UNSAFE}: the file declares a DTD")
    return root


UNSAFE = "unsafe XML refused (IDS files need no DTD or entity declarations)"


def _name(source) -> str:
    if isinstance(source, str) and source.lstrip().startswith("<"):
        return "IDS"
    return os.fspath(source) if isinstance(source, (str, os.PathLike)) else "IDS"


def _first_line(e: BaseException) -> str:
    text = re.sub(r" \(<string>, line \d+\)$", "", str(e).strip())
    return text.splitlines()[0] if text else type(e).__name__


def _reason(entry) -> str:
    """An error of the validator as a line: where, and why, with namespaces left out of names."""
    text = entry.message.replace("{%s}" % IDS_NS, "").replace("{%s}" % XS_NS, "xs:").rstrip(".")
    return f"line {entry.line}: {text}"


def read_ids(source) -> Ids:
    """An IDS file (path, or XML text starting with '<') read and validated; raises IdsError."""
    shown = _name(source)
    schema = xml_schema()
    root = _document(source)
    with _schema_lock:  # the schema keeps the errors of its last validation
        errors = [] if schema.validate(root) else [_reason(e) for e in list(schema.error_log)[:3]]
    if errors:
        raise IdsError(f"{shown}: not a valid IDS 1.0 file: " + "; ".join(errors))
    ids = Ids(info=_info(root.find(_I + "info")), specifications=[], path=shown)
    for index, spec in enumerate(root.find(_I + "specifications").findall(_I + "specification")):
        ids.specifications.append(_specification(index, spec))
    return ids


def _text(element) -> Optional[str]:
    return None if element is None else (element.text or "")


def _info(info) -> Dict[str, object]:
    out: Dict[str, object] = {}
    for child in info:
        key = child.tag.replace(_I, "")
        if key == "author":
            out[key] = (child.text or "").strip()
        else:
            out[key] = child.text or ""
    return out


def _occurs(text: Optional[str], default: Optional[int]) -> Optional[int]:
    if text is None:
        return default
    return None if text == "unbounded" else int(text)


def _specification(index: int, element) -> Specification:
    name = element.get("name")
    where = f"specification {index + 1} {name!r}"
    applicability = element.find(_I + "applicability")
    spec = Specification(
        index=index, name=name, where=where,
        ifc_versions=tuple(element.get("ifcVersion").split()),
        identifier=element.get("identifier"), description=element.get("description"),
        instructions=element.get("instructions"),
        min_occurs=_occurs(applicability.get("minOccurs"), 1),
        max_occurs=_occurs(applicability.get("maxOccurs"), None),
    )
    spec.applicability = _facets(applicability, f"{where}, applicability", False)
    requirements = element.find(_I + "requirements")
    if requirements is not None:
        spec.requirements_description = requirements.get("description")
        spec.requirements = _facets(requirements, f"{where}, requirements", True)
    return spec


def _facets(parent, where: str, with_cardinality: bool) -> List[Facet]:
    out = []
    counts: Dict[str, int] = {}
    for child in parent:
        kind = child.tag.replace(_I, "")
        if kind not in FACETS:
            continue
        counts[kind] = counts.get(kind, 0) + 1
        facet = _facet(child, kind, f"{where}, {kind} {counts[kind]}")
        if with_cardinality:
            facet.cardinality = child.get("cardinality", "required")
            facet.instructions = child.get("instructions")
        out.append(facet)
    return out


def _facet(element, kind: str, where: str) -> Facet:
    f = Facet(kind=kind, where=where, uri=element.get("uri"))
    get = lambda tag: _value(element.find(_I + tag))  # noqa: E731
    if kind == "entity":
        f.name, f.predefined_type = get("name"), get("predefinedType")
    elif kind == "attribute":
        f.name, f.value = get("name"), get("value")
    elif kind == "property":
        f.property_set, f.base_name, f.value = get("propertySet"), get("baseName"), get("value")
        f.data_type = element.get("dataType")
    elif kind == "classification":
        f.system, f.value = get("system"), get("value")
    elif kind == "material":
        f.value = get("value")
    elif kind == "partOf":
        f.relation = element.get("relation")
        f.entity = _facet(element.find(_I + "entity"), "entity", f"{where}, entity")
    return f


def _value(element) -> Optional[Value]:
    if element is None:
        return None
    simple = element.find(_I + "simpleValue")
    if simple is not None:
        return Value(simple=simple.text or "")
    restriction = element.find(_X + "restriction")
    base = (restriction.get("base") or "xs:string").split(":")[-1]
    enumeration, patterns, bounds, lengths, digits = [], [], [], [], []
    for child in restriction:
        tag = child.tag.replace(_X, "")
        value = child.get("value")
        if value is None:
            continue
        if tag == "enumeration":
            enumeration.append(value)
        elif tag == "pattern":
            patterns.append(value)
        elif tag in BOUNDS:
            bounds.append((tag, value))
        elif tag in LENGTHS:
            lengths.append((tag, _count(value, tag)))
        elif tag in ("totalDigits", "fractionDigits"):
            digits.append((tag, _count(value, tag)))
    return Value(base=base, enumeration=tuple(enumeration), patterns=tuple(patterns), bounds=tuple(bounds),
                 lengths=tuple(lengths), digits=tuple(digits))


def _count(text: str, tag: str) -> int:
    try:
        n = int(text.strip())
    except ValueError:
        raise IdsError(f"xs:{tag} {text!r} is not a whole number") from None
    if n < 0:
        raise IdsError(f"xs:{tag} {text!r} is negative")
    return n
