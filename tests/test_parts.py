"""A model large enough to be read in parts on several threads, whose walls all differ: a row
that takes a text, a member or a record from the wrong part shows as a row of another wall."""
import pytest

import quarnel
from conftest import assert_tables_whole, building, building_rows, ifc_text, table_rows

WALLS = 34_000  # 680,000 records and 68,000 links: above the sizes where reads and joins split in two
FUNCTIONS = ("psets", "quantities", "materials", "classifications")


@pytest.fixture(scope="module")
def large(tmp_path_factory):
    path = tmp_path_factory.mktemp("parts") / "walls.ifc"
    path.write_text(ifc_text(building(WALLS)), encoding="latin-1")
    return str(path), building_rows(WALLS)


def test_extract_all_gives_every_wall_its_own_rows(large):
    path, expected = large
    result = quarnel.extract_all(path)
    for table in FUNCTIONS:
        assert table_rows(result[table], table) == expected[table], table
        assert result[table]["guid"] == sorted(result[table]["guid"]), "rows follow the relationships in file order"


def test_property_table_read_in_parts_has_dictionaries_of_distinct_texts(large):
    # Its texts come from pools of two parts, its rows in two parts; the rows are those of the
    # dict result (test_arrow).
    assert_tables_whole(quarnel.read_tables(large[0], ["psets"]))
