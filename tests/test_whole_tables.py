"""Whole tables of generated models (model_shapes) against the rows worked out from the model
as written: places in spatial trees with mezzanines and nested spaces, complex properties
nested and followed by siblings, types shared by many occurrences, and a model whose property
sets are read in two parts, whose dictionaries must still hold each text once."""
import pytest

import quarnel
from conftest import assert_tables_whole
from model_shapes import (ELEMENT_COLUMNS, PROPERTY_COLUMNS, TYPED_ELEMENT_COLUMNS, property_model, spatial_model,
                          table_multiset)

SEEDS = (1, 2, 3)


@pytest.mark.parametrize("seed", SEEDS)
def test_products_stand_in_their_nearest_storey_building_and_site(write_ifc, seed):
    data, rows = spatial_model(seed)
    tables = quarnel.read_tables(write_ifc(data), ["elements", "products"])
    assert table_multiset(tables["elements"], ELEMENT_COLUMNS) == rows
    assert_tables_whole(tables)


@pytest.mark.parametrize("seed", SEEDS)
def test_properties_of_complex_shared_and_typed_sets(write_ifc, seed):
    data, properties, elements = property_model(seed)
    tables = quarnel.read_tables(write_ifc(data), ["properties", "elements", "psets"])
    assert table_multiset(tables["properties"], PROPERTY_COLUMNS) == properties
    assert table_multiset(tables["elements"], TYPED_ELEMENT_COLUMNS) == elements
    assert_tables_whole(tables)


def test_sets_read_in_parts_give_the_same_rows_and_dictionaries_of_distinct_texts(write_ifc):
    # Over 40,000 sets: they are rendered in two parts (on two cores or more), whose texts repeat.
    data, properties, elements = property_model(7, walls=1000, most_properties=1, sets_per_wall=(40, 44),
                                                complex_share=0.05)
    tables = quarnel.read_tables(write_ifc(data), ["properties", "elements"])
    assert_tables_whole(tables)
    assert table_multiset(tables["properties"], PROPERTY_COLUMNS) == properties
    assert table_multiset(tables["elements"], TYPED_ELEMENT_COLUMNS) == elements
