"""Veltrane from Python: the calculator, the Touchstone reader, the best fit and the matching
networks on numpy arrays.

Frequencies of points and bands are in GHz as on veltrane-calc's command line; sweeps are in Hz
as in scikit-rf. Every function that takes ``f_hz, z`` also takes a network in their place: the
object read_touchstone() returns, or a scikit-rf ``Network`` (anything with ``.f`` and ``.s``
with ``.z0``, or ``.z``), at ``port=``. A calculation or a search that ends with the program's
message raises ``Stop``; an argument that cannot be used raises ``ValueError``.
"""

from __future__ import annotations

import contextlib
import io
import json
import math
import os

import numpy as np

from . import _veltrane
from ._veltrane import Stop

Stop.__module__ = __name__  # shown as veltrane.Stop

__all__ = [
    "BestFit",
    "Candidate",
    "Element",
    "Limit",
    "Match",
    "Model",
    "Network",
    "Quantity",
    "Refined",
    "Result",
    "Section",
    "Stop",
    "Touchstone",
    "Yield",
    "best_fit",
    "calculate",
    "match",
    "read_touchstone",
]


class _Record:
    """Named values, shown as ``Name(a=1, b=2)``."""

    _fields: tuple = ()
    _optional: tuple = ()  # left out of as_dict() when None, as the JSON leaves them out

    def __init__(self, **values):
        for name in self._fields:
            setattr(self, name, values.get(name))

    def __repr__(self):
        inner = ", ".join(f"{name}={getattr(self, name)!r}" for name in self._fields)
        return f"{type(self).__name__}({inner})"

    def __eq__(self, other):
        return type(self) is type(other) and all(
            getattr(self, n) == getattr(other, n) for n in self._fields
        )

    def as_dict(self):
        """The values as a dict with the keys of veltrane-calc's JSON."""
        return {name: getattr(self, name) for name in self._fields
                if name not in self._optional or getattr(self, name) is not None}


def _skrf():
    try:
        # scikit-rf tells standard output when it finds no matplotlib: not the caller's output.
        with contextlib.redirect_stdout(io.StringIO()):
            import skrf
    except ImportError as error:  # pragma: no cover - depends on the installation
        raise ImportError("to_skrf() needs scikit-rf (python3-scikit-rf or pip install scikit-rf)") from error
    return skrf


def _skrf_network(f_hz, s, z0, name=None):
    skrf = _skrf()
    frequency = skrf.Frequency.from_f(np.asarray(f_hz, dtype=float), unit="hz")
    return skrf.Network(frequency=frequency, s=s, z0=z0, name=name)


# ---------------------------------------------------------------------------------------------
# The calculation.


class Quantity(float):
    """One of the ten results: a float at full precision, with the text the calculator shows
    (``.text``), its unit (``.unit``: "nH", "pF", "MHz" or ""), ``.symbol`` and ``.meaning``."""

    def __new__(cls, value, text, symbol, unit, meaning):
        quantity = super().__new__(cls, value)
        quantity.text = text
        quantity.symbol = symbol
        quantity.unit = unit
        quantity.meaning = meaning
        return quantity

    def __repr__(self):
        unit = f" {self.unit}" if self.unit else ""
        return f"{self.symbol} = {self.text.strip()}{unit}"


_RESULTS = _veltrane.result_quantities()  # (symbol, unit, meaning), Ls first, F0 last


class Model(_Record):
    """The lumped model: the series pair Ls (nH), Cs (pF) and the shunt pair Lp (nH), Cp (pF)
    around the load RL (ohm) in the topology "parallel-series" or "series-parallel"."""

    _fields = ("topology", "ls_nh", "cs_pf", "lp_nh", "cp_pf", "rl_ohm")

    def _tuple(self):
        return (self.topology, self.ls_nh, self.cs_pf, self.lp_nh, self.cp_pf, self.rl_ohm)

    def z(self, f_hz):
        """The model's impedance (ohm) at the frequencies `f_hz` (Hz, above 0)."""
        return _veltrane.model_impedance(self._tuple(), _ghz(f_hz))

    def to_skrf(self, f_hz, z0=50.0):
        """The model as a scikit-rf one-port at `f_hz`, referred to `z0`."""
        z = self.z(f_hz)
        return _skrf_network(f_hz, _veltrane.reflection(z, z0).reshape(-1, 1, 1), z0, "model")


