#!/usr/bin/env python3
"""veltrane-calc's match of the example antenna to the measured transceiver, recomputed apart.

The load and the source are read with scikit-rf, each network of the JSON (every size and the
standard values) is rebuilt from its printed values and solved with numpy from the load to the
source; its worst power-wave reflection |Zin - Zs*| / |Zin + Zs| and smallest transducer gain
4 Re(Zs) Re(Zin) / |Zs + Zin|^2 (lossless parts) must be the reported ones.

Then the same match built of the generated part library (`--parts`): the exported SPICE
subcircuit, each part a fitted equivalent, run in ngspice (its two-port's Z-parameters at every
sample), with the load and the source behind it, gives the worst |Gamma| of `match.parts` within
the equivalents' fit; the searched parts are never worse than the nearest.

    check_source.py VELTRANE_CALC EXAMPLES_DIR PARTS_DIR
"""

import json
import os
import subprocess
import sys
import tempfile

import numpy as np
import skrf  # noqa: E402  (reads the Touchstone files)


def impedance(network):
    """Port 1's impedance from its reflection and reference (skrf's own .z needs an older numpy)."""
    s, z0 = network.s[:, 0, 0], network.z0[:, 0]
    return z0 * (1 + s) / (1 - s)


def main():
    calc, examples = sys.argv[1], sys.argv[2]
    args = [calc, "--touchstone", f"{examples}/antenna.s1p", "--match", "4", "--band", "2.3:2.6",
            "--source-touchstone", f"{examples}/transceiver.s1p", "--match-e-series", "E12",
            "--json"]
    m = json.loads(subprocess.run(args, check=True, capture_output=True, text=True).stdout)["match"]
    assert m["source"] == {"kind": "file", "file": f"{examples}/transceiver.s1p", "port": 1}, m
    assert m["bound"] is None
    load = skrf.Network(f"{examples}/antenna.s1p")
    source = skrf.Network(f"{examples}/transceiver.s1p")
    f_ghz = load.f / 1e9
    inside = (f_ghz > 2.3 - 1e-9) & (f_ghz < 2.6 + 1e-9)
    f_ghz = f_ghz[inside]
    assert len(f_ghz) == 31
    z_load = impedance(load)[inside]
    zs_all = impedance(source)
    fs = source.f / 1e9
    z_source = np.interp(f_ghz, fs, zs_all.real) + 1j * np.interp(f_ghz, fs, zs_all.imag)
    w = 2 * np.pi * f_ghz * 1e9
    networks = m["networks"] + [m["standard"]]
    assert len(networks) == 5
    for net in networks:
        z = z_load.copy()
        for e in reversed(net["elements"]):
            if e["kind"] == "L":
                assert e["unit"] == "nH"
                branch = 1j * w * e["value"] * 1e-9
            else:
                assert e["unit"] == "pF"
                branch = 1 / (1j * w * e["value"] * 1e-12)
            z = z + branch if e["position"] == "series" else 1 / (1 / z + 1 / branch)
        gamma = np.abs((z - np.conj(z_source)) / (z + z_source))
        gain = 4 * z_source.real * z.real / np.abs(z_source + z) ** 2
        worst, smallest = gamma.max(), 10 * np.log10(gain.min())
        assert abs(worst - net["worst_gamma"]) < 1e-9, (worst, net["worst_gamma"])
        assert abs(smallest - net["gain_db"]) < 1e-9, (smallest, net["gain_db"])
        assert abs(f_ghz[gamma.argmax()] - net["at_ghz"]) < 1e-9
    print("every network's figures recomputed:", [round(n["worst_gamma"], 6) for n in networks])
    check_parts(calc, examples, sys.argv[3], f_ghz, z_load, z_source)


def z_parameters(folder, f_ghz):
    """Z11, Z12, Z21, Z22 of veltrane_match in match.cir at f_ghz, from ngspice."""
    z = {}
    for drive in (1, 2):
        deck = ["* two-port", ".include match.cir", "X1 p1 p2 0 veltrane_match",
                f"I1 0 p{drive} AC 1", "R1 p1 0 1e12", "R2 p2 0 1e12", ".control",
                "set numdgt=16", f"ac lin {len(f_ghz)} {f_ghz[0] * 1e9!r} {f_ghz[-1] * 1e9!r}",
                "wrdata z.txt vr(p1) vi(p1) vr(p2) vi(p2)", "quit", ".endc", ".end"]
        with open(os.path.join(folder, "bench.cir"), "w") as out:
            out.write("\n".join(deck) + "\n")
        subprocess.run(["ngspice", "-b", "bench.cir"], cwd=folder, check=True,
                       capture_output=True)
        rows = np.loadtxt(os.path.join(folder, "z.txt"))
        assert len(rows) == len(f_ghz), rows.shape
        assert np.allclose(rows[:, 0] / 1e9, f_ghz, rtol=1e-9)
        z[(1, drive)] = rows[:, 1] + 1j * rows[:, 3]
        z[(2, drive)] = rows[:, 5] + 1j * rows[:, 7]
    return z


def check_parts(calc, examples, parts, f_ghz, z_load, z_source):
    with tempfile.TemporaryDirectory() as folder:
        args = [calc, "--touchstone", f"{examples}/antenna.s1p", "--match", "4", "--band",
                "2.3:2.6", "--source-touchstone", f"{examples}/transceiver.s1p", "--parts", parts,
                "--json", "--match-spice", os.path.join(folder, "match.cir")]
        m = json.loads(subprocess.run(args, check=True, capture_output=True, text=True).stdout)
        m = m["match"]
        built, nearest = m["parts"], m["parts"]["nearest"]
        assert built["worst_gamma"] <= nearest["worst_gamma"]
        z = z_parameters(folder, f_ghz)
        z_in = z[(1, 1)] - z[(1, 2)] * z[(2, 1)] / (z[(2, 2)] + z_load)
        gamma = np.abs((z_in - np.conj(z_source)) / (z_in + z_source))
        assert abs(gamma.max() - built["worst_gamma"]) < 0.005, (gamma.max(), built)
        print("parts: ngspice", round(gamma.max(), 6), "reported", round(built["worst_gamma"], 6),
              "nearest", round(nearest["worst_gamma"], 6))


if __name__ == "__main__":
    main()
