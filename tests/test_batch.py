import shutil
import sys
import threading
import time
from collections import Counter

import pyarrow.parquet as pq
import pytest

import quarnel
import quarnel.batch as batch
import quarnel.dataset as dataset
from clitools import AWKWARD, cli, read_back, rows, strict_json
from conftest import SAMPLE
from quarnel.registry import ALL_TABLES
from quarnel.runs import expand_paths
from quarnel.writers import OutputError, TableWriter


def expected_rows(table, paths, fmt):
    """Rows of every model's table with the model path in front."""
    expected = Counter()
    for path in paths:
        for row, n in rows(quarnel.read_table(str(path), table), fmt).items():
            expected[(str(path),) + row] += n
    return expected


def copies(folder, count):
    paths = [folder / f"m{i:02d}.ifc" for i in range(count)]
    for p in paths:
        shutil.copy(SAMPLE, p)
    return [str(p) for p in paths]


# Each table is written as read in every format by test_cli; here the model column and the order, in
# one file and in a folder of every table.
@pytest.mark.parametrize("table, fmt", [("drift", "jsonl"), ("type_counts", "jsonl"), ("all", "csv"), ("all", "parquet")])
def test_every_table_of_many_models_into_one_file(table, fmt, tmp_path, write_ifc, capsys):
    models = [str(SAMPLE), write_ifc(AWKWARD, raw=True)]
    out = tmp_path / (table if table == "all" else f"out.{fmt}")
    status, _, err = cli(capsys, "batch", *models, "--table", table, "-o", out, "--format", fmt, "-j", "2")
    assert status == 0 and "2 of 2 models read, 0 failed" in err
    for name in ALL_TABLES if table == "all" else [table]:
        schema = batch.schema_of(name)
        written = read_back(out / f"{name}.{fmt}" if table == "all" else out, fmt, schema)
        assert rows(written, fmt) == expected_rows(name, models, fmt), name
        sources = written[schema.names[0]] if fmt == "jsonl" else written.column(0).to_pylist()
        assert list(dict.fromkeys(sources)) == [m for m in models if m in sources]  # models in order


@pytest.mark.parametrize("dataset_out, terminal", [(False, False), (True, True)])
def test_bad_models_are_reported_skipped_and_counted(dataset_out, terminal, tmp_path, capsys, monkeypatch):
    monkeypatch.setitem(sys.modules, "tqdm", None)  # without tqdm the plain bar takes over
    monkeypatch.setattr(sys.stderr, "isatty", lambda: terminal)
    good = copies(tmp_path, 2)
    missing, notes, cut = (str(tmp_path / n) for n in ("missing.ifc", "notes.ifc", "cut.ifc"))
    (tmp_path / "notes.ifc").write_text("not a model")
    (tmp_path / "cut.ifc").write_bytes(SAMPLE.read_bytes()[:-200])
    out = tmp_path / ("ds" if dataset_out else "out.jsonl")
    nothing = str(tmp_path / "z*.ifc")  # a pattern that matches no model counts as a failed one
    status, _, err = cli(capsys, "batch", good[0], missing, notes, cut, good[1], nothing, "--table", "psets", "-o",
                         out, "-j", "2", *(["--dataset"] if dataset_out else []))
    assert status == 1 and f"quarnel: open {missing}: No such file or directory" in err
    assert f"quarnel: no models match {nothing}" in err
    assert f"quarnel: {notes}: not an IFC file (no ISO-10303-21 header)" in err
    assert f"quarnel: warning: {cut}: cut short" in err
    assert "3 of 6 models read, 3 failed" in err and ("\r" in err and "5/5 models" in err) == terminal
    written = pq.read_table(out / "table=psets").to_pydict() if dataset_out else strict_json(out.read_text())
    sources = written["source"] if dataset_out else [r["source"] for r in written]
    assert Counter(sources) == {good[0]: 321, cut: quarnel.read_table(cut).num_rows, good[1]: 321}


def test_expand_paths(tmp_path):
    (tmp_path / "a" / "deep").mkdir(parents=True)
    for name in ("a/one.ifc", "a/deep/two.IFC", "a/notes.txt", "three.ifc"):
        (tmp_path / name).write_text("")
    found, unmatched = expand_paths([
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


def test_tight_memory_serialises(tmp_path, monkeypatch):
    monkeypatch.setattr(batch, "MAX_BYTES_IN_FLIGHT", 1)  # every model is over budget: one at a time
    report = batch.run_batch(copies(tmp_path, 6), "psets", str(tmp_path / "out.csv"), jobs=2)
    assert (report.models, report.failed, report.rows["psets"]) == (6, 0, 6 * 321)


@pytest.mark.parametrize("tables", ["psets", "all"])
@pytest.mark.parametrize("jobs", [1, 3])
def test_dataset_holds_every_row_its_report_counts(tables, jobs, tmp_path, write_ifc):
    models = copies(tmp_path, 4) + [write_ifc(AWKWARD, raw=True)]
    (older := tmp_path / "ds" / "table=storeys" / "part-999999.parquet").parent.mkdir(parents=True)
    older.touch()
    report = dataset.write_dataset(models, str(tmp_path / "ds"), tables, jobs=jobs, group_bytes=1)
    assert older.exists() == (tables == "psets")
    assert (report.models, report.failed) == (5, 0) and list(report.rows) == list(quarnel.registry.table_names(tables))
    for name, counted in report.rows.items():
        written = pq.read_table(tmp_path / "ds" / f"table={name}")  # as readers of the folder see it
        assert written.num_rows == counted and rows(written) == expected_rows(name, models, "parquet"), name


@pytest.mark.parametrize("args, fault, at", [
    (["batch", "{models}", "--table", "psets", "-o", "out.csv"], "interrupt", 2),
    (["batch", "{models}", "--table", "all", "-o", "out", "--format", "parquet"], "write", 2),
    (["batch", "{models}", "--table", "all", "--dataset", "-o", "out"], "interrupt", 2),
    (["batch", "{models}", "--table", "psets", "--dataset", "-o", "out"], "parquet", 1),
    (["psets", "{model}", "-o", "out.jsonl"], "write", 1),
    (["extract", "{model}", "-o", "out"], "write", 2),
])
def test_a_failed_run_leaves_the_previous_output(args, fault, at, tmp_path, monkeypatch, capsys, write_ifc):
    monkeypatch.chdir(tmp_path)

    def run(*models):  # (exit status, every file of the output with its bytes)
        status = cli(capsys, *[a for arg in args for a in ({"{models}": models, "{model}": models[:1]}.get(arg, [arg]))])[0]
        return status, {str(p): p.read_bytes() for p in sorted(tmp_path.rglob("*"))
                        if p.is_file() and p.relative_to(tmp_path).parts[0].startswith("out")}

    status, before = run(write_ifc(AWKWARD, raw=True))
    # The `at`-th read of a model, group file written or rows written fails.
    owner, name, error = {"interrupt": (quarnel._arrow, "read", KeyboardInterrupt()),
                          "parquet": (dataset.pq, "write_table", OSError(28, "No space left on device")),
                          "write": (TableWriter, "write", OutputError("out: No space left on device"))}[fault]
    real, calls = getattr(owner, name), []

    def failing(*args, **kwargs):
        calls.append(1)
        if len(calls) == at:
            raise error
        return real(*args, **kwargs)

    monkeypatch.setattr(owner, name, failing)
    assert (status, *run(*copies(tmp_path, 3))) == (0, 130 if fault == "interrupt" else 1, before)
    assert not [p.name for p in tmp_path.rglob(".*")]  # no temporary file left behind
