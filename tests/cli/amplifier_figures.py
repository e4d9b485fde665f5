#!/usr/bin/python3
"""veltrane-calc --amplifier against figures worked out here with numpy, from the file as
scikit-rf reads it.

    amplifier_figures.py VELTRANE_CALC FILE.s2p

For the file as given (S, 50 ohm), and for the same device written here as Z- and as
Y-parameters of Touchstone 2.0 files referred to 50 and 25 ohm (which veltrane-calc must turn into
S at those references), checks every sample's K (also against scikit-rf's own), |Delta|, mu, mu', the
verdict, MAG or MSG, both stability circles, the conditionally stable runs and the simultaneous
conjugate match at two frequencies. Exits 1 with one line per difference.
"""

import json
import os
import subprocess
import sys
import tempfile

import numpy as np
import skrf

TOLERANCE = 1e-9  # relative; veltrane-calc prints every double in full
failures = []


def close(label, got, want):
    if want is None or got is None:
        if got is not want:
            failures.append(f"{label}: got {got}, want {want}")
        return
    if not abs(got - want) <= TOLERANCE * max(1.0, abs(want)):
        failures.append(f"{label}: got {got!r}, want {want!r}")


def figures(s):
    """The expected figures of one sample, written out from the textbook formulas."""
    s11, s12, s21, s22 = s[0, 0], s[0, 1], s[1, 0], s[1, 1]
    d = s11 * s22 - s12 * s21
    p = abs(s12 * s21)
    k = (1 - abs(s11) ** 2 - abs(s22) ** 2 + abs(d) ** 2) / (2 * p)
    mu = (1 - abs(s11) ** 2) / (abs(s22 - d * np.conj(s11)) + p)
    mu2 = (1 - abs(s22) ** 2) / (abs(s11 - d * np.conj(s22)) + p)
    stable = bool(k > 1 and abs(d) < 1)
    out = {"k": k, "delta_mag": abs(d), "mu": mu, "mu_prime": mu2, "stable": stable}
    cs = np.conj(s11 - d * np.conj(s22)) / (abs(s11) ** 2 - abs(d) ** 2)
    rs = p / abs(abs(s11) ** 2 - abs(d) ** 2)
    cl = np.conj(s22 - d * np.conj(s11)) / (abs(s22) ** 2 - abs(d) ** 2)
    rl = p / abs(abs(s22) ** 2 - abs(d) ** 2)
    out["input_circle"] = (cs.real, cs.imag, rs)
    out["output_circle"] = (cl.real, cl.imag, rl)
    if stable:
        out["gain_kind"] = "MAG"
        out["gain_db"] = 10 * np.log10(abs(s21) / abs(s12) * (k - np.sqrt(k * k - 1)))
        b1 = 1 + abs(s11) ** 2 - abs(s22) ** 2 - abs(d) ** 2
        b2 = 1 + abs(s22) ** 2 - abs(s11) ** 2 - abs(d) ** 2
        c1 = s11 - d * np.conj(s22)
        c2 = s22 - d * np.conj(s11)
        gs = (b1 - np.sqrt(b1 * b1 - 4 * abs(c1) ** 2)) / (2 * c1)
        gl = (b2 - np.sqrt(b2 * b2 - 4 * abs(c2) ** 2)) / (2 * c2)
        # Both ports conjugately matched: the input with the load, the output with the source.
        gin = s11 + s12 * s21 * gl / (1 - s22 * gl)
        gout = s22 + s12 * s21 * gs / (1 - s11 * gs)
        assert abs(gin - np.conj(gs)) < 1e-9 and abs(gout - np.conj(gl)) < 1e-9
        out["match"] = (gs, gl)
    else:
        out["gain_kind"] = "MSG"
        out["gain_db"] = 10 * np.log10(abs(s21) / abs(s12))
    return out


def runs(f, stable):
    """The runs of consecutive samples that are not unconditionally stable, [first, last]."""
    result = []
    i = 0
    while i < len(f):
        if stable[i]:
            i += 1
            continue
        j = i
        while j + 1 < len(f) and not stable[j + 1]:
            j += 1
        result.append([f[i], f[j]])
        i = j + 1
    return result


def calc(program, path, *words):
    run = subprocess.run([program, "--amplifier", path, "--json", *words], capture_output=True,
                         text=True, check=False)
    if run.returncode != 0:
        failures.append(f"{path} {words}: status {run.returncode}: {run.stderr.strip()}")
        return None
    return json.loads(run.stdout)["amplifier"]


