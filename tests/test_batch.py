import shutil
import sys
import threading
import time
from collections import Counter

import pyarrow as pa
import pytest

import quarnel
import quarnel.batch as batch
from clitools import AWKWARD, cli, read_back, rows, strict_json
from conftest import SAMPLE
from quarnel.registry import EXTRACT_ALL_TABLES
from quarnel.writers import OutputError, TableWriter


def expected_rows(table, paths, fmt):
    """Rows of every model's table with the model path in front."""
    expected = Counter()
    for path in paths:
        for row, n in rows(quarnel.read_table(str(path), table), fmt).items():
            expected[(str(path),) + row] += n
    return expected


def with_source(table):
    """The schema of a batch table: the model path in front."""
    schema = quarnel.table_schema(table)
    return schema.insert(0, pa.field(batch.source_column(schema.names), pa.string()))


def copies(folder, count):
    paths = [folder / f"m{i:02d}.ifc" for i in range(count)]
    for p in paths:
        shutil.copy(SAMPLE, p)
    return [str(p) for p in paths]


# Each table is written as read in every format by test_cli; here the model column and the order.
@pytest.mark.parametrize("table, fmt", [("psets", "csv"), ("drift", "jsonl"), ("storeys", "parquet"),
                                        ("type_counts", "jsonl"), ("all", "csv"), ("all", "parquet")])
def test_every_table_of_many_models_into_one_file(table, fmt, tmp_path, write_ifc, capsys):
    models = [str(SAMPLE), write_ifc(AWKWARD, raw=True)]
    out = tmp_path / (table if table == "all" else f"out.{fmt}")
    status, _, err = cli(capsys, "batch", *models, "--table", table, "-o", out, "--format", fmt, "-j", "2")
    assert status == 0 and "2 of 2 models read, 0 failed" in err
    for name in EXTRACT_ALL_TABLES if table == "all" else [table]:
        schema = with_source(name)
        written = read_back(out / f"{name}.{fmt}" if table == "all" else out, fmt, schema)
        assert rows(written, fmt) == expected_rows(name, models, fmt), name
        sources = written[schema.names[0]] if fmt == "jsonl" else written.column(0).to_pylist()
        assert list(dict.fromkeys(sources)) == [m for m in models if m in sources]  # models in order


def test_missing_model_is_reported_skipped_and_counted(tmp_path, capsys):
    good = copies(tmp_path, 2)
    missing = str(tmp_path / "missing.ifc")
    out = tmp_path / "out.jsonl"
    status, _, err = cli(capsys, "batch", good[0], missing, good[1], "--table", "psets", "-o", out, "-j", "2")
    assert status == 1 and f"quarnel: open {missing}: No such file or directory" in err
    assert "2 of 3 models read, 1 failed" in err and "\r" not in err  # no progress bar when not a terminal
    assert [r["source"] for r in strict_json(out.read_text())] == [g for g in good for _ in range(321)]


@pytest.mark.parametrize("terminal", [True, False])
def test_progress_bar_only_on_a_terminal(terminal, tmp_path, capsys, monkeypatch):
    monkeypatch.setitem(sys.modules, "tqdm", None)  # without tqdm the plain bar takes over
    monkeypatch.setattr(sys.stderr, "isatty", lambda: terminal)
    status, _, err = cli(capsys, "batch", *copies(tmp_path, 6), "--table", "psets", "-o", tmp_path / "o.csv", "-j", "2")
    assert status == 0 and "6 of 6 models read" in err
    assert ("\r" in err and "6/6 models" in err) == terminal


def test_expand_paths(tmp_path):
    (tmp_path / "a" / "deep").mkdir(parents=True)
    for name in ("a/one.ifc", "a/deep/two.IFC", "a/notes.txt", "three.ifc"):
        (tmp_path / name).write_text("")
    found, unmatched = batch.expand_paths([
        str(tmp_path / "a"), str(tmp_path / "*.ifc"), str(tmp_path / "three.ifc"),
        str(tmp_path / "gone.ifc"), str(tmp_path / "z*.ifc"),
    ])
    assert found == [str(tmp_path / "a" / "one.ifc"), str(tmp_path / "a" / "deep" / "two.IFC"),
                     str(tmp_path / "three.ifc"), str(tmp_path / "gone.ifc")]
    assert unmatched == [str(tmp_path / "z*.ifc")]


def test_rows_keep_input_order_when_small_models_overtake_big_ones(tmp_path, monkeypatch):
    models = copies(tmp_path, 12)
    real_load, real_emit = batch.load, batch._OrderedWriter._emit
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

    monkeypatch.setattr(batch, "load", uneven_load)
    monkeypatch.setattr(batch._OrderedWriter, "_emit", counted_emit)
    monkeypatch.setattr(batch, "MAX_MODELS_PER_THREAD", 1)
    out = tmp_path / "out.jsonl"
    report = batch.run_batch(models, "psets", str(out), jobs=3)
    assert (report.models, report.failed) == (12, 0)
    assert list(dict.fromkeys(r["source"] for r in strict_json(out.read_text()))) == models
    assert peak[0] <= 3 * 1 + 4  # models read but not yet written stay bounded


@pytest.mark.parametrize("budget", ["write fails", "no memory to spare"])
def test_write_failure_stops_and_tight_memory_serialises(budget, tmp_path, monkeypatch):
    models = copies(tmp_path, 6)
    if budget == "write fails":
        real_write = TableWriter.write

        def failing_write(self, table):
            if self.rows:
                raise OutputError("write out.csv: No space left on device")
            real_write(self, table)

        monkeypatch.setattr(TableWriter, "write", failing_write)
        with pytest.raises(OutputError, match="No space left"):
            batch.run_batch(models, "psets", str(tmp_path / "out.csv"), jobs=2)
    else:
        monkeypatch.setattr(batch, "MAX_BYTES_IN_FLIGHT", 1)  # every model is over budget: one at a time
        report = batch.run_batch(models, "psets", str(tmp_path / "out.csv"), jobs=2)
        assert (report.models, report.failed, report.rows["psets"]) == (6, 0, 6 * 321)
