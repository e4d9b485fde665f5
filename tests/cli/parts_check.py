"""veltrane-calc --parts on the generated library: match.parts in the JSON, its figures worked
out again here from the chosen parts' files (scikit-rf's chain matrix) and the data (numpy).

    python3 parts_check.py VELTRANE_CALC PARTS_DIR LOAD.s1p
"""

import json
import os
import subprocess
import sys

import numpy as np
import skrf

calc, parts_dir, load_file = sys.argv[1:4]
band = (2.2, 2.7)
run = subprocess.run(
    [calc, "--touchstone", load_file, "--match", "3", "--band", f"{band[0]}:{band[1]}",
     "--match-e-series", "E12", "--parts", parts_dir, "--json"],
    capture_output=True, text=True, check=True)
match = json.loads(run.stdout)["match"]
parts = match["parts"]
assert parts is not None, "no match.parts"
assert parts["library"] == parts_dir, parts["library"]

load = skrf.Network(load_file)
f_load = load.f / 1e9
inside = (f_load >= band[0]) & (f_load <= band[1])
f = f_load[inside]
s_load = load.s[inside, 0, 0]
z_load = load.z0[inside, 0].real * (1 + s_load) / (1 - s_load)
source = match["source_ohm"]

a = np.ones_like(f, dtype=complex)
b = np.zeros_like(a)
c = np.zeros_like(a)
d = np.ones_like(a)
for element in parts["elements"]:
    part = skrf.Network(os.path.join(parts_dir, element["file"]))
    assert element["package"] == "0402"
    assert element["file"].startswith(element["kind"] + "0402_")
    f_part = part.f / 1e9
    series = part.a[:, 0, 1]
    z = np.interp(f, f_part, series.real) + 1j * np.interp(f, f_part, series.imag)
    if element["position"] == "series":
        b, d = b + a * z, d + c * z
    else:
        a, c = a + b / z, c + d / z
z_in = (a * z_load + b) / (c * z_load + d)
gamma = np.abs((z_in - source) / (z_in + source))
gain = 4 * source * z_load.real / np.abs(a * z_load + b + source * (c * z_load + d)) ** 2
worst = int(np.argmax(gamma))

checks = [
    ("worst_gamma", parts["worst_gamma"], gamma[worst]),
    ("at_ghz", parts["at_ghz"], f[worst]),
    ("gain_db", parts["gain_db"], 10 * np.log10(gain.min())),
    ("worst_rl_db", parts["worst_rl_db"], -20 * np.log10(gamma[worst])),
]
failed = False
for name, got, expected in checks:
    ok = abs(got - expected) <= 1e-9 * max(1.0, abs(expected))
    print(f"{name}: veltrane-calc {got!r}, recomputed {expected!r}{'' if ok else '  MISMATCH'}")
    failed = failed or not ok
# The measured parts are not the ideal ones: at 2.2-2.7 GHz their parasitics move the figures.
ideal = match["standard"]["worst_gamma"]
print(f"E12 (ideal parts) worst |Gamma| {ideal!r}, measured parts {parts['worst_gamma']!r}")
print("parts:", ", ".join(e["file"] for e in parts["elements"]))
sys.exit(1 if failed else 0)