class Result:
    """A finished calculation: the ten results as Quantity attributes (``r.Ls``, ``r.Cs``,
    ``r.Lp``, ``r.Cp``, ``r.Q1``, ``r.Q2``, ``r.Q0``, ``r.FL``, ``r.FH``, ``r.F0``), the choices it
    ran with, the text of its report, and its model."""

    def __init__(self, calculation, band=None):
        self._calculation = calculation
        self.quantities = {}
        for (symbol, unit, meaning), text, value in zip(
            _RESULTS, calculation.texts, calculation.values
        ):
            self.quantities[symbol] = Quantity(value, text, symbol, unit, meaning)
        self.f1_crossover = calculation.f1_crossover
        self.f2_crossover = calculation.f2_crossover
        self.topology = calculation.topology
        self.report = calculation.report

    def __getattr__(self, name):
        quantities = self.__dict__.get("quantities", {})
        if name in quantities:
            return quantities[name]
        raise AttributeError(name)

    @property
    def texts(self):
        """The ten results as the calculator shows them, by symbol."""
        return {symbol: q.text for symbol, q in self.quantities.items()}

    @property
    def values(self):
        """The ten results at full precision, by symbol."""
        return {symbol: float(q) for symbol, q in self.quantities.items()}

    @property
    def model(self):
        """The lumped model of this calculation."""
        return Model(
            topology=self.topology,
            ls_nh=float(self.Ls),
            cs_pf=float(self.Cs),
            lp_nh=float(self.Lp),
            cp_pf=float(self.Cp),
            rl_ohm=self._calculation.inputs[6],
        )

    def _band(self):
        return _veltrane.model_band(float(self.FL), float(self.FH))

    def __repr__(self):
        inner = ", ".join(repr(q) for q in self.quantities.values())
        return f"Result({self.topology}, {inner})"


def calculate(f1_ghz, z1, f2_ghz, z2, rl, *, f1_crossover=None, f2_crossover=None, topology=None):
    """The calculator: the model from the impedances `z1` at `f1_ghz` and `z2` at `f2_ghz` (ohm,
    complex) with the load resistance `rl` (ohm). `f1_crossover` and `f2_crossover` are
    "inductive" or "capacitive", `topology` "parallel-series" or "series-parallel", as on the
    command line. Raises Stop with the calculator's message when it ends with one."""
    values = []
    for name, value in (("f1_ghz", f1_ghz), ("z1", z1), ("f2_ghz", f2_ghz), ("z2", z2), ("rl", rl)):
        try:
            values.append(complex(value) if name in ("z1", "z2") else float(value))
        except (TypeError, ValueError):
            raise ValueError(f"{name}: {value!r} is not a number") from None
    return Result(
        _veltrane.calculate(*values, f1_crossover, f2_crossover, topology)
    )


# ---------------------------------------------------------------------------------------------
# Measured data.


def _ghz(f_hz):
    return np.asarray(f_hz, dtype=float).reshape(-1) / 1e9


