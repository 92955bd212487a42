"""An HTML report opened in headless Chromium: the page's script ran and listed the failures."""
import html
import os
import shutil
import subprocess

import pytest

from ids_reports import SPECS, make_report

CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")


@pytest.mark.skipif(CHROMIUM is None, reason="no chromium on PATH")
def test_report_renders_in_a_browser(tmp_path):
    report = make_report()
    report.to_html(tmp_path / "r.html")
    dom = subprocess.run([CHROMIUM, "--headless", "--disable-gpu", "--no-sandbox", "--dump-dom",
                          (tmp_path / "r.html").as_uri()], capture_output=True, text=True, timeout=120,
                         env={k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}).stdout  # no sanitizer
    assert "data-render-ms=" in dom  # the script ran to its end
    for name, _, _ in SPECS:
        assert html.escape(name, quote=False) in dom
    guids = set(report.failures.column("guid").to_pylist())
    assert guids == {g for g in guids if f'<td class="guid">{g}</td>' in dom}
