"""What the tests of the Python module share: veltrane-calc run with --json, the example files."""

import json
import os
import pathlib
import subprocess

import pytest

EXAMPLES = pathlib.Path(os.environ.get("VELTRANE_EXAMPLES", pathlib.Path(__file__).parents[2] / "examples"))


def run_calc(*args):
    """veltrane-calc's JSON object for `args` (numbers written as Python writes them)."""
    calc = os.environ.get("VELTRANE_CALC")
    if not calc:
        pytest.fail("VELTRANE_CALC names no veltrane-calc: run the tests through CTest")
    words = [str(a) if not isinstance(a, float) else repr(a) for a in args]
    run = subprocess.run([calc, "--json", "--no-report", *words], capture_output=True, text=True, check=False)
    assert run.returncode in (0, 1), run.stderr
    return json.loads(run.stdout)


def as_json(value):
    """The module's objects as veltrane-calc's JSON holds them: records as dicts, tuples as lists."""
    if hasattr(value, "as_dict"):
        value = value.as_dict()
    if isinstance(value, dict):
        return {k: as_json(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [as_json(v) for v in value]
    return value