class Touchstone:
    """A Touchstone file as read: ``f`` (Hz), ``s`` (n x p x p, complex), ``z0`` (one reference
    resistance per port, ohm), ``comments`` (the text after each "!", one line each),
    ``parameter`` ("S", "Y" or "Z") and ``values`` (the parameters as written, in siemens or ohm
    for Y and Z)."""

    def __init__(self, path, read):
        self.path = path
        self.f_ghz = read["f_ghz"]
        self.f = self.f_ghz * 1e9
        self.values = read["values"]
        self.parameter = read["parameter"]
        self.z0 = read["reference_ohm"]
        self.comments = "\n".join(read["comments"])
        self.version = read["version"]
        self._ports = read["ports"]

    @property
    def ports(self):
        return self.values.shape[1]

    @property
    def s(self):
        """The S-parameters referred to each port's reference (converted from Y or Z)."""
        if self.parameter == "S":
            return self.values
        root = np.sqrt(self.z0)
        eye = np.eye(self.ports)
        r = np.diag(self.z0)
        with np.errstate(all="ignore"):
            if self.parameter == "Z":
                m = (self.values - r) @ np.linalg.inv(self.values + r)
            else:
                m = (eye - r @ self.values) @ np.linalg.inv(eye + r @ self.values)
        return (m / root[:, None]) * root[None, :]

    def z_port(self, port=1):
        """The impedance seen at `port` (from 1) with the other ports terminated in their
        references, as the calculation takes it."""
        reference, s = self._port(port)
        with np.errstate(all="ignore"):
            return reference * (1 + s) / (1 - s)

    def _port(self, port):
        if not isinstance(port, int) or not 1 <= port <= self.ports:
            raise ValueError(f"port: {port!r} is not a port of this {self.ports}-port file")
        reflection = self._ports[port - 1]
        if isinstance(reflection, str):
            raise Stop(reflection)
        return reflection

    def to_skrf(self):
        """The file as a scikit-rf Network."""
        return _skrf_network(self.f, self.s, self.z0, os.path.basename(self.path))

    def __repr__(self):
        return (f"Touchstone({self.path!r}, {self.ports} port(s), {len(self.f)} frequencies, "
                f"{self.parameter})")


def read_touchstone(path):
    """Reads a Touchstone file (1.x or 2.0) as veltrane-calc --touchstone reads it. Raises Stop
    with the reader's message ("<file> line <n>: ...", "Cannot read <file>: ...")."""
    path = os.fspath(path)
    if isinstance(path, bytes):
        path = os.fsdecode(path)
    return Touchstone(path, _veltrane.read_touchstone(path))


def _measured(f_hz, z, port, z0):
    """The data as the searches take it: (f_ghz, values, impedances?, reference_ohm)."""
    if z is None:
        network = f_hz
        if network is None:
            raise ValueError("no data: give f_hz and z, or a network")
        if isinstance(network, Touchstone):
            reference, s = network._port(port)
            return network.f_ghz, s, False, reference
        if not hasattr(network, "f"):
            raise ValueError("z: the impedances are missing (or give a network with .f and .s)")
        f_ghz = _ghz(network.f)
        if hasattr(network, "s") and hasattr(network, "z0"):
            s = np.asarray(network.s)
            if s.ndim != 3 or s.shape[1] != s.shape[2] or s.shape[0] != len(f_ghz):
                raise ValueError("the network's s is not n x p x p")
            if not isinstance(port, int) or not 1 <= port <= s.shape[1]:
                raise ValueError(f"port: {port!r} is not a port of this {s.shape[1]}-port network")
            reference = np.broadcast_to(np.asarray(network.z0), (len(f_ghz), s.shape[1]))
            reference = reference[:, port - 1]
            if len(reference) and np.all(reference == reference[0]) and reference[0].imag == 0:
                return f_ghz, s[:, port - 1, port - 1], False, float(reference[0].real)
            if s.shape[1] != 1:
                raise ValueError("z0: the port's reference must be one real resistance")
        if not hasattr(network, "z"):
            raise ValueError("the network has neither .s with one real .z0 nor .z")
        zs = np.asarray(network.z)
        if zs.ndim != 3 or zs.shape[1] != 1:
            raise ValueError("a network without one real z0 must be a one-port")
        z = zs[:, 0, 0]
    else:
        f_ghz = _ghz(f_hz)
    z = np.asarray(z, dtype=complex).reshape(-1)
    return f_ghz, z, True, 50.0 if z0 is None else float(z0)


def _impedance_text(text):
    """ "50", "30+j20", "30 - j20" or Python's "30+20j" as a number (complex when it has a j)."""
    compact = text.replace(" ", "").replace("J", "j")
    if "j" in compact and not compact.endswith("j"):
        at = compact.find("j")
        compact = compact[:at] + compact[at + 1:] + "j"
    try:
        return complex(compact) if "j" in compact else float(compact)
    except ValueError:
        raise ValueError(f'source: "{text}" is not a resistance or R+jX in ohm') from None