def check(program, path, network, label):
    f = network.f / 1e9
    want = [figures(network.s[i]) for i in range(len(f))]
    k_skrf = network.stability
    source = "scikit-rf" if isinstance(network, skrf.Network) else "numpy"
    for at in ("16", "19.5"):
        got = calc(program, path, "--at", at)
        if got is None:
            return
        rows = got["stability"]
        if len(rows) != len(f):
            failures.append(f"{label}: {len(rows)} rows for {len(f)} samples")
            return
        for i, (row, w) in enumerate(zip(rows, want)):
            tag = f"{label} {f[i]:g} GHz"
            close(f"{tag} ghz", row["ghz"], f[i])
            close(f"{tag} K ({source})", row["k"], float(k_skrf[i]))
            for key in ("k", "delta_mag", "mu", "mu_prime", "gain_db"):
                close(f"{tag} {key}", row[key], float(w[key]))
            for key in ("stable", "gain_kind"):
                if row[key] != w[key]:
                    failures.append(f"{tag} {key}: got {row[key]}, want {w[key]}")
            for key in ("input_circle", "output_circle"):
                c = row[key]
                for name, value in zip(("centre_re", "centre_im", "radius"), w[key]):
                    close(f"{tag} {key} {name}", c[name], float(value))
        want_runs = runs(list(f), [w["stable"] for w in want])
        if got["conditional_ghz"] != want_runs:
            failures.append(f"{label}: conditional_ghz {got['conditional_ghz']}, want {want_runs}")
        if got["unconditionally_stable"] != (want_runs == []):
            failures.append(f"{label}: unconditionally_stable {got['unconditionally_stable']}")
        i = int(np.argmin(abs(f - float(at))))
        m = got["match"]
        if m is None:
            failures.append(f"{label}: no match at {at} GHz")
            continue
        gs, gl = want[i]["match"]
        close(f"{label} match ghz", m["ghz"], f[i])
        for name, value in (("gamma_s_re", gs.real), ("gamma_s_im", gs.imag),
                            ("gamma_l_re", gl.real), ("gamma_l_im", gl.imag),
                            ("mag_db", want[i]["gain_db"])):
            close(f"{label} match {name}", m[name], float(value))


class Renormalised:
    """The device's Z matrix, and its S referred to other references (power waves, which for
    real references are S = F (Z - G)(Z + G)^-1 F^-1, G = diag(R), F = diag(1 / sqrt(R))). Worked
    out here: this scikit-rf's own conversions fail with the installed numpy."""

    def __init__(self, network, references):
        eye = np.eye(2)
        self.f = network.f
        self.z = np.array([50.0 * (eye + s) @ np.linalg.inv(eye - s) for s in network.s])
        g = np.diag(references)
        f = np.diag(1 / np.sqrt(references))
        self.s = np.array([f @ (z - g) @ np.linalg.inv(z + g) @ np.linalg.inv(f) for z in self.z])
        p = self.s[:, 0, 1] * self.s[:, 1, 0]
        d = self.s[:, 0, 0] * self.s[:, 1, 1] - p
        self.stability = (1 - abs(self.s[:, 0, 0]) ** 2 - abs(self.s[:, 1, 1]) ** 2 +
                          abs(d) ** 2) / (2 * abs(p))


def v2_file(network, letter, references, path):
    """The device as Touchstone 2.0 Z-parameters (ohm) or Y-parameters (siemens), referred to
    `references`."""
    matrices = network.z if letter == "Z" else [np.linalg.inv(z) for z in network.z]
    lines = ["[Version] 2.0", f"# GHz {letter} RI R 50", "[Number of Ports] 2",
             "[Two-Port Data Order] 12_21",
             "[Reference] " + " ".join(repr(float(r)) for r in references),
             f"[Number of Frequencies] {len(network.f)}", "[Network Data]"]
    for f, z in zip(network.f / 1e9, matrices):
        values = [z[0, 0], z[0, 1], z[1, 0], z[1, 1]]
        lines.append(repr(float(f)) + " " +
                     " ".join(f"{v.real!r} {v.imag!r}" for v in values))
    lines.append("[End]")
    with open(path, "w", newline="\n") as out:
        out.write("\n".join(lines) + "\n")


