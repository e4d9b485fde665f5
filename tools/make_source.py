#!/usr/bin/env python3
"""Writes examples/transceiver.s1p: the measured output of a 2.4 GHz transceiver's RF pin.

A matching job rarely has a 50 ohm generator behind it: a transceiver's output is a small
resistance (18 ohm) behind its bond wire and pin (1.1 nH) with the die's and the pad's
capacitance across it (1.2 pF at the die). Its reflection into 50 ohm carries a small cable
ripple (1 %, 3 ns round trip) and a deterministic scatter, as a network analyser shows it.
1.5 to 3.5 GHz, 201 points, `# GHz S RI R 50`. Standard library only; every run writes the
same bytes.
"""

import cmath
import math
import os

R_OUT = 18.0  # ohm
C_DIE = 1.2e-12  # F
L_PIN = 1.1e-9  # H
Z0 = 50.0
RIPPLE = 0.01
DELAY = 3e-9  # s
SCATTER = 0.001


def source_impedance(f_hz):
    w = 2 * math.pi * f_hz
    die = 1 / (1 / R_OUT + complex(0, w * C_DIE))
    return die + complex(0, w * L_PIN)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.path.join(here, "..", "examples", "transceiver.s1p")
    state = 7
    lines = [
        "! Veltrane example: a 2.4 GHz transceiver's RF output as a network analyser measures it",
        "! made by tools/make_source.py (18 ohm behind 1.2 pF at the die and a 1.1 nH pin)",
        "# GHz S RI R 50",
    ]
    for k in range(201):
        f_ghz = 1.5 + 0.01 * k
        z = source_impedance(f_ghz * 1e9)
        s = (z - Z0) / (z + Z0)
        s *= 1 + RIPPLE * cmath.exp(complex(0, -2 * math.pi * f_ghz * 1e9 * DELAY))
        noise = []
        for _ in range(2):
            state = (1103515245 * state + 12345) % 2**31
            noise.append((state / 2**31 - 0.5) * 2 * SCATTER)
        s += complex(noise[0], noise[1])
        lines.append(f"{f_ghz:.2f} {s.real:.6f} {s.imag:.6f}")
    with open(path, "w", newline="\n") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