def _optional_number(value, name):
    if value is None:
        return None
    try:
        number = float(value)
    except (TypeError, ValueError):
        raise ValueError(f"{name}: {value!r} is not a number") from None
    if not math.isfinite(number):
        raise ValueError(f"{name}: {value!r} is not a finite number")
    return number


# ---------------------------------------------------------------------------------------------
# The best fit.


class Candidate(_Record):
    """One model of the best fit, with the fields of veltrane-calc's JSON "best_fit"."""

    _fields = ("f1_ghz", "f2_ghz", "f1_crossover", "f2_crossover", "topology", "rl_ohm",
               "ls_nh", "cs_pf", "lp_nh", "cp_pf", "f0_mhz", "fl_mhz", "fh_mhz", "max", "rms",
               "at_ghz", "positive")

    @property
    def model(self):
        return Model(topology=self.topology, ls_nh=self.ls_nh, cs_pf=self.cs_pf,
                     lp_nh=self.lp_nh, cp_pf=self.cp_pf, rl_ohm=self.rl_ohm)

    def _band(self):
        if self.fl_mhz is None or self.fh_mhz is None:
            return None
        return _veltrane.model_band(self.fl_mhz, self.fh_mhz)


class Refined(_Record):
    """The refined model, with the fields of veltrane-calc's JSON "refined"."""

    _fields = ("topology", "ls_nh", "cs_pf", "lp_nh", "cp_pf", "rl_ohm", "max", "rms", "at_ghz")

    @property
    def model(self):
        return Model(topology=self.topology, ls_nh=self.ls_nh, cs_pf=self.cs_pf,
                     lp_nh=self.lp_nh, cp_pf=self.cp_pf, rl_ohm=self.rl_ohm)

    def _band(self):
        return None


class BestFit(_Record):
    """The best fit: ``candidates`` (the best first), ``refined`` (with refine=True), the
    ``warnings`` on the model calculated from them, and the search's figures."""

    _fields = ("candidates", "refined", "warnings", "positive_found", "samples", "thinned",
               "z0_ohm")

    @property
    def best(self):
        return self.candidates[0]


def best_fit(f_hz, z=None, *, rl=None, fmin=None, fmax=None, refine=False, z0=None,
             allow_negative=False, port=1, progress=None):
    """The models that follow the measured impedances `z` at `f_hz` (Hz) best, as veltrane-calc
    --best-fit finds them: `rl` (ohm) the load resistance, None to search it (--rl auto);
    `fmin`, `fmax` (GHz) the range; `refine` moves the best models' elements together
    (--refine); `z0` the reference of the reflections compared (default the data's, else 50).
    `progress(done)` is called now and then with the share done (0..1); returning False or
    raising stops the search. Raises Stop with the search's message."""
    f_ghz, values, impedances, reference = _measured(f_hz, z, port, z0)
    z0 = _optional_number(z0, "z0")
    if impedances:
        values = _veltrane.reflection(values, reference)
    found = _veltrane.best_fit(
        f_ghz, values, reference, z0, _optional_number(rl, "rl"), _optional_number(fmin, "fmin"),
        _optional_number(fmax, "fmax"), bool(allow_negative), bool(refine), progress,
    )
    refined = found["refined"]
    return BestFit(
        candidates=[Candidate(**c) for c in found["candidates"]],
        refined=Refined(**refined) if refined is not None else None,
        warnings=list(found["warnings"]),
        positive_found=found["positive_found"],
        samples=found["samples"],
        thinned=found["thinned"],
        z0_ohm=found["z0_ohm"],
    )


# ---------------------------------------------------------------------------------------------
# Matching networks.


class Section(_Record):
    """The section fitted to the data (or the model's) whose Bode-Fano bound is given: its kind
    ("RC", "RL", "parallel RLC", ...), R (ohm), L (nH), C (pF) and the largest |error| of its
    fit over the band."""

    _fields = ("kind", "r_ohm", "l_nh", "c_pf", "fit_max")


class Limit(_Record):
    """The Bode-Fano bound: the smallest reflection magnitude with its return loss and the gain
    of a lossless network, the ``section`` it is of, and whether a network ``beaten`` it (the
    section then misses the data)."""

    _fields = ("gamma", "rl_db", "gain_db", "section", "beaten")


