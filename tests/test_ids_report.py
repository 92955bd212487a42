"""The writers of an IDS check's Report: JSON, HTML, BCF 3.0 and Parquet."""
import json
import os
import re
import zipfile
from collections import Counter
from xml.etree import ElementTree

import pyarrow.parquet as pq
import pytest

from ids_reports import SPECS, make_report

KEYS = ["guid", "entity", "name", "requirement", "facet", "reason"]


def expected_json(report, fails_only):
    """The JSON layout built the plain way, row by row."""
    failures = report.failures.to_pylist()
    models = {}
    for r in report.specifications.to_pylist():
        model = models.setdefault(r["model"], {"path": r["model"], "schema": r["schema"], "specifications": []})
        if fails_only and r["status"] == "pass":
            continue
        spec = {"name": r["name"], "identifier": r["identifier"]}
        if r["description"] is not None:
            spec["description"] = r["description"]
        spec.update({k: r[k] for k in ("status", "applicable", "passed", "failed")})
        spec["failures"] = [{**{k: f[k] for k in KEYS}, **({"value": f["value"]} if f["value"] is not None else {})}
                            for f in failures if (f["model"], f["specification"]) == (r["model"], r["index"])]
        model["specifications"].append(spec)
    return {"ids": report.ids, "models": list(models.values())}


@pytest.mark.parametrize("fails_only, failures", [(False, 3), (True, 3), (False, 0)])
def test_json_layout(tmp_path, fails_only, failures):
    report = make_report(failures)
    text = report.to_json(fails_only=fails_only)
    assert json.loads(text) == expected_json(report, fails_only)
    report.to_json(tmp_path / "r.json", fails_only=fails_only)
    assert (tmp_path / "r.json").read_text(encoding="utf-8") == text
    assert [p.name for p in tmp_path.iterdir()] == ["r.json"]  # no temporary file left


def embedded_data(page: str):
    start = page.index('<script id="report-data" type="application/json">') + 49
    return json.loads(page[start:page.index("</script>", start)])


def test_html_escapes_and_embeds_every_failure(tmp_path):
    report = make_report()
    report.to_html(tmp_path / "r.html")
    page = (tmp_path / "r.html").read_text(encoding="utf-8")
    assert "<b>x</b>" not in page and "Walls Wall &lt;/script&gt;&lt;b&gt;x&lt;/b&gt; &amp; &quot;q&quot;" in page
    assert not re.search(r"(src|href)=|https?://", page)  # self-contained
    data = embedded_data(page)
    cols = data["failures"]

    def value(name, r):
        col = cols[name]
        return col[r] if isinstance(col, list) else (None if col["i"][r] is None else col["d"][col["i"][r]])

    shown = Counter((value("guid", r), value("name", r), value("reason", r), value("value", r))
                    for start, count in data["specs"] for r in range(start, start + count))
    assert shown == Counter((f["guid"], f["name"], f["reason"], f["value"]) for f in report.failures.to_pylist())
    # Failing specifications come first.
    statuses = re.findall(r'<details class="spec (\w+)"', page)
    assert statuses == sorted(statuses, key=lambda s: s != "fail") and len(statuses) == 6


def test_bcf_topics_select_the_failing_objects(tmp_path):
    report = make_report()
    report.to_bcf(tmp_path / "r.bcf")
    guid_form = re.compile(r"[a-f0-9]{8}-[a-f0-9]{4}-[a-f0-9]{4}-[a-f0-9]{4}-[a-f0-9]{12}")
    with zipfile.ZipFile(tmp_path / "r.bcf") as z:
        xml = {name: ElementTree.fromstring(z.read(name)) for name in z.namelist() if not name.endswith("/")}
    assert xml["bcf.version"].get("VersionId") == "3.0"
    assert [e.tag for e in xml["extensions.xml"]] == ["TopicTypes", "TopicStatuses", "Priorities", "TopicLabels",
                                                      "Users", "SnippetTypes", "Stages"]
    topics = {}
    for name, markup in xml.items():
        if not name.endswith("markup.bcf"):
            continue
        folder = name.split("/")[0]
        topic = markup.find("Topic")
        assert topic.get("Guid") == folder and guid_form.fullmatch(folder)
        assert topic.get("TopicType") and topic.get("TopicStatus")
        assert [topic.find(k) is not None for k in ("Title", "CreationDate", "CreationAuthor")] == [True] * 3
        viewpoint = topic.find("Viewpoints/ViewPoint")
        visinfo = xml[f"{folder}/{viewpoint.find('Viewpoint').text}"]
        assert visinfo.get("Guid") == viewpoint.get("Guid") and guid_form.fullmatch(visinfo.get("Guid"))
        assert visinfo.find("Components/Visibility") is not None
        model = markup.find("Header/Files/File/Filename").text
        assert "missing" in topic.find("Description").text
        topics[(model, topic.find("Title").text)] = {c.get("IfcGuid") for c in visinfo.iterfind(
            "Components/Selection/Component")}
    failing = {}
    for f in report.failures.to_pylist():
        # XML cannot hold the control character: the title drops it.
        failing.setdefault((f["model"], SPECS[f["specification"]][0].replace("\x01", "")), set()).add(f["guid"])
    assert topics == failing


def test_parquet_holds_the_failures_with_their_specification(tmp_path):
    report = make_report()
    report.to_parquet(tmp_path / "r.parquet")
    rows = pq.read_table(tmp_path / "r.parquet").to_pylist()
    assert Counter((r["model"], r["specification_name"], r["guid"]) for r in rows) == Counter(
        (f["model"], SPECS[f["specification"]][0], f["guid"]) for f in report.failures.to_pylist())


@pytest.mark.parametrize("fmt", ["json", "html", "bcf", "parquet"])
def test_failed_write_leaves_the_previous_file(tmp_path, fmt, monkeypatch):
    target = tmp_path / f"r.{fmt}"
    target.write_text("previous")
    report = make_report()

    def fail(*args):
        raise OSError("disk full")

    monkeypatch.setattr(os, "replace", fail)  # the last step of every writer
    with pytest.raises(Exception):
        getattr(report, "to_" + fmt)(target)
    assert target.read_text() == "previous" and [p.name for p in tmp_path.iterdir()] == [target.name]
