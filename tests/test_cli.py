import json
import math
import os
import random
import struct
import subprocess
import sys
from collections import Counter

import pyarrow as pa
import pytest

import quarnel
from quarnel.cli import main
from clitools import AWKWARD, cli, model, read_back, rows, strict_json  # noqa: F401 (model: a fixture)
from conftest import CORPUS, FOOTER, SAMPLE, ifc_text
from quarnel.writers import write_table
from mesh_models import Model
from quarnel.console import cell, render_table
from quarnel.registry import EXTRACT_ALL_TABLES, TABLES

FORMATS = ["csv", "parquet", "jsonl"]


def command_for(table):
    return [table] if table in EXTRACT_ALL_TABLES else ["table", table]


@pytest.mark.parametrize("command", ["info", *EXTRACT_ALL_TABLES, "table", "properties", "elements", "wide", "extract",
                                     "drift", "batch"])
def test_every_command_has_help(command, capsys):
    status, out, _ = cli(capsys, command, "--help")
    assert status == 0 and out.startswith("usage: quarnel " + command)


def test_console_script_and_module_agree():
    for command in ([os.path.join(os.path.dirname(sys.executable), "quarnel")], [sys.executable, "-m", "quarnel"]):
        out = subprocess.run([*command, "--version"], capture_output=True, text=True, check=True).stdout
        assert out.strip() == f"quarnel {quarnel.__version__}"


def test_ids_help_of_its_own_process_printed_twice():
    # The own process reads the arguments early to start reading the model.
    out = subprocess.run([sys.executable, "-m", "quarnel", "ids", "--help"], capture_output=True, text=True,
                         check=True).stdout
    assert out.count("usage: quarnel ids") == 1


@pytest.mark.parametrize("args, status, message", [
    ([], 2, "usage: quarnel"),
    (["psets", "no/such/model.ifc"], 1, "quarnel: open no/such/model.ifc: No such file or directory"),
    (["psets", SAMPLE, "-o", "table.txt"], 1, "quarnel: cannot tell the output format of 'table.txt'"),
    (["psets", SAMPLE, "-o", "no/such/dir/out.csv"], 1, "quarnel: write no/such/dir/out.csv: "),
    (["table", "psets", SAMPLE, "-o", "-", "--format", "parquet"], 1, "quarnel: Parquet cannot be written to"),
    (["drift", SAMPLE, "--only", "warn,fatal"], 2, "--only: severities are ok, warn and error"),
    (["drift", SAMPLE, "--only", ","], 2, "--only: severities are ok, warn and error"),
    (["table", "walls", SAMPLE], 2, "argument NAME: invalid choice: 'walls'"),
    (["batch", "*.ifc", "--table", "psets", "-o", "out.csv"], 1, "quarnel: no models match *.ifc\nquarnel: batch: no models to read"),
    (["batch", SAMPLE, "--table", "psets", "-o", "out.txt"], 1, "quarnel: cannot tell the output format"),
    (["info", "."], 1, "quarnel: .: is a directory, not a model"),
    (["psets", "notes.txt", "-o", "out.csv"], 1, "quarnel: notes.txt: not an IFC file (no ISO-10303-21 header)"),
    (["info", "header.stp"], 1, "quarnel: header.stp: not an IFC model (no DATA section)"),
    (["info", "pipe.stp"], 1, "quarnel: pipe.stp: not a regular file"),  # a read of it would block
    *[(["products", f"cut{n}.stp", "-o", "out.csv"], 0, f"quarnel: warning: cut{n}.stp: cut short (no ENDSEC and "
       "END-ISO-10303-21 at its end); read as far as it goes\nproducts: wrote ") for n in (len("END-ISO-10303-21;\n"), len(FOOTER), 3000)],
])
def test_bad_input_is_one_line(args, status, message, tmp_path, monkeypatch, capsys):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "notes.txt").write_text("schema: IFC4\n")
    (tmp_path / "header.stp").write_text(ifc_text("").replace("DATA;", ""))
    os.mkfifo(tmp_path / "pipe.stp")
    for n in (len("END-ISO-10303-21;\n"), len(FOOTER), 3000):
        (tmp_path / f"cut{n}.stp").write_bytes(SAMPLE.read_bytes()[:-n])
    code, _, err = cli(capsys, *(["table", *args] if args[:1] == ["products"] else args))
    assert code == status and message in err
    assert status == 2 or err.startswith(message) and err.count("\n") == message.count("\n") + 1
    assert (tmp_path / "out.csv").exists() == (status == 0)  # a model cut short still gives what it holds


