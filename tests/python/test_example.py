"""The example of docs/python.md runs and prints what the page shows; the type stubs for editors
name what the package gives."""

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


def test_type_stubs_declare_every_public_name():
    import ast

    import veltrane

    package = pathlib.Path(veltrane.__file__).parent
    stub = ast.parse((package / "__init__.pyi").read_text())
    declared = {node.name for node in stub.body if isinstance(node, (ast.FunctionDef, ast.ClassDef))}
    assert set(veltrane.__all__) <= declared
    assert (package / "py.typed").exists()
