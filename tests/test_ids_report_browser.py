"""An HTML report opened in headless Chromium: the page's script ran, listed the failures a page
at a time and applied a search given in the address."""
import html
import os
import shutil
import subprocess

import pytest

from ids_reports import SPECS, make_report

CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
pytestmark = pytest.mark.skipif(CHROMIUM is None, reason="no chromium on PATH")


def rendered(url: str) -> str:
    """The page's DOM once its scripts ran."""
    return subprocess.run([CHROMIUM, "--headless", "--disable-gpu", "--no-sandbox", "--dump-dom", url],
                          capture_output=True, text=True, timeout=120,
                          env={k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}).stdout  # no sanitizer


def shown_guids(dom: str, report) -> set:
    return {g for g in report.failures.column("guid").to_pylist() if f'<td class="guid">{g}</td>' in dom}


def test_report_renders_in_a_browser(tmp_path):
    report = make_report(failures_per_spec=130)
    report.to_html(tmp_path / "r.html")
    dom = rendered((tmp_path / "r.html").as_uri())
    assert "data-render-ms=" in dom  # the script ran to its end
    for name, _, _ in SPECS:
        assert html.escape(name, quote=False) in dom
    # Four failing specifications (two models): the first 100 failures of each, then a count.
    assert len(shown_guids(dom, report)) == 400 and dom.count("and 30 more") == 4


def test_search_from_the_address(tmp_path):
    report = make_report(failures_per_spec=130)
    report.to_html(tmp_path / "r.html")
    guid = report.failures.column("guid")[-1].as_py()
    dom = rendered((tmp_path / "r.html").as_uri() + "#search=" + guid)
    assert shown_guids(dom, report) == {guid} and "1 failure matches" in dom
