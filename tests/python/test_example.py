"""The example of docs/python.md runs and prints what the page shows."""

import os
import pathlib
import subprocess
import sys

DOCS = pathlib.Path(os.environ.get("VELTRANE_DOCS", pathlib.Path(__file__).parents[2] / "docs"))


def test_example_prints_the_output_the_page_shows():
    run = subprocess.run([sys.executable, str(DOCS / "python_example.py"), "--no-plot"],
                         capture_output=True, text=True, check=False)
    assert run.returncode == 0, run.stderr
    page = (DOCS / "python.md").read_text()
    shown = page.split("<!-- example output -->\n```text\n", 1)[1].split("```", 1)[0]
    assert run.stdout == shown
