#!/usr/bin/env python3
"""Writes a part library of measured-looking 0402 chip inductors and capacitors.

    python3 tools/make_parts.py OUT_DIR

OUT_DIR receives parts.csv (kind,value,unit,file,package) and one Touchstone 1.x two-port
(# GHz S RI R 50) per part: the part in series between port 1 and port 2 of a fixture, with a
small shunt capacitance to ground at each pad and a little series inductance of the pads,
from 0.01 to 20 GHz (301 points, logarithmic). Standard library only; the same bytes every run.

The closed forms (impedance of the part between its pads, in ohm, f in GHz):
  inductor L (nH): (R(f) + jwL) || 1/(jwCp), R(f) = r_dc + r_skin * L * sqrt(f),
                   Cp = 1 / ((2 pi f_srf)^2 L), f_srf from srf_ghz(L)
  capacitor C (pF): ESR(f) + jwESL + 1/(jwC (1 - j tan_d)), ESR(f) = r0 + r_skin_c * sqrt(f)
  fixture: each pad C_pad to ground, the pads' series inductance L_pad in the line.
`part_impedance(kind, value, f)` is the part alone, `series_impedance` adds the pads' L (what
the chain matrix's B element of the measured two-port holds: the shunt pads do not enter it).
"""

import cmath
import math
import os
import sys

E12 = [1.0, 1.2, 1.5, 1.8, 2.2, 2.7, 3.3, 3.9, 4.7, 5.6, 6.8, 8.2]
Z0 = 50.0
POINTS = 301
F_LO, F_HI = 0.01, 20.0
PACKAGE = "0402"

# Fixture and part constants (0402).
C_PAD_PF = 0.04
L_PAD_NH = 0.05
L_R_DC = 0.03  # ohm
L_R_SKIN = 0.12  # ohm per nH per sqrt(GHz)
C_ESL_NH = 0.35
C_R0 = 0.02  # ohm
C_R_SKIN = 0.06  # ohm per sqrt(GHz)
C_TAN_D = 0.0008


def frequencies():
    ratio = math.log(F_HI / F_LO)
    return [F_LO * math.exp(ratio * k / (POINTS - 1)) for k in range(POINTS)]


def e12_between(lo, hi):
    values = []
    for decade in (-1, 0, 1, 2):
        for v in E12:
            x = round(v * 10.0**decade, 6)
            if lo - 1e-9 <= x <= hi + 1e-9:
                values.append(x)
    return values


def srf_ghz(l_nh):
    # A parallel capacitance of 0.07 pF growing with the winding's length.
    cp_pf = 0.07 + 0.0004 * l_nh
    return 1.0 / (2 * math.pi * math.sqrt(l_nh * 1e-9 * cp_pf * 1e-12)) / 1e9


def part_impedance(kind, value, f_ghz):
    w = 2 * math.pi * f_ghz * 1e9
    if kind == "L":
        l_h = value * 1e-9
        cp = 1.0 / ((2 * math.pi * srf_ghz(value) * 1e9) ** 2 * l_h)
        zl = complex(L_R_DC + L_R_SKIN * value * math.sqrt(f_ghz), w * l_h)
        return zl / (1 + 1j * w * cp * zl)
    c_f = value * 1e-12
    esr = C_R0 + C_R_SKIN * math.sqrt(f_ghz)
    return complex(esr, w * C_ESL_NH * 1e-9) + 1.0 / (1j * w * c_f * complex(1, -C_TAN_D))


def series_impedance(kind, value, f_ghz):
    return part_impedance(kind, value, f_ghz) + 1j * 2 * math.pi * f_ghz * L_PAD_NH


def s_parameters(kind, value, f_ghz):
    """S of the fixture: shunt pad, series (part + pads' L), shunt pad, referred to Z0."""
    y = 1j * 2 * math.pi * f_ghz * C_PAD_PF * 1e-3  # siemens, C in pF and f in GHz
    z = series_impedance(kind, value, f_ghz)
    a, b, c, d = 1 + y * z, z, y * (2 + y * z), 1 + y * z
    den = a + b / Z0 + c * Z0 + d
    s11 = (a + b / Z0 - c * Z0 - d) / den
    s21 = 2 / den
    s22 = (-a + b / Z0 - c * Z0 + d) / den
    return s11, s21, s21, s22


def code(value, letter):
    if value >= 10:
        return f"{value:g}{letter}"
    whole = int(value)
    frac = f"{value:.2f}"[len(str(whole)) + 1 :].rstrip("0") or "0"
    return f"{whole}{letter}{frac}"


def touchstone(kind, value):
    unit = "nH" if kind == "L" else "pF"
    lines = [
        f"! {PACKAGE} chip {'inductor' if kind == 'L' else 'capacitor'} {value:g} {unit}, "
        "measured in series in a 50 ohm fixture",
        "# GHz S RI R 50",
    ]
    for f in frequencies():
        s11, s21, s12, s22 = s_parameters(kind, value, f)
        numbers = [f] + [p for s in (s11, s21, s12, s22) for p in (s.real, s.imag)]
        lines.append(" ".join(f"{x:.10e}" for x in numbers))
    return "\n".join(lines) + "\n"


def parts():
    out = [("L", v, "nH", f"L{PACKAGE}_{code(v, 'N')}.s2p") for v in e12_between(1, 100)]
    out += [("C", v, "pF", f"C{PACKAGE}_{code(v, 'P')}.s2p") for v in e12_between(0.2, 100)]
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_parts.py OUT_DIR")
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    rows = ["kind,value,unit,file,package"]
    for kind, value, unit, name in parts():
        rows.append(f"{kind},{value:g},{unit},{name},{PACKAGE}")
        with open(os.path.join(folder, name), "w", newline="\n") as f:
            f.write(touchstone(kind, value))
    with open(os.path.join(folder, "parts.csv"), "w", newline="\n") as f:
        f.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
