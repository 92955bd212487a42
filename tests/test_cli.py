import json
import subprocess
import sys
from collections import Counter

import pytest

import quarnel
from clitools import as_csv_text, models, rows, run
from conftest import CORPUS, SAMPLE

TABLE_COMMANDS = {
    "psets": "extract_psets",
    "quantities": "extract_quantities",
    "materials": "extract_materials",
    "classifications": "extract_classifications",
}
COMMANDS = ["info", "psets", "quantities", "materials", "classifications", "extract", "drift", "batch"]


def table_params():
    return [pytest.param(cmd, fn, id=cmd) for cmd, fn in TABLE_COMMANDS.items()]


def native_columns(function, model):
    return quarnel.table_columns(getattr(quarnel, function)(model))


# --- help, version, usage errors --------------------------------------------------------------

@pytest.mark.parametrize("command", COMMANDS)
def test_every_command_has_help(command):
    proc = run(command, "--help", check=0)
    assert proc.stdout.startswith("usage: quarnel " + command)


def test_console_script_and_module_agree():
    assert run("--version", check=0, script=True).stdout.strip() == f"quarnel {quarnel.__version__}"
    assert run("--version", check=0).stdout.strip() == f"quarnel {quarnel.__version__}"


def test_no_command_prints_help():
    proc = run(check=2)
    assert "COMMAND" in proc.stderr


@pytest.mark.parametrize("args, message", [
    (["psets", "no/such/model.ifc"], "quarnel: open no/such/model.ifc: No such file or directory"),
    (["psets", str(SAMPLE), "-o", "table.txt"], "quarnel: cannot tell the output format of 'table.txt'"),
    (["psets", str(SAMPLE), "-o", "no/such/dir/out.csv"], "quarnel: write no/such/dir/out.csv: "),
])
def test_user_mistakes_are_one_line(args, message, tmp_path):
    proc = run(*args, cwd=tmp_path, check=1)
    assert proc.stderr.startswith(message)
    assert proc.stderr.count("\n") == 1


def test_bad_option_value_is_a_usage_error():
    proc = run("drift", str(SAMPLE), "--only", "warn,fatal", check=2)
    assert "severities are ok, warn and error" in proc.stderr


@pytest.mark.skipif(not (CORPUS / "office_a_20110811.ifc").is_file(), reason="../shared/corpus is not present")
@pytest.mark.parametrize("args", [["-o", "-"], ["-n", "0"]], ids=["stdout", "preview"])
def test_broken_pipe_ends_quietly(args):
    # Far more output than a pipe holds; the reader stops after one line.
    command = [sys.executable, "-m", "quarnel", "psets", str(CORPUS / "office_a_20110811.ifc"), *args]
    proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    proc.stdout.readline()
    proc.stdout.close()
    stderr = proc.stderr.read().decode()
    proc.wait(timeout=60)
    assert stderr == ""


# --- info ---------------------------------------------------------------------------------------

def test_info_on_the_sample():
    out = run("info", SAMPLE, check=0).stdout
    assert "schema       IFC4" in out
    assert "project      Quarnel Sample Building" in out
    assert "length unit  millimetre (0.001 m)" in out
    assert f"{SAMPLE.stat().st_size:,}" in out or "kB" in out
    lines = out.splitlines()
    storeys = lines[lines.index("Storeys") + 3:]
    assert [line.split()[:2] for line in storeys] == [["Ground", "Floor"], ["First", "Floor"], ["Second", "Floor"]]
    assert [line.split()[2] for line in storeys] == ["0", "3200", "6400"]


@pytest.mark.parametrize("model", models())
def test_info_json_agrees_with_index(model):
    summary = json.loads(run("info", model, "--json", check=0).stdout)
    index = quarnel.index_ifc(model)
    assert summary["schema"] == index["schema"]
    assert summary["unit_scale"] == index["unit_scale"]
    assert summary["type_counts"] == index["type_counts"]
    assert summary["products"] == len(index["products"]["step_id"])
    contained = Counter(index["contained_in"]["structure"])
    assert sorted((s["step_id"], s["products"]) for s in summary["storeys"]) == sorted(
        (sid, contained.get(sid, 0)) for sid in index["storeys"]["step_id"])
    text = run("info", model, check=0).stdout
    for name, count in index["type_counts"].items():
        assert any(line.split() == [name, f"{count:,}"] for line in text.splitlines()), name


# --- table commands -----------------------------------------------------------------------------

@pytest.mark.parametrize("command, function", table_params())
@pytest.mark.parametrize("model", models())
def test_table_preview(command, function, model):
    columns = native_columns(function, model)
    total = len(columns["guid"])
    out = run(command, model, "-n", "5", check=0).stdout.splitlines()
    assert out[0].startswith(f"{command}: {model}: {total:,} rows × {len(columns)} columns in ")
    assert out[1].split() == list(columns)
    shown = min(5, total)
    assert len(out) == 3 + shown + (1 if total > 5 else 0)
    if total > 5:
        assert out[-1].startswith(f"… {total - 5:,} more rows")


def test_preview_fits_the_terminal_width():
    wide = run("materials", SAMPLE, check=0).stdout.splitlines()
    assert max(len(line) for line in wide[1:-1]) > 60
    narrow = run("materials", SAMPLE, columns=60, check=0).stdout.splitlines()
    assert all(len(line) <= 60 for line in narrow[1:-1])
    assert "…" in narrow[3]