class Element(_Record):
    """A part of a ladder: "series" or "shunt", "L" (nH) or "C" (pF)."""

    _fields = ("position", "kind", "value", "unit")


class Yield(_Record):
    """The yield: parts varied within +-tolerance_percent ("uniform", or "normal" with the
    tolerance at 3 sigma) in runs drawn from ``seed``, the share of runs whose worst return loss
    reaches the target with its 95 % interval ``share_95``, and the worst return loss's min,
    median and max (dB)."""

    _fields = ("tolerance_percent", "runs", "target_rl_db", "share", "share_95", "seed",
               "distribution", "worst_rl_db")


class Network(_Record):
    """A matching ladder from the source to the load with its figures over the band, its gap to
    the bound (in gain, reflection and return loss), and ``no_better_than`` the smaller size it
    gains nothing over (None when it gains)."""

    _fields = ("elements", "worst_gamma", "worst_rl_db", "gain_db", "at_ghz", "gap_db",
               "gap_gamma", "gap_rl_db", "no_better_than")
    _optional = ("no_better_than",)

    def __init__(self, design, source_ohm, losses, f_hz):
        super().__init__(**design)
        self.elements = [Element(**e) for e in design["elements"]]
        self.source_ohm = source_ohm
        self._losses = losses
        self._f_hz = f_hz

    def _ladder(self):
        return [(e.position, e.kind, e.value) for e in self.elements]

    def _frequencies(self, f_hz):
        if f_hz is None:
            return self._f_hz
        if hasattr(f_hz, "f"):
            return np.asarray(f_hz.f, dtype=float)
        return np.asarray(f_hz, dtype=float).reshape(-1)

    def s(self, f_hz=None, z0=None):
        """The ladder's S-parameters (n x 2 x 2; port 1 the source side) at `f_hz` (Hz; default
        the load's frequencies), both ports referred to `z0` (default the source)."""
        f = self._frequencies(f_hz)
        return _veltrane.network_s(self._ladder(), *self._losses, f / 1e9,
                                   self.source_ohm if z0 is None else float(z0))

    def cascade_with(self, z_load, f_hz=None, port=1):
        """The input reflection, referred to the source, of the ladder in front of `z_load`
        (ohm at `f_hz`, default the load's frequencies); with a network in place of `z_load`,
        the matched one-port as a scikit-rf Network at its frequencies."""
        if hasattr(z_load, "f"):
            f_ghz, values, impedances, reference = _measured(z_load, None, port, None)
            if not impedances:
                with np.errstate(all="ignore"):
                    values = reference * (1 + values) / (1 - values)
            gamma = _veltrane.matched(self._ladder(), *self._losses, f_ghz, values,
                                      self.source_ohm)
            return _skrf_network(f_ghz * 1e9, gamma.reshape(-1, 1, 1), self.source_ohm, "matched")
        f = self._frequencies(f_hz)
        z = np.broadcast_to(np.asarray(z_load, dtype=complex), f.shape)
        return _veltrane.matched(self._ladder(), *self._losses, f / 1e9, z, self.source_ohm)

    def to_skrf(self, f_hz=None):
        """The ladder as a scikit-rf two-port at `f_hz` (default the load's frequencies),
        referred to the source."""
        f = self._frequencies(f_hz)
        return _skrf_network(f, self.s(f), self.source_ohm, "match")

    def __repr__(self):
        ladder = ", ".join(f"{e.position} {e.kind} {e.value:.6g} {e.unit}" for e in self.elements)

        def db(value):
            return "-" if value is None else f"{value:.4g} dB"

        same = "" if self.no_better_than is None else f", no better than {self.no_better_than}"
        return (f"Network([{ladder}], worst return loss {db(self.worst_rl_db)}, "
                f"gain {db(self.gain_db)}, gap {db(self.gap_db)}{same})")