def presented(elements, f_ghz, r_ohm):
    """What a ladder (listed from the resistance r_ohm to the device) presents to the device:
    its chain matrix taken from the device's end, the far end in r_ohm."""
    w = 2j * np.pi * f_ghz * 1e9
    m = np.eye(2, dtype=complex)
    for e in reversed(elements):
        z_or_y = w * e["value"] * (1e-9 if e["kind"] == "L" else 1e-12)
        if e["kind"] == "C":
            z_or_y = 1 / z_or_y if e["position"] == "series" else z_or_y
        elif e["position"] == "shunt":
            z_or_y = 1 / z_or_y
        step = [[1, z_or_y], [0, 1]] if e["position"] == "series" else [[1, 0], [z_or_y, 1]]
        m = m @ np.array(step)
    z = (m[0, 0] * r_ohm + m[0, 1]) / (m[1, 0] * r_ohm + m[1, 1])
    return (z - r_ohm) / (z + r_ohm)


def check_match(program, path, network):
    """--match with --amplifier: the chosen input and output ladders of the JSON put in place
    here, the transducer gain in the band and whether the device oscillates with them."""
    run = subprocess.run([program, "--amplifier", path, "--band", "14:20", "--match", "3",
                          "--json"], capture_output=True, text=True, check=False)
    if run.returncode != 0:
        failures.append(f"--match: status {run.returncode}: {run.stderr.strip()}")
        return
    m = json.loads(run.stdout)["amplifier_match"]
    ladders = []
    for side in ("input", "output"):
        ladders.append(m[side]["networks"][m[side]["chosen"]]["elements"])
    f = network.f / 1e9
    gains = []
    for row in m["samples"]:
        i = int(np.argmin(abs(f - row["ghz"])))
        s11, s12, s21, s22 = network.s[i, 0, 0], network.s[i, 0, 1], network.s[i, 1, 0], \
            network.s[i, 1, 1]
        gs = presented(ladders[0], f[i], 50.0)
        gl = presented(ladders[1], f[i], 50.0)
        tag = f"--match {f[i]:g} GHz"
        for name, got, want in (("gamma_s_re", row["gamma_s_re"], gs.real),
                                ("gamma_s_im", row["gamma_s_im"], gs.imag),
                                ("gamma_l_re", row["gamma_l_re"], gl.real),
                                ("gamma_l_im", row["gamma_l_im"], gl.imag)):
            close(f"{tag} {name}", got, float(want))
        gin = s11 + s12 * s21 * gl / (1 - s22 * gl)
        gout = s22 + s12 * s21 * gs / (1 - s11 * gs)
        if row["oscillates"] != bool(abs(gin) >= 1 or abs(gout) >= 1):
            failures.append(f"{tag}: oscillates {row['oscillates']}, |Gin| {abs(gin)}, "
                            f"|Gout| {abs(gout)}")
        if 14 <= f[i] <= 20:
            gt = ((1 - abs(gs) ** 2) * abs(s21) ** 2 * (1 - abs(gl) ** 2) /
                  abs((1 - s11 * gs) * (1 - s22 * gl) - s12 * s21 * gs * gl) ** 2)
            close(f"{tag} gain_db", row["gain_db"], float(10 * np.log10(gt)))
            gains.append(10 * np.log10(gt))
        elif row["gain_db"] is not None:
            failures.append(f"{tag}: a gain outside the band")
    if len(m["samples"]) != len(f):
        failures.append(f"--match: {len(m['samples'])} samples for {len(f)}")
    close("--match gain_db_min", m["gain_db_min"], float(min(gains)))
    close("--match gain_db_max", m["gain_db_max"], float(max(gains)))


def main():
    program, path = sys.argv[1], sys.argv[2]
    network = skrf.Network(path)
    check(program, path, network, "S file")
    check_match(program, path, network)
    with tempfile.TemporaryDirectory() as folder:
        renormalised = Renormalised(network, (50.0, 25.0))
        for letter in ("Z", "Y"):
            other = os.path.join(folder, f"transistor_{letter}.ts")
            v2_file(renormalised, letter, (50.0, 25.0), other)
            check(program, other, renormalised, f"{letter} file at 50/25 ohm")
    for line in failures[:40]:
        print(line)
    if failures:
        print(f"{len(failures)} differences")
        return 1
    print(f"{len(network.f)} samples agree (S file, and Z and Y at 50/25 ohm)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
