import fcntl
import json
import os
import pty
import shutil
import struct
import subprocess
import sys
import termios
from collections import Counter

import pytest

import quarnel
from clitools import CORPUS_PAIR, rows, run
from conftest import CORPUS, SAMPLE
from quarnel.batch import expand_paths, source_column

corpus = pytest.mark.skipif(not CORPUS.is_dir(), reason="../shared/corpus is not present")


def expected_rows(function, paths, table=None):
    """Rows of the native results of every model with the model path in front."""
    expected = Counter()
    for path in paths:
        result = getattr(quarnel, function)(str(path))
        columns = quarnel.table_columns(result, table)
        for row in zip(*columns.values()):
            expected[(str(path),) + row] += 1
    return expected


def read_jsonl(path):
    return [json.loads(line) for line in path.read_text(encoding="utf-8").splitlines()]


def test_missing_model_is_reported_skipped_and_counted(tmp_path):
    good = [tmp_path / "a.ifc", tmp_path / "b.ifc"]
    for p in good:
        shutil.copy(SAMPLE, p)
    missing = tmp_path / "missing.ifc"
    out = tmp_path / "out.jsonl"
    proc = run("batch", good[0], missing, good[1], "--table", "psets", "-o", out, "-j", "2", check=1)
    assert f"quarnel: open {missing}: No such file or directory" in proc.stderr
    assert "2 of 3 models read, 1 failed" in proc.stderr
    records = read_jsonl(out)
    assert list(records[0]) == ["source", "guid", "pset_name", "prop_name", "value", "value_type"]
    assert Counter(tuple(r.values()) for r in records) == expected_rows("extract_psets", good)
    # Rows come in the order of the models given.
    sources = [r["source"] for r in records]
    assert sources == sorted(sources, key=lambda s: [str(p) for p in good].index(s))


def test_all_good_models_exit_zero_and_no_progress_bar_when_piped(tmp_path):
    out = tmp_path / "out.csv"
    proc = run("batch", SAMPLE, SAMPLE.parent, "--table", "psets", "-o", out, check=0)
    # The sample named twice (as a file and inside its folder) is read once.
    assert "1 of 1 models read, 0 failed" in proc.stderr
    assert "\r" not in proc.stderr and "it/s" not in proc.stderr and "model/s" not in proc.stderr
    assert proc.stderr.count("\n") == 1


@pytest.mark.parametrize("tqdm", [True, False], ids=["tqdm", "plain"])
def test_progress_bar_on_a_terminal(tqdm, tmp_path):
    paths = []
    for i in range(6):
        paths.append(tmp_path / f"m{i}.ifc")
        shutil.copy(SAMPLE, paths[-1])
    env = {k: v for k, v in os.environ.items() if k not in ("COLUMNS", "LINES")}
    if tqdm:
        pytest.importorskip("tqdm")
    else:
        # A tqdm that cannot be imported: the plain bar takes over.
        (tmp_path / "blocked" / "tqdm").mkdir(parents=True)
        (tmp_path / "blocked" / "tqdm" / "__init__.py").write_text("raise ImportError('blocked')\n")
        env["PYTHONPATH"] = os.pathsep.join([str(tmp_path / "blocked"), env.get("PYTHONPATH", "")])
    primary, secondary = pty.openpty()
    fcntl.ioctl(secondary, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 100, 0, 0))
    proc = subprocess.Popen(
        [sys.executable, "-m", "quarnel", "batch", *map(str, paths), "--table", "psets",
         "-o", str(tmp_path / "out.csv"), "-j", "2"],
        stdout=subprocess.DEVNULL, stderr=secondary, stdin=subprocess.DEVNULL, env=env)
    os.close(secondary)
    seen = b""
    while True:
        try:
            chunk = os.read(primary, 4096)
        except OSError:
            break
        if not chunk:
            break
        seen += chunk
    os.close(primary)
    assert proc.wait(timeout=60) == 0
    assert b"\r" in seen
    assert (b"/6 [" if tqdm else b"6/6 models") in seen
    assert b"6 of 6 models read" in seen


@corpus
@pytest.mark.parametrize("jobs", ["1", "2"])
def test_corpus_models_into_parquet(jobs, tmp_path):
    pq = pytest.importorskip("pyarrow.parquet")
    out = tmp_path / "psets.parquet"
    run("batch", *CORPUS_PAIR, SAMPLE, "--table", "psets", "-o", out, "-j", jobs, check=0)
    table = pq.read_table(out).to_pydict()
    assert rows(table) == expected_rows("extract_psets", [*CORPUS_PAIR, SAMPLE])
    assert list(dict.fromkeys(table["source"])) == [str(p) for p in (*CORPUS_PAIR, SAMPLE)]


@corpus
@pytest.mark.parametrize("table, function, inner", [
    pytest.param("quantities", "extract_quantities", None),
    pytest.param("materials", "extract_materials", None),
    pytest.param("classifications", "extract_classifications", None),
    pytest.param("drift", "analyse_drift", None),
    pytest.param("products", "index_ifc", "products"),
    pytest.param("storeys", "index_ifc", "storeys"),
])
def test_other_tables(table, function, inner, tmp_path):
    pd = pytest.importorskip("pandas")
    out = tmp_path / "out.csv"
    run("batch", *CORPUS_PAIR, SAMPLE, "--table", table, "-o", out, "-j", "2", check=0)
    frame = pd.read_csv(out, dtype=str, keep_default_na=False)
    native = quarnel.table_columns(getattr(quarnel, function)(str(SAMPLE)), inner)
    assert list(frame.columns) == [source_column(native)] + list(native)
    total = sum(len(next(iter(quarnel.table_columns(getattr(quarnel, function)(str(p)), inner).values())))
                for p in (*CORPUS_PAIR, SAMPLE))
    assert len(frame) == total


