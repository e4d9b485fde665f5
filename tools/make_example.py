#!/usr/bin/env python3
"""Writes examples/antenna.s1p: a measured-looking one-port file of a small antenna.

The device is a series resonator (radiation resistance 38 ohm, 12 nH, resonant at 2.45 GHz)
shunted by 0.2 pF of pad capacitance and fed through 0.5 nH of track. Its reflection into
50 ohm carries the ripple of a slightly mismatched cable (2 %, 4 ns round trip) and a small
deterministic scatter, as a vector network analyser would show it. 201 points, 1.5 to 3.5 GHz,
`# GHz S RI R 50`. Standard library only; every run writes the same bytes.
"""

import cmath
import math
import os

R_RAD = 38.0  # ohm
L_RES = 12e-9  # H
F_RES = 2.45e9  # Hz
C_RES = 1.0 / ((2 * math.pi * F_RES) ** 2 * L_RES)  # F
C_PAD = 0.2e-12  # F
L_FEED = 0.5e-9  # H
Z0 = 50.0  # ohm
RIPPLE = 0.02
DELAY = 4e-9  # s, cable round trip
SCATTER = 0.002


def antenna_impedance(f_hz):
    w = 2 * math.pi * f_hz
    resonator = complex(R_RAD, w * L_RES - 1 / (w * C_RES))
    with_pad = 1 / (1 / resonator + complex(0, w * C_PAD))
    return with_pad + complex(0, w * L_FEED)


def scatter(state):
    """A small linear congruential generator: the same 'noise' every run."""
    state = (1103515245 * state + 12345) % 2**31
    return state, (state / 2**31 - 0.5) * 2 * SCATTER


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = os.path.join(root, "examples", "antenna.s1p")
    lines = [
        "! Veltrane example: a 2.45 GHz antenna as a network analyser measures it",
        "! made by tools/make_example.py (resonator 38 ohm, 12 nH; 0.2 pF pad; 0.5 nH feed)",
        "# GHz S RI R 50",
    ]
    state = 2450
    for k in range(201):
        f_ghz = 1.5 + k * 0.01
        f_hz = f_ghz * 1e9
        z = antenna_impedance(f_hz)
        s = (z - Z0) / (z + Z0)
        s *= 1 + RIPPLE * cmath.exp(complex(0, -2 * math.pi * f_hz * DELAY))
        state, dre = scatter(state)
        state, dim = scatter(state)
        s += complex(dre, dim)
        lines.append(f"{f_ghz:.2f} {s.real:.6f} {s.imag:.6f}")
    with open(path, "w", encoding="ascii", newline="\n") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
