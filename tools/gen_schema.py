"""Writes src/core/schema/attributes_table.inc: the entities of IFC2X3, IFC4 and IFC4X3 with
their supertype and abstractness, and each entity's own attributes (in order) with optionality,
the kind of their declared type and, for a named type, its name. Inherited attributes follow
from the supertype chain; which of them an entity redeclares as derived is a bit mask.

    python tools/gen_schema.py [--check]

Needs IfcOpenShell. With --check nothing is written: the exit status says whether the file is
current."""

import argparse
import pathlib
import sys

# The name each schema goes by in the tables, and IfcOpenShell's name of it.
SCHEMAS = (("IFC2X3", "IFC2X3"), ("IFC4", "IFC4"), ("IFC4X3", "IFC4X3_ADD2"))
OUT = pathlib.Path(__file__).resolve().parent.parent / "src/core/schema/attributes_table.inc"
SIMPLE = {"string": "K::String", "real": "K::Real", "number": "K::Real", "integer": "K::Integer", "boolean": "K::Boolean",
          "logical": "K::Logical", "binary": "K::Binary"}


def kind_of(t):
    """The kind of a declared type, through defined types to what they stand for."""
    if t.as_aggregation_type() is not None:
        return "K::List"
    if t.as_simple_type() is not None:
        return SIMPLE[t.as_simple_type().declared_type()]
    declaration = t.as_named_type().declared_type()
    if declaration.as_entity() is not None:
        return "K::Entity"
    if declaration.as_select_type() is not None:
        return "K::Select"
    if declaration.as_enumeration_type() is not None:
        return "K::Enum"
    return kind_of(declaration.as_type_declaration().declared_type())


def type_name(t):
    named = t.as_named_type()
    return f'"{named.declared_type().name()}"' if named is not None else '""'


def schema_rows(name):
    import ifcopenshell.ifcopenshell_wrapper as wrapper

    schema = wrapper.schema_by_name(name)
    entities = sorted(schema.entities(), key=lambda e: e.name().upper())
    index = {e.name(): i for i, e in enumerate(entities)}
    entity_rows, attribute_rows, first = [], [], 0
    for e in entities:
        own = e.attributes()
        derived = sum(1 << i for i, d in enumerate(e.derived()) if d)
        supertype = index[e.supertype().name()] if e.supertype() is not None else -1
        entity_rows.append(f'{{"{e.name()}", {supertype}, {str(e.is_abstract()).lower()}, {first}, {len(own)}, '
                           f'{derived:#x}}},')
        for a in own:
            t = a.type_of_attribute()
            attribute_rows.append(f'{{"{a.name()}", {kind_of(t)}, {str(a.optional()).lower()}, {type_name(t)}}},')
        first += len(own)
    return entity_rows, attribute_rows


def render():
    lines = ["// Made by tools/gen_schema.py from IfcOpenShell's schema definitions; do not edit.",
             "// Entities sorted by upper-case name: {name, supertype index or -1, abstract, first own attribute,",
             "// own attribute count, mask of the positions (inherited included) redeclared as derived}."]
    for short, name in SCHEMAS:
        entities, attributes = schema_rows(name)
        lines.append(f"constexpr SchemaEntity k{short}Entities[] = {{")
        lines += entities
        lines.append("};")
        lines.append(f"constexpr SchemaAttribute k{short}Attributes[] = {{")
        lines += attributes
        lines.append("};")
    return "\n".join(lines) + "\n"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--check", action="store_true")
    args = ap.parse_args()
    text = render()
    if args.check:
        current = OUT.read_text() == text
        print("current" if current else f"{OUT} is out of date: run tools/gen_schema.py")
        return 0 if current else 1
    OUT.write_text(text)
    print(f"{text.count(chr(10))} lines -> {OUT}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
