import shutil
import zipfile

import pytest

import quarnel
from conftest import CORPUS_MODELS, SAMPLE, corpus

distributed = pytest.importorskip("distributed")
dask = pytest.importorskip("dask")
import quarnel.dask  # noqa: E402  (after the skips: it needs dask)

pa = pytest.importorskip("pyarrow")


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as c:
        yield c


def canonical(table):
    """A table's rows in a fixed order, dictionaries decoded: equal multisets give equal tables."""
    columns = []
    for column in table.columns:
        kind = column.type.value_type if pa.types.is_dictionary(column.type) else column.type
        if pa.types.is_large_string(kind) or pa.types.is_string(kind):
            kind = pa.string()
        columns.append(column.cast(kind))
    table = pa.table(columns, names=[f"c{i}" for i in range(len(columns))])
    return table.sort_by([(name, "ascending") for name in table.column_names]).combine_chunks()


def expected(paths, table, source=None):
    """Each model's own table with its path (or `source`) in front, as one canonical table."""
    parts = []
    for path in paths:
        t = quarnel.read_table(str(path), table)
        parts.append(canonical(t.add_column(0, "source", pa.array([source or str(path)] * t.num_rows, pa.string()))))
    return canonical(pa.concat_tables(parts))


def computed(frame):
    """A computed pandas frame, or an Arrow table read back, in canonical form."""
    if not isinstance(frame, pa.Table):
        frame = pa.Table.from_pandas(frame, preserve_index=False)
    return canonical(frame)


@pytest.fixture
def good_models(tmp_path):
    paths = [tmp_path / "a.ifc", tmp_path / "b.ifc"]
    for p in paths:
        shutil.copy(SAMPLE, p)
    return [str(p) for p in paths]


@corpus
@pytest.mark.parametrize("table, group_bytes, partitions", [
    ("psets", quarnel.dask.GROUP_BYTES, None),
    ("classifications", 1, len(CORPUS_MODELS)),  # the table has a source column of its own
    ("storeys", 1 << 40, 1),  # null elevations and building ids
])
def test_corpus_frame_equals_the_tables_of_its_models(client, table, group_bytes, partitions):
    frame = quarnel.dask.read_table([str(p) for p in CORPUS_MODELS], table, group_bytes=group_bytes)
    assert partitions is None or frame.npartitions == partitions
    df = frame.compute()
    assert list(df.columns) == ["source_file" if table == "classifications" else "source"] + list(
        quarnel.table_schema(table).names)
    assert computed(df).equals(expected(CORPUS_MODELS, table))


def test_bad_models_give_error_rows_and_the_others_their_data(client, good_models, tmp_path):
    missing = str(tmp_path / "missing.ifc")
    not_ifc = tmp_path / "report.ifc"
    not_ifc.write_bytes(b"%PDF-1.7\n")
    pattern = str(tmp_path / "nothing" / "*.ifc")
    paths = [good_models[0], missing, str(not_ifc), good_models[1], pattern]
    for group_bytes in (1, 1 << 40):  # a bad model alone and among good ones
        frame = quarnel.dask.read_table(paths, "psets", group_bytes=group_bytes)
        assert computed(frame.compute()).equals(expected(good_models, "psets"))
    errors = quarnel.dask.read_errors(paths).compute()
    assert sorted(map(tuple, errors[["path", "error"]].values.tolist())) == sorted([
        (missing, f"open {missing}: No such file or directory (os error 2)"),
        (str(not_ifc), f"{not_ifc}: not an IFC file (no ISO-10303-21 header)"),
        (pattern, f"no models match {pattern}"),
    ])
    assert len(quarnel.dask.read_errors(good_models).compute()) == 0


@pytest.mark.parametrize("columns", [["prop_name", "value"], ["source"], ["value", "source", "guid"]])
def test_columns_reads_only_those(client, good_models, columns):
    frame = quarnel.dask.read_table(good_models, "psets", columns=columns)
    assert list(frame.columns) == columns
    df = frame.compute()
    assert list(df.columns) == columns
    full = expected(good_models, "psets")
    names = ["source"] + quarnel.table_schema("psets").names
    assert computed(df).equals(canonical(full.select([names.index(c) for c in columns])))


def test_a_later_selection_is_pushed_into_the_read(good_models):
    frame = quarnel.dask.read_table(good_models, "psets")[["guid", "value"]]
    if not hasattr(frame, "expr"):
        pytest.skip("this dask has no query planner to push selections")
    reads = [e for e in frame.optimize(fuse=False).expr.walk() if type(e).__name__.startswith("FromMap")]
    assert [e.columns for e in reads] == [["guid", "value"]]


def test_models_inside_a_zip_archive_are_copied_and_read(client, good_models, tmp_path):
    archive = tmp_path / "portfolio.zip"
    with zipfile.ZipFile(archive, "w") as z:
        z.write(good_models[0], "north/a.ifc")
        z.write(good_models[1], "south/b.ifc")
    frame = quarnel.dask.read_table(f"zip://**/*.ifc::{archive}", "products")
    sources = [f"zip://north/a.ifc::{archive}", f"zip://south/b.ifc::{archive}"]
    want = pa.concat_tables([expected([SAMPLE], "products", source=s) for s in sources])
    assert computed(frame.compute()).equals(canonical(want))


def test_read_tables_gives_every_table_with_its_declared_types(good_models):
    pd = pytest.importorskip("pandas")
    assert list(quarnel.dask.read_tables(good_models, "all")) == list(quarnel.registry.ALL_TABLES)
    frames = quarnel.dask.read_tables(good_models, list(quarnel.registry.TABLES))
    for (name, frame), df in zip(frames.items(), dask.compute(*frames.values(), scheduler="sync")):
        assert dict(frame.dtypes) == dict(df.dtypes) and computed(df).equals(expected(good_models, name)), name
        for column, kind in quarnel.registry.TABLES[name].columns:
            if kind in ("int", "float"):  # Arrow-backed: absent values stay null
                assert df[column].dtype == pd.ArrowDtype(pa.int64() if kind == "int" else pa.float64()), column
