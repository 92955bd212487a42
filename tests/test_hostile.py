"""Hostile and broken input files: every function must return a dict, never
crash or hang. Files are generated into tmp_path; each group runs in a child
interpreter (hostile_files.run_isolated) so that a crash fails the test rather
than ending the run. QUARNEL_HOSTILE_FULL=1 adds the prefixes of every corpus
model below 1 MB."""

import os

import pytest

import quarnel
from conftest import CORPUS, CORPUS_MODELS, FUNCTIONS, corpus
from hostile_files import (
    cyclic_placements,
    huge_string,
    ids_sharing_low_bits,
    large_profile,
    mapped_expansion,
    nested_parentheses,
    placement_chain,
    run_isolated,
    self_containing_maps,
    sprinkled,
    strings_with_every_byte,
    twenty_digit_ids,
)

FULL = os.environ.get("QUARNEL_HOSTILE_FULL") == "1"
PREFIX_MODELS = ["simplewall.ifc", "ifcopenhouse_ifc4.ifc"]
SPRINKLE_MODELS = ["ifc4_samplehouse_1_roof.ifc", "ifcopenhouse_ifc4.ifc", "ifc4_basinfacetedbrep.ifc"]

GENERATED = {
    "nested_parentheses_100k": lambda: nested_parentheses(100_000),
    "placement_chain_1m": lambda: placement_chain(1_000_000),
    "placement_chain_1m_child_first": lambda: placement_chain(1_000_000, forward=False),
    "cyclic_placements": cyclic_placements,
    "self_containing_representation_maps": self_containing_maps,
    "twenty_digit_ids": twenty_digit_ids,
    # 400k ids that are all multiples of 2^45 (once a quadratic table build).
    "ids_sharing_low_bits": lambda: ids_sharing_low_bits(30_000),
    "string_50mb": lambda: huge_string(50),
    "unterminated_string_50mb": lambda: huge_string(50, terminated=False),
    "every_byte_in_strings": strings_with_every_byte,
    # 10^5 copies of one extrusion in one product: appending each copy used to
    # reserve the exact new size, copying the whole mesh every time.
    "mapped_items_100k_copies_in_one_product": lambda: mapped_expansion(5, 10),
    # Ear clipping is quadratic at worst: a convex 100k-point cap took 13 s, a
    # self-intersecting one a minute.
    "profile_200k_points_convex": lambda: large_profile(200_000, "circle"),
    "profile_200k_points_self_intersecting": lambda: large_profile(200_000, "random"),
    "profile_200k_points_comb": lambda: large_profile(200_000, "comb"),
}


@pytest.mark.parametrize("case", list(GENERATED))
def test_generated_file_returns_dicts(case, tmp_path):
    path = tmp_path / f"{case}.ifc"
    path.write_bytes(GENERATED[case]())
    report = run_isolated([path])
    assert report == {name: 1 for name in FUNCTIONS}


@corpus
@pytest.mark.parametrize("model", [CORPUS / m for m in PREFIX_MODELS] if not FULL else
                         [p for p in CORPUS_MODELS if p.stat().st_size < 1 << 20], ids=lambda p: p.name)
def test_every_4k_prefix(model, tmp_path):
    data = model.read_bytes()
    for start in range(0, len(data), 64 * 4096):  # 64 prefixes per child interpreter
        paths = []
        for end in range(start, min(len(data), start + 64 * 4096), 4096):
            paths.append(tmp_path / f"prefix_{end}.ifc")
            paths[-1].write_bytes(data[:end])
        assert run_isolated(paths) == {name: len(paths) for name in FUNCTIONS}
        for path in paths:
            path.unlink()


@corpus
@pytest.mark.parametrize("model", SPRINKLE_MODELS)
def test_sprinkled_bytes(model, tmp_path):
    data = (CORPUS / model).read_bytes()
    paths = []
    for seed in range(4 if not FULL else 32):
        path = tmp_path / f"sprinkled_{seed}.ifc"
        path.write_bytes(sprinkled(data, seed))
        paths.append(path)
    report = run_isolated(paths)
    assert report == {name: len(paths) for name in FUNCTIONS}


def test_string_of_50mb_reaches_the_result(tmp_path):
    path = tmp_path / "huge.ifc"
    path.write_bytes(huge_string(50))
    result = quarnel.extract_psets(str(path))
    values = [v for p, v in zip(result["prop_name"], result["value"]) if p == "Huge"]
    assert [len(v) for v in values] == [50 * 1024 * 1024]