@corpus
def test_all_tables_into_a_folder(tmp_path):
    out = tmp_path / "tables"
    run("batch", *CORPUS_PAIR, "--table", "all", "-o", out, "--format", "jsonl", check=0)
    for name in ("psets", "quantities", "materials", "classifications"):
        records = read_jsonl(out / f"{name}.jsonl")
        expected = Counter()
        for p in CORPUS_PAIR:
            for row in zip(*quarnel.extract_all(str(p))[name].values()):
                expected[(str(p),) + row] += 1
        assert Counter(tuple(r.values()) for r in records) == expected, name


def test_glob_without_matches_fails(tmp_path):
    proc = run("batch", tmp_path / "*.ifc", "--table", "psets", "-o", tmp_path / "out.csv", check=1)
    assert f"quarnel: no models match {tmp_path / '*.ifc'}" in proc.stderr


def test_unknown_output_extension_fails_before_reading(tmp_path):
    proc = run("batch", SAMPLE, "--table", "psets", "-o", tmp_path / "out.xlsx", check=1)
    assert proc.stderr.startswith("quarnel: cannot tell the output format")


def test_expand_paths(tmp_path):
    (tmp_path / "a").mkdir()
    (tmp_path / "a" / "deep").mkdir()
    for name in ("a/one.ifc", "a/deep/two.IFC", "a/notes.txt", "three.ifc"):
        (tmp_path / name).write_text("")
    found, unmatched = expand_paths([
        str(tmp_path / "a"), str(tmp_path / "*.ifc"), str(tmp_path / "three.ifc"),
        str(tmp_path / "gone.ifc"), str(tmp_path / "z*.ifc"),
    ])
    assert found == [str(tmp_path / "a" / "one.ifc"), str(tmp_path / "a" / "deep" / "two.IFC"),
                     str(tmp_path / "three.ifc"), str(tmp_path / "gone.ifc")]
    assert unmatched == [str(tmp_path / "z*.ifc")]


@pytest.mark.parametrize("columns, name", [
    ({"guid": []}, "source"),
    ({"guid": [], "source": []}, "source_file"),
])
def test_source_column_name(columns, name):
    assert source_column(columns) == name


def sample_copies(folder, count):
    models = []
    for i in range(count):
        p = folder / f"m{i:02d}.ifc"
        shutil.copy(SAMPLE, p)
        models.append(str(p))
    return models


def test_rows_keep_input_order_when_small_models_overtake_big_ones(tmp_path, monkeypatch):
    """Threads finish out of order; the table must not."""
    import threading
    import time

    import quarnel.batch as batch

    models = sample_copies(tmp_path, 12)
    real_load = batch.load
    live, peak, lock = [0], [0], threading.Lock()

    def uneven_load(path, table, formats):
        with lock:
            live[0] += 1
            peak[0] = max(peak[0], live[0])
        time.sleep(0.05 if path.endswith(("00.ifc", "05.ifc")) else 0.0)
        return real_load(path, table, formats)

    def counted_emit(self, path, outcome):
        with lock:
            live[0] -= 1
        real_emit(self, path, outcome)

    real_emit = batch._OrderedWriter._emit
    monkeypatch.setattr(batch, "load", uneven_load)
    monkeypatch.setattr(batch._OrderedWriter, "_emit", counted_emit)
    monkeypatch.setattr(batch, "MAX_MODELS_PER_THREAD", 1)
    out = tmp_path / "out.jsonl"
    report = batch.run_batch(models, "psets", str(out), jobs=3)
    assert (report.models, report.failed) == (12, 0)
    sources = [r["source"] for r in read_jsonl(out)]
    assert list(dict.fromkeys(sources)) == models
    assert peak[0] <= 3 * 1 + 4  # models read but not yet written stay bounded


def test_write_failure_stops_the_batch(tmp_path, monkeypatch):
    import quarnel.batch as batch
    from quarnel.writers import OutputError, TableWriter

    models = sample_copies(tmp_path, 8)
    real_write = TableWriter.write

    def failing_write(self, columns):
        if self.rows:
            raise OutputError("write out.csv: No space left on device")
        real_write(self, columns)

    monkeypatch.setattr(TableWriter, "write", failing_write)
    with pytest.raises(OutputError, match="No space left"):
        batch.run_batch(models, "psets", str(tmp_path / "out.csv"), jobs=2)


def test_a_model_larger_than_the_memory_budget_still_runs(tmp_path, monkeypatch):
    import quarnel.batch as batch

    monkeypatch.setattr(batch, "MAX_BYTES_IN_FLIGHT", 1)  # every model is over budget: one at a time
    models = sample_copies(tmp_path, 5)
    out = tmp_path / "out.csv"
    report = batch.run_batch(models, "psets", str(out), jobs=2)
    assert (report.models, report.failed) == (5, 0)
    assert report.rows["psets"] == 5 * len(quarnel.extract_psets(str(SAMPLE))["guid"])
