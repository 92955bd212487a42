"""IfcOpenShell's geometry of the corpus models, reduced to the numbers the cross-check needs:
per meshed product its box centre and largest box extent, in world coordinates and the file's
own length unit. Building them takes minutes, so they are kept in data/ifcopenshell_geometry.json.gz;
`python tests/ifcopenshell_geometry.py` builds them again from ../shared/corpus."""

import gzip
import json
import pathlib

DATA = pathlib.Path(__file__).resolve().parent / "data" / "ifcopenshell_geometry.json.gz"


def summarise(lo, hi):
    """[centre x, y, z, largest extent] of a box, to 7 significant digits."""
    values = [(a + b) / 2 for a, b in zip(lo, hi)] + [max(b - a for a, b in zip(lo, hi))]
    return [float(f"{v:.7g}") for v in values]


def model_geometry(path):
    """{guid: summary} of every product IfcOpenShell's iterator meshes."""
    import ifcopenshell
    import ifcopenshell.geom

    settings = ifcopenshell.geom.settings()
    settings.set("use-world-coords", True)
    settings.set("disable-opening-subtractions", True)
    settings.set("convert-back-units", True)  # the file's own length unit, as analyse_drift reports
    model = ifcopenshell.open(str(path))
    iterator = ifcopenshell.geom.iterator(settings, model, 1)
    found = {}
    if iterator.initialize():
        while True:
            shape = iterator.get()
            v = shape.geometry.verts
            if v:
                found[shape.guid] = summarise([min(v[a::3]) for a in range(3)], [max(v[a::3]) for a in range(3)])
            if not iterator.next():
                break
    return found


def load():
    """{model file name: {guid: summary}}; models IfcOpenShell cannot open are absent."""
    with gzip.open(DATA, "rt") as f:
        return json.load(f)


def build(corpus):
    out = {}
    for path in sorted(pathlib.Path(corpus).glob("*.ifc")):
        try:
            out[path.name] = model_geometry(path)
        except Exception as e:  # a schema IfcOpenShell does not know
            print(f"{path.name}: {e}")
    DATA.parent.mkdir(exist_ok=True)
    with gzip.open(DATA, "wt") as f:
        json.dump(out, f, separators=(",", ":"), sort_keys=True)


if __name__ == "__main__":
    from conftest import CORPUS

    build(CORPUS)
