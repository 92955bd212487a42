import ast
import os
import pathlib

import pytest

import quarnel
from clitools import FUNCTIONS
from conftest import SAMPLE

PACKAGE = pathlib.Path(quarnel.__file__).parent


@pytest.mark.parametrize("name", FUNCTIONS)
@pytest.mark.parametrize("kind", ["str", "pathlib", "pathlike", "bytes pathlike"])
def test_functions_accept_str_and_pathlike(name, kind):
    function = getattr(quarnel, name)

    class Custom:
        def __init__(self, path):
            self.path = path

        def __fspath__(self):
            return self.path

    path = {"str": str(SAMPLE), "pathlib": SAMPLE, "pathlike": Custom(str(SAMPLE)),
            "bytes pathlike": Custom(os.fsencode(SAMPLE))}[kind]
    result = function(path)
    assert result["size_bytes"] == SAMPLE.stat().st_size


def test_missing_file_message_names_the_path_as_given():
    with pytest.raises(OSError) as err:
        quarnel.extract_psets(pathlib.Path("no/such/model.ifc"))
    assert str(err.value).startswith("open no/such/model.ifc: ")


@pytest.mark.parametrize("bad", [None, 3, ["a.ifc"], b"model.ifc"])
def test_non_paths_raise_type_error(bad):
    with pytest.raises(TypeError):
        quarnel.extract_psets(bad)


def test_native_module_still_takes_str_only():
    with pytest.raises(TypeError):
        quarnel._core.extract_psets(SAMPLE)


def test_functions_keep_their_names_and_documentation():
    for name in FUNCTIONS:
        function = getattr(quarnel, name)
        assert function.__name__ == name
        assert function.__doc__ and len(function.__doc__) > 40
    assert quarnel.__version__ == quarnel._core.__version__


# The stubs must describe what the native functions really return, key by key, in order.

def stub_classes():
    tree = ast.parse((PACKAGE / "_core.pyi").read_text())
    classes = {}
    for node in tree.body:
        if isinstance(node, ast.ClassDef):
            keys = [n.target.id for n in node.body if isinstance(n, ast.AnnAssign)]
            bases = [b.id for b in node.bases if isinstance(b, ast.Name) and b.id != "TypedDict"]
            classes[node.name] = (bases, keys)
    returns = {
        node.name: node.returns.id
        for node in tree.body if isinstance(node, ast.FunctionDef)
    }

    def keys_of(name):
        bases, keys = classes[name]
        return [k for b in bases for k in keys_of(b)] + keys

    return keys_of, returns


def test_package_ships_stubs_and_marker():
    assert (PACKAGE / "py.typed").is_file()
    assert (PACKAGE / "_core.pyi").is_file()
    _, returns = stub_classes()
    assert sorted(returns) == sorted(FUNCTIONS)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_stub_keys_match_results(name):
    keys_of, returns = stub_classes()
    result = getattr(quarnel, name)(str(SAMPLE))
    assert list(result) == keys_of(returns[name])
    nested = {
        "index_ifc": {"products": "ProductTable", "storeys": "StoreyTable", "contained_in": "ContainmentPairs",
                      "aggregates": "AggregationPairs", "storey_building": "StoreyBuildingPairs",
                      "sites": "SpatialTable", "buildings": "SpatialTable", "projects": "SpatialTable",
                      "spaces": "SpatialTable"},
        "extract_all": {"psets": "PsetTable", "quantities": "QuantityTable", "materials": "MaterialTable",
                        "classifications": "ClassificationTable"},
    }.get(name, {})
    for key, stub in nested.items():
        assert list(result[key]) == keys_of(stub), key