class Match(_Record):
    """The match: the ``objective`` with lossy parts ("gain" or "gamma"), the ``constraints`` in
    words, the Bode-Fano ``bound`` (of a section fitted to the data, or of the model), the best
    ``networks`` of 1 to n elements, the ``standard`` one, the ``yield_``, and the ``files``
    written ({"written": [paths], "messages": ["Cannot write ..."]})."""

    _fields = ("band_ghz", "source_ohm", "source", "objective", "constraints", "bound",
               "networks", "standard", "yield_", "samples", "files")
    _optional = ("source", "objective", "constraints")

    @property
    def chosen(self):
        """The network the files and the yield are of: the standard one, else the largest that
        gains over every smaller one."""
        if self.standard is not None:
            return self.standard
        return [n for n in self.networks if n.no_better_than is None][-1]


def _words(value, name, form, count):
    """A tuple of numbers, given as one or as the command line's text ("50@2.4", "5:1000")."""
    if isinstance(value, str):
        parts = value.replace("@", ":").split(":") if "@" in form else value.split(":")
        try:
            numbers = tuple(float(p) for p in parts)
        except ValueError:
            raise ValueError(f'{name}: "{value}" is not {form}') from None
    else:
        try:
            numbers = tuple(float(p) for p in value)
        except (TypeError, ValueError):
            raise ValueError(f"{name}: {value!r} is not {form}") from None
    if len(numbers) not in count or not all(math.isfinite(n) for n in numbers):
        raise ValueError(f"{name}: {value!r} is not {form}")
    return numbers


def _q(value, name):
    return None if value is None else _words(value, name, "Q@GHZ", (2,))


def _range(value, name):
    return None if value is None else _words(value, name, "MIN:MAX", (2,))


def _choice(value, name, words):
    if value is not None and not isinstance(value, str):
        raise ValueError(f"{name}: {value!r} not in {{{','.join(words)}}}")
    return value


