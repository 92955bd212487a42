import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent
CORPUS = ROOT.parent / "shared" / "corpus"
CORPUS_MODELS = sorted(CORPUS.glob("*.ifc")) if CORPUS.is_dir() else []
SAMPLE = ROOT / "examples" / "sample_building.ifc"

HEADER = """ISO-10303-21;
HEADER;
FILE_DESCRIPTION(('ViewDefinition [CoordinationView]'),'2;1');
FILE_NAME('test.ifc','2026-01-01T00:00:00',(''),(''),'quarnel tests','quarnel','');
FILE_SCHEMA(('IFC4'));
ENDSEC;
DATA;
"""
FOOTER = "ENDSEC;\nEND-ISO-10303-21;\n"


def ifc_text(data: str, header: str = HEADER) -> str:
    """A whole STEP file around the given DATA statements."""
    return header + data.strip("\n") + "\n" + FOOTER


@pytest.fixture
def write_ifc(tmp_path):
    """write_ifc(data, name=..., raw=False) -> path (str) of a small model.

    With raw=True `data` (str or bytes) is written exactly as given."""
    counter = iter(range(1_000_000))

    def write(data, name=None, raw=False):
        path = tmp_path / (name or f"model{next(counter)}.ifc")
        content = data if raw else ifc_text(data)
        if isinstance(content, str):
            content = content.encode("latin-1")
        path.write_bytes(content)
        return str(path)

    return write


corpus = pytest.mark.skipif(not CORPUS_MODELS, reason="../shared/corpus is not present")


def corpus_params():
    return [pytest.param(str(p), id=p.name) for p in CORPUS_MODELS]
