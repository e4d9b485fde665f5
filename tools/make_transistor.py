#!/usr/bin/python3
"""Writes examples/transistor.s2p: the small-signal S-parameters of a microwave FET.

The device is the usual equivalent circuit of a common-source FET (0.25 um gate, about 60 mS):

  intrinsic  Cgs in series with Ri from gate to source, Cgd from gate to drain, the drain current
             gm exp(-j w tau) times the voltage across Cgs, Rds and Cds from drain to source;
  extrinsic  Rg + j w Lg at the gate, Rd + j w Ld at the drain, Rs + j w Ls in the common source.

The intrinsic Y matrix is turned into Z, the lead impedances added (the source's to every entry),
and Z turned into S referred to 50 ohm at both ports. With these values the device is
potentially unstable (K < 1) up to about 13.5 GHz and unconditionally stable above, up to 20 GHz.
Written as Touchstone 1.x, `# GHz S MA R 50`, at 0.1, 0.2, 0.5 and 1 to 20 GHz in steps of
0.5 GHz; magnitudes with 6 significant digits, angles in degrees with 3 decimals. Needs numpy
(/usr/bin/python3); every run writes the same bytes. `--output FILE` writes elsewhere.
"""

import argparse
import os

import numpy as np

Z0 = 50.0  # ohm, both ports
GM = 0.060  # S
TAU = 2.5e-12  # s, transit delay of gm
CGS = 0.45e-12  # F
RI = 1.5  # ohm, in series with Cgs
CGD = 0.04e-12  # F, the feedback capacitance
RDS = 220.0  # ohm
CDS = 0.12e-12  # F
RG, LG = 1.2, 0.25e-9  # gate lead
RD, LD = 1.0, 0.25e-9  # drain lead
RS, LS = 0.6, 0.03e-9  # common source lead


def frequencies_ghz():
    return [0.1, 0.2, 0.5] + [1 + 0.5 * k for k in range(39)]


def s_matrix(f_ghz):
    w = 2 * np.pi * f_ghz * 1e9
    j = 1j
    d = 1 + j * w * CGS * RI
    y = np.array(
        [
            [j * w * CGS / d + j * w * CGD, -j * w * CGD],
            [GM * np.exp(-j * w * TAU) / d - j * w * CGD, 1 / RDS + j * w * (CDS + CGD)],
        ]
    )
    z = np.linalg.inv(y)
    zs = RS + j * w * LS
    z = z + np.array([[RG + j * w * LG + zs, zs], [zs, RD + j * w * LD + zs]])
    eye = np.eye(2)
    return (z - Z0 * eye) @ np.linalg.inv(z + Z0 * eye)


def ma(value):
    angle = float(np.degrees(np.angle(value)))
    text = f"{abs(value):.6g} {angle:.3f}"
    return text.replace("-0.000", "0.000")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", default=os.path.join(here, "..", "examples", "transistor.s2p"))
    args = parser.parse_args()
    lines = [
        "! Small-signal FET, common source, written by tools/make_transistor.py",
        f"! gm {GM * 1e3:g} mS, tau {TAU * 1e12:g} ps, Cgs {CGS * 1e12:g} pF, Ri {RI:g} ohm, "
        f"Cgd {CGD * 1e12:g} pF, Rds {RDS:g} ohm, Cds {CDS * 1e12:g} pF",
        f"! Rg {RG:g} ohm, Lg {LG * 1e9:g} nH, Rd {RD:g} ohm, Ld {LD * 1e9:g} nH, "
        f"Rs {RS:g} ohm, Ls {LS * 1e9:g} nH",
        "! f  S11  S21  S12  S22",
        "# GHz S MA R 50",
    ]
    for f in frequencies_ghz():
        s = s_matrix(f)
        # Touchstone 1.x two-ports are written S11 S21 S12 S22.
        lines.append(f"{f:g} " + " ".join(ma(v) for v in (s[0, 0], s[1, 0], s[0, 1], s[1, 1])))
    with open(args.output, "w", newline="\n") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