@pytest.mark.parametrize("command, function", table_params())
@pytest.mark.parametrize("model", models())
def test_csv_output_matches_native(command, function, model, tmp_path):
    pd = pytest.importorskip("pandas")
    out = tmp_path / "table.csv"
    run(command, model, "-o", out, check=0)
    columns = native_columns(function, model)
    frame = pd.read_csv(out, dtype=str, keep_default_na=False)
    assert list(frame.columns) == list(columns)
    expected = Counter(tuple(as_csv_text(v) for v in row) for row in zip(*columns.values()))
    assert Counter(map(tuple, frame.itertuples(index=False))) == expected


@pytest.mark.parametrize("command, function", table_params())
@pytest.mark.parametrize("model", models())
def test_parquet_output_matches_native(command, function, model, tmp_path):
    pq = pytest.importorskip("pyarrow.parquet")
    out = tmp_path / "table.parquet"
    run(command, model, "-o", out, check=0)
    columns = native_columns(function, model)
    table = pq.read_table(out)
    assert table.column_names == list(columns)
    assert rows(table.to_pydict()) == rows(columns)


@pytest.mark.parametrize("command, function", table_params())
@pytest.mark.parametrize("model", models())
def test_jsonl_output_matches_native(command, function, model, tmp_path):
    out = tmp_path / "table.jsonl"
    run(command, model, "-o", out, check=0)
    columns = native_columns(function, model)
    records = [json.loads(line) for line in out.read_text(encoding="utf-8").splitlines()]
    assert all(list(r) == list(columns) for r in records)
    assert Counter(tuple(r.values()) for r in records) == rows(columns)


def test_format_option_and_stdout():
    proc = run("psets", SAMPLE, "-o", "-", "--format", "jsonl", check=0)
    assert len(proc.stdout.splitlines()) == len(quarnel.extract_psets(str(SAMPLE))["guid"])
    assert proc.stderr == ""


# --- extract --------------------------------------------------------------------------------------

@pytest.mark.parametrize("fmt", ["csv", "parquet", "jsonl"])
@pytest.mark.parametrize("model", models())
def test_extract_writes_four_tables(model, fmt, tmp_path):
    if fmt == "parquet":
        pytest.importorskip("pyarrow")
    out = tmp_path / "tables"
    proc = run("extract", model, "-o", out, "--format", fmt, check=0)
    result = quarnel.extract_all(model)
    for name in ("psets", "quantities", "materials", "classifications"):
        path = out / f"{name}.{fmt}"
        assert str(path) in proc.stdout
        if fmt == "parquet":
            import pyarrow.parquet as pq

            assert rows(pq.read_table(path).to_pydict()) == rows(result[name])
        elif fmt == "jsonl":
            records = [json.loads(line) for line in path.read_text(encoding="utf-8").splitlines()]
            assert Counter(tuple(r.values()) for r in records) == rows(result[name])
        else:
            lines = path.read_text(encoding="utf-8").splitlines()
            assert lines[0] == ",".join(result[name])
            assert len(lines) - 1 == len(result[name]["guid"])


# --- drift ----------------------------------------------------------------------------------------

def test_drift_on_the_sample_finds_the_planted_faults():
    out = run("drift", SAMPLE, check=0).stdout
    lines = out.splitlines()
    result = quarnel.analyse_drift(str(SAMPLE))
    assert lines[1].split() == ["ok", str(result["drift_ok"]), *lines[1].split()[2:]]
    assert result["drift_warn"] == 1 and result["drift_error"] == 1
    listed = lines[lines.index(next(l for l in lines if l.startswith("Worst products"))) + 3:]
    assert listed[0].split()[:4] == ["error", "IfcColumn", "Column", "FF-2"]
    assert listed[1].split()[:4] == ["warn", "IfcFurniture", "Cabinet", "SF-4"]
    assert len(listed) == 2


@pytest.mark.parametrize("model", models())
def test_drift_lists_and_plots(model, tmp_path):
    pytest.importorskip("matplotlib")
    plot = tmp_path / "drift.png"
    proc = run("drift", model, "--plot", plot, "--only", "ok,warn,error", "--top", "0", check=0)
    result = quarnel.analyse_drift(model)
    data = plot.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and len(data) > 20_000
    # Products that moved first, then those placed at their container's origin.
    text = proc.stdout.split("Worst products", 1)[1] if result["guid"] else ""
    listed = [line for line in text.splitlines() if line.split()[:1] in (["ok"], ["warn"], ["error"])]
    assert len(listed) == len(result["guid"])
    assert f"plotted {len(result['guid']):,} products" in proc.stderr


def test_drift_fail_on_and_output(tmp_path):
    run("drift", SAMPLE, "--fail-on", "error", check=1)
    out = tmp_path / "drift.jsonl"
    run("drift", SAMPLE, "-o", out, check=0)
    records = [json.loads(line) for line in out.read_text().splitlines()]
    assert Counter(r["drift_severity"] for r in records) == Counter({"ok": len(records) - 2, "warn": 1, "error": 1})


def test_drift_only_errors():
    out = run("drift", SAMPLE, "--only", "error", check=0).stdout
    listed = out.split("Worst products", 1)[1].splitlines()[3:]
    assert [line.split()[0] for line in listed] == ["error"]
