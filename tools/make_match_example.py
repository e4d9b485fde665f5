#!/usr/bin/env python3
"""Writes examples/match_load.s1p: the load of the matching example.

A 40 ohm resistance in series with 120 nH (a small VHF antenna's feed point), its reflection
into 50 ohm from 200 to 500 MHz in steps of 0.5 MHz (601 points), `# GHz S RI R 50`, each number
the shortest text that reads back to the same double. Standard library only; every run writes the
same bytes.
"""

import math
import os

R = 40.0  # ohm
L = 120e-9  # H
Z0 = 50.0  # ohm


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.path.join(here, "..", "examples", "match_load.s1p")
    lines = [
        "! Matching example: 40 ohm in series with 120 nH, written by tools/make_match_example.py",
        "# GHz S RI R 50",
    ]
    f_mhz = [10 * k for k in range(1, 20)] + [200 + 0.5 * k for k in range(601)]
    f_mhz += [10 * k for k in range(51, 301)]
    for f in f_mhz:
        f_ghz = f / 1000
        z = complex(R, 2 * math.pi * f_ghz * 1e9 * L)
        s = (z - Z0) / (z + Z0)
        lines.append(f"{f_ghz!r} {s.real!r} {s.imag!r}")
    with open(path, "w", newline="\n") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