@pytest.mark.skipif(not (CORPUS / "office_a_20110811.ifc").is_file(), reason="../shared/corpus is not present")
@pytest.mark.parametrize("args", [["-o", "-"], ["-o", "-", "--format", "jsonl"], ["-n", "0"]])
def test_broken_pipe_ends_quietly(args):
    # Far more output than a pipe holds; the reader stops after one line.
    command = [sys.executable, "-m", "quarnel", "psets", str(CORPUS / "office_a_20110811.ifc"), *args]
    proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    proc.stdout.readline()
    proc.stdout.close()
    stderr = proc.stderr.read().decode()
    assert proc.wait(timeout=60) == 141 and stderr == ""


def test_info_agrees_with_index(model, capsys):
    summary = json.loads(cli(capsys, "info", model, "--json")[1])
    index = quarnel.index_ifc(model)
    assert (summary["schema"], summary["unit_scale"], summary["type_counts"], summary["products"]) == (
        index["schema"], index["unit_scale"], index["type_counts"], len(index["products"]["step_id"]))
    contained = Counter(index["contained_in"]["structure"])
    assert sorted((s["step_id"], s["products"]) for s in summary["storeys"]) == sorted(
        (sid, contained.get(sid, 0)) for sid in index["storeys"]["step_id"])
    lines = cli(capsys, "info", model)[1].splitlines()
    assert f"  schema       {index['schema']}" in lines
    storeys = [line.split()[-2:] for line in lines[lines.index("Storeys") + 3:]] if summary["storeys"] else []
    assert storeys == [[cell(s["elevation"]), str(s["products"])] for s in summary["storeys"]]


@pytest.mark.parametrize("table", list(TABLES))
def test_preview_shows_the_first_rows(table, model, capsys):
    expected = quarnel.read_table(model, table)
    total, shown = expected.num_rows, min(5, expected.num_rows)
    out = cli(capsys, *command_for(table), model, "-n", "5")[1].splitlines()
    assert out[0].startswith(f"{table}: {model}: {total:,} rows × {expected.num_columns} columns in ")
    assert out[1:3 + shown] == render_table(expected.slice(0, 5).to_pydict(), range(shown))
    assert len(out) == 3 + shown + (total > 5) and (total > 5) == out[-1].startswith(f"… {total - 5:,} more rows")


def test_preview_fits_the_terminal_width(capsys, monkeypatch):
    wide = cli(capsys, "materials", SAMPLE)[1].splitlines()
    assert max(len(line) for line in wide[1:-1]) > 60
    monkeypatch.setenv("COLUMNS", "60")
    narrow = cli(capsys, "materials", SAMPLE)[1].splitlines()
    assert all(len(line) <= 60 for line in narrow[1:-1]) and "…" in narrow[3]


@pytest.mark.parametrize("fmt", FORMATS)
@pytest.mark.parametrize("table", list(TABLES))
def test_every_table_is_written_as_read(table, fmt, model, tmp_path, capsys):
    out = tmp_path / f"out.{fmt}"
    status, _, err = cli(capsys, *command_for(table), model, "-o", out)
    expected = quarnel.read_table(model, table)
    assert status == 0 and f"wrote {expected.num_rows:,} rows" in err
    assert rows(read_back(out, fmt, expected.schema), fmt) == rows(expected, fmt)