def match(f_hz=None, z_load=None, *, band=None, n=4, source=None, source_port=1, e_series=None,
          inductor_q=None, capacitor_q=None, objective=None, dc_path=False, dc_block=False,
          lowpass=False, highpass=False, first=None, last=None, l_range=None, c_range=None,
          yield_=None, seed=None, yield_dist=None, z0=None, port=1, model=None,
          match_s2p=None, match_s1p=None, match_spice=None, match_plot=None, progress=None):
    """Matching ladders of 1 to `n` elements for the load `z_load` at `f_hz` (Hz), as
    veltrane-calc --match designs them: `band` (FL, FH) in GHz (default the model's band);
    `source` (ohm; default `z0`, else the data's reference, else 50): a resistance, a complex
    impedance (30+20j, or "30+j20"), or a measured source (a network as for the data, its port
    `source_port`, or (f_hz, z)) whose impedance is interpolated to the load's samples; with a
    source that is not a resistance no bound is given, the figures are the power wave's and the
    files are referred to `z0` (else 50); `e_series` ("E24") for the
    standard-value network; `inductor_q`, `capacitor_q` as (Q, GHz) or "Q@GHZ"; `objective`
    "gain" or "gamma" (default: gain with lossy parts); the constraints `dc_path`, `dc_block`,
    `lowpass`, `highpass` (True), `first`, `last` ("series" or "shunt"), `l_range` (nH),
    `c_range` (pF) as (MIN, MAX) or "MIN:MAX"; `yield_` as (TOL, RUNS[, TARGET_DB]) or
    "TOL:RUNS[:TARGET_DB]" with its `seed` (default 1) and `yield_dist` ("uniform", "normal");
    `model` a Result, Candidate or Refined (without data, its impedance over the band is
    matched; with data, its section is among those fitted for the bound).
    `match_s2p`, `match_s1p`, `match_spice`, `match_plot` are the files of the chosen network as
    veltrane-calc writes them (with data only); a file that cannot be written is told in
    ``files["messages"]``. `progress(done)` as for best_fit(). Raises Stop with the design's
    message."""
    if isinstance(n, bool) or not isinstance(n, (int, np.integer)) or not 1 <= n <= 8:
        raise ValueError(f"n: {n!r} is not a number of elements from 1 to 8")
    model_tuple = None
    if model is not None:
        model_tuple = (model.model if not isinstance(model, Model) else model)._tuple()
    if band is None:
        band = model._band() if model is not None and not isinstance(model, Model) else None
        if band is None:
            if model is not None:
                raise Stop("The model's band cannot be matched: give band=(FL, FH)")
            raise ValueError("band: give band=(FL, FH) in GHz when no model is given")
    else:
        band = _words(band, "band", "FL:FH in GHz", (2,))
    files = tuple(None if f is None else os.fsdecode(os.fspath(f))
                  for f in (match_s2p, match_s1p, match_spice, match_plot))
    if f_hz is None and z_load is None:
        if model_tuple is None:
            raise ValueError("no data: give f_hz and z_load, a network, or a model")
        if any(files):
            raise ValueError("match_s2p, match_s1p, match_spice, match_plot: the files are written "
                             "over measured data: give f_hz and z_load (the model's own, say)")
        f_ghz, values, impedances, reference = None, None, True, 50.0 if z0 is None else float(z0)
    else:
        f_ghz, values, impedances, reference = _measured(f_hz, z_load, port, z0)
    # The data's reflections stay referred to their own reference; z0 is the default source.
    source_impedance, source_data = None, None
    if isinstance(source, str):
        source = _impedance_text(source)
    if isinstance(source, (complex, np.complexfloating)):
        source = complex(source)
        if source.imag != 0:
            source_impedance, source = source, None
        else:
            source = source.real
    elif isinstance(source, tuple) and len(source) == 2:
        source_data, source = _measured(source[0], source[1], 1, None), None
    elif source is not None and (hasattr(source, "f") or isinstance(source, Touchstone)):
        source_data, source = _measured(source, None, source_port, None), None
    # Without a resistance the reference of the files is z0, else 50.
    source = _optional_number(source if source is not None else z0, "source")
    losses = (_q(inductor_q, "inductor_q"), _q(capacitor_q, "capacitor_q"))
    if yield_ is not None:
        y = _words(yield_, "yield_", "TOL:RUNS or TOL:RUNS:TARGET_DB", (2, 3))
        if y[1] != int(y[1]) or not 1 <= y[1] <= 10_000_000:
            raise ValueError("yield_: TOL must lie between 0 and 100 % and RUNS from 1 to 10000000")
        if seed is None:
            seed = 1
        elif isinstance(seed, bool) or not isinstance(seed, (int, np.integer)) or not 0 <= seed < 2**64:
            raise ValueError(f"seed: {seed!r} is not a whole number from 0 to 2^64 - 1")
        yield_ = (y[0], int(y[1]), y[2] if len(y) == 3 else None, int(seed),
                  _choice(yield_dist, "yield_dist", ("uniform", "normal")))
    elif seed is not None or yield_dist is not None:
        raise ValueError("seed and yield_dist need yield_")
    constraints = (bool(dc_path), bool(dc_block), bool(lowpass), bool(highpass),
                   _choice(first, "first", ("series", "shunt")), _choice(last, "last", ("series", "shunt")),
                   _range(l_range, "l_range"), _range(c_range, "c_range"))
    e_series = _choice(e_series, "e_series", ("E6", "E12", "E24", "E48", "E96", "E192"))
    designed = _veltrane.design(
        f_ghz, values, impedances, reference, band, int(n), source, source_impedance, source_data,
        e_series, losses[0], losses[1],
        _choice(objective, "objective", ("gain", "gamma")), constraints, yield_, model_tuple, files,
        progress,
    )
    found = json.loads(designed["json"])
    f_all = np.asarray(designed["f_ghz"], dtype=float) * 1e9
    f_all = f_all[f_all > 0]
    source_ohm = found["source_ohm"]

    def network(d):
        return None if d is None else Network(d, source_ohm, losses, f_all)

    bound = found["bound"]
    if bound is not None:
        section = bound["section"]
        bound = Limit(**dict(bound, section=None if section is None else Section(**section)))
    y = found["yield"]
    return Match(
        band_ghz=tuple(found["band_ghz"]),
        source_ohm=source_ohm,
        source=found.get("source"),
        objective=found.get("objective"),
        constraints=found.get("constraints"),
        bound=bound,
        networks=[network(d) for d in found["networks"]],
        standard=network(found["standard"]),
        yield_=None if y is None else Yield(**dict(y, share_95=tuple(y["share_95"]))),
        samples=designed["samples"],
        files={k: list(v) for k, v in designed["files"].items()},
    )