def test_jsonl_round_trips_every_number_with_non_finite_ones_as_null(tmp_path):
    rng = random.Random(7)
    floats = [-5.0, 0.0, -0.0, 3200.0, -3200.0, 0.1, 1e300, -1e-300, 5e-324, 1.7976931348623157e308, 2.0 ** 53, 1e16,
              -123456789012345678.0, -1e21, 2.5e-7, math.nan, -math.inf, None]
    floats += [struct.unpack("<d", rng.getrandbits(64).to_bytes(8, "little"))[0] for _ in range(20_000)]
    ints = [rng.randrange(-(1 << 63), 1 << 63) for _ in floats[:-2]] + [-(1 << 63), (1 << 63) - 1]
    write_table(str(tmp_path / "n.jsonl"), pa.table({"f": pa.array(floats, pa.float64()), "i": ints}))

    def bits(v):  # bit for bit, so that -0.0 differs from 0.0; and -5.0 from -5: a float stays a float
        return v if v is None or isinstance(v, int) else struct.pack("<d", v) if math.isfinite(v) else None

    assert [(bits(r["f"]), r["i"]) for r in strict_json((tmp_path / "n.jsonl").read_text())] == [
        (bits(f), i) for f, i in zip(floats, ints)]


@pytest.mark.parametrize("command", [["psets"], ["table", "storeys"], ["properties"], ["elements"], ["wide"],
                                     ["drift"], ["batch", "--table", "products"]])
def test_every_command_writes_the_format_asked_for_whatever_the_extension(command, tmp_path, capsys):
    openpyxl = pytest.importorskip("openpyxl")
    args = [*command, SAMPLE] if command[0] == "table" else [command[0], SAMPLE, *command[1:]]
    written = [cli(capsys, *args, "-o", tmp_path / out, *f)[0] for out, f in [("out.csv", ["--format", "jsonl"]), ("out.xlsx", [])]]
    records = strict_json(piped := cli(capsys, *args, "-o", "-", "--format", "jsonl")[1])
    assert written == [0, 0] and (tmp_path / "out.csv").read_text() == piped
    sheet = [[c.value for c in r] for r in openpyxl.load_workbook(tmp_path / "out.xlsx").active.iter_rows()]
    # A worksheet keeps 15 significant digits, as Excel does.
    assert sheet == [list(records[0])] + [pytest.approx(list(r.values()), rel=1e-14) for r in records]


@pytest.mark.parametrize("fmt", FORMATS)
def test_extract_writes_the_four_tables(fmt, model, tmp_path, capsys):
    out = tmp_path / "tables"
    status, text, _ = cli(capsys, "extract", model, "-o", out, "--format", fmt)
    for name, expected in quarnel.read_tables(model, EXTRACT_ALL_TABLES).items():
        path = out / f"{name}.{fmt}"
        assert f"{expected.num_rows:>9,} rows  {path}" in text
        assert rows(read_back(path, fmt, expected.schema), fmt) == rows(expected, fmt)


SIZES = {"ok": (1, 3), "warn": (2, 12), "error": (1, 50)}  # cubes (size, x) whose drift is that


def drift_model(write_ifc, *severities):
    m = Model()
    for severity in severities:
        size, x = SIZES[severity]
        # Each placed by a translation of its own: products at their container's origin whose
        # shape lies away are listed apart from the worst.
        m.product([m.cube_brep(size, (x, 0, 0))], placement=m.local_placement(relative=m.axis3d((0, 0, 0.001))))
    return write_ifc(m.text())


@pytest.mark.parametrize("severities, fail_on, status", [
    pytest.param(("error",), "warn", 1, id="errors-fail-on-warn"),
    pytest.param(("error",), "error", 1, id="errors-fail-on-error"),
    pytest.param(("warn",), "warn", 1, id="warnings-fail-on-warn"),
    pytest.param(("warn",), "error", 0, id="warnings-pass-on-error"),
    pytest.param(("ok", "ok"), "warn", 0, id="all-ok"),
    pytest.param((), "warn", 0, id="nothing-meshed"),
])
def test_fail_on_exit_status(severities, fail_on, status, write_ifc, capsys):
    model = drift_model(write_ifc, *severities)
    assert cli(capsys, "drift", model, "--fail-on", fail_on)[0] == status
    # Listing or plotting fewer severities does not hide what --fail-on looks for.
    assert cli(capsys, "drift", model, "--fail-on", fail_on, "--only", "ok", "--top", "1")[0] == status


@pytest.mark.parametrize("only, top, listed", [
    (None, "10", ["error", "error", "warn"]),
    ("error", "10", ["error", "error"]),
    ("ok,warn,error", "3", ["error", "error", "warn"]),
    ("ok", "0", ["ok", "ok"]),
])
def test_drift_lists_the_worst_first(only, top, listed, write_ifc, capsys):
    model = drift_model(write_ifc, "ok", "error", "warn", "ok", "error")
    out = cli(capsys, "drift", model, "--top", top, *(["--only", only] if only else []))[1]
    assert [line.split()[:2] for line in out.splitlines()[1:4]] == [["ok", "2"], ["warn", "1"], ["error", "2"]]
    shown = out.split("Worst products", 1)[1].splitlines()[3:]
    assert [line.split()[0] for line in shown if not line.startswith("…")] == listed
    ratios = [float(line.split()[-1]) for line in shown if not line.startswith("…")]
    assert ratios == sorted(ratios, reverse=True)


def test_drift_plots(model, tmp_path, capsys):
    pytest.importorskip("matplotlib")
    plot = tmp_path / "drift.png"
    status, _, err = cli(capsys, "drift", model, "--plot", plot)
    expected = quarnel.read_table(model, "drift")
    assert status == 0 and plot.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert f"plotted {expected.num_rows:,} products" in err


@pytest.mark.parametrize("command", [
    ["drift", "{model}", "-o", "{out}/d.jsonl"],
    ["psets", "{model}", "-o", "{out}/p.jsonl"],
    ["batch", "{model}", "--table", "psets", "-o", "{out}/b.parquet"],
    ["batch", "{model}", "--table", "all", "-o", "{out}/ds", "--dataset"],
])
def test_a_command_imported_pandas_through_pyarrow(tmp_path, command):
    # pa.array(), pa.scalar() and Python values in compute calls import pandas on first use:
    # most of a second of a short command.
    argv = [a.format(model=SAMPLE, out=tmp_path) for a in command]
    code = f"import sys; from quarnel.cli import main; main({argv!r}); assert 'pandas' not in sys.modules"
    subprocess.run([sys.executable, "-c", code], check=True, capture_output=True)


@pytest.mark.parametrize("command", [
    ["ids", str(SAMPLE.parent.parent / "bench" / "office_a.ids"), "{model}", "-o", "{out}/report.json"],
    ["diff", "{model}", "{model}", "-o", "{out}/report.json"],
])
def test_ids_and_diff_commands_imported_pandas(tmp_path, command):
    # These commands build arrays from Python objects, so their own process is told pandas is
    # absent, reads the model of a check before its imports and leaves without the teardown;
    # what they write must not change for it.
    alone, here = tmp_path / "alone", tmp_path / "here"
    alone.mkdir(), here.mkdir()
    argv = [a.format(model=SAMPLE, out=alone) for a in command]
    proc = subprocess.run([sys.executable, "-m", "quarnel", *argv], capture_output=True, text=True)
    assert main([a.format(model=SAMPLE, out=here) for a in command]) == proc.returncode, proc.stderr
    assert json.loads((alone / "report.json").read_text())["models" if command[0] == "ids" else "changes"] == \
        json.loads((here / "report.json").read_text())["models" if command[0] == "ids" else "changes"]


def test_import_quarnel_loaded_pyarrow():
    # The dict functions need neither pyarrow nor numpy: importing them cost 0.4 s, and their
    # threads slowed the native calls that followed.
    code = "import sys, quarnel; assert not {'pyarrow', 'numpy', 'pandas'} & set(sys.modules)"
    subprocess.run([sys.executable, "-c", code], check=True, capture_output=True)
