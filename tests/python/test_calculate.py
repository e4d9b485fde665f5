"""veltrane.calculate against veltrane-calc --json on the same inputs, and its argument errors."""

import math

import pytest

import veltrane
from conftest import run_calc

IND, CAP = "inductive", "capacitive"
PS, SP = "parallel-series", "series-parallel"

# name, (f1_ghz, z1, f2_ghz, z2, rl), (f1_crossover, f2_crossover, topology)
CALCULATIONS = [
    ("WorkedExample", (1.0, 1 + 0j, 2.0, 1.1 + 0j, 2.0), (IND, CAP, PS)),
    ("AntennaParSer", (2.2, 30.6829 - 32.4467j, 2.7, 48.25 + 21.5j, 60.0), (CAP, IND, PS)),
    ("AntennaSerPar", (2.27, 27.5 - 20.125j, 2.63, 41.0 + 30.5j, 36.002256986514105), (CAP, IND, SP)),
    # Inputs that no short decimal writes: the module must pass them on to the last bit.
    ("UnroundedInputs", (0.1 + 0.2, 1 / 3 - 1j / 7, 2 / 3, 0.4 + 0.1j, 2 ** 0.5), (IND, CAP, PS)),
    ("TinyAndHuge", (1e-3, 1e-6 + 1e-7j, 1e3, 1e6 - 1e5j, 1e7), (CAP, CAP, PS)),
    ("NoChoices", (1.0, 1 + 0j, 2.0, 1.1 + 0j, 2.0), (None, None, None)),
    ("NoTopology", (1.0, 1 + 0j, 2.0, 1.1 + 0j, 2.0), (IND, CAP, None)),
    ("RlBelowR2", (1.0, 1 + 0j, 2.0, 1.1 + 0j, 1.0), (IND, CAP, PS)),
    ("EqualFrequencies", (1.0, 1 + 0j, 1.0, 1.1 + 0j, 2.0), (IND, CAP, PS)),
    ("NegativeResistance", (1.0, -1 + 0j, 2.0, 1.1 + 0j, 2.0), (IND, IND, SP)),
]


def cli_args(inputs, choices):
    f1, z1, f2, z2, rl = inputs
    args = ["--f1", f1, "--r1", z1.real, "--x1", z1.imag, "--f2", f2, "--r2", z2.real, "--x2", z2.imag, "--rl", rl]
    for option, word in zip(("--f1-crossover", "--f2-crossover", "--topology"), choices):
        if word is not None:
            args += [option, word]
    return args


@pytest.mark.parametrize("name,inputs,choices", CALCULATIONS, ids=[c[0] for c in CALCULATIONS])
def test_calculate_gives_what_the_command_line_gives(name, inputs, choices):
    expected = run_calc(*cli_args(inputs, choices))
    kwargs = dict(zip(("f1_crossover", "f2_crossover", "topology"), choices))
    if expected["message"] is not None:
        with pytest.raises(veltrane.Stop) as stop:
            veltrane.calculate(*inputs, **kwargs)
        assert str(stop.value) == expected["message"]
        return
    result = veltrane.calculate(*inputs, **kwargs)
    assert {f"{s}_txt": t for s, t in result.texts.items()} == expected["fields"]
    # Each full-precision value rounds to the text shown, and is the quantity named.
    for symbol, quantity in result.quantities.items():
        decimals = len(quantity.text.strip().partition(".")[2])
        assert quantity.symbol == symbol
        assert math.isclose(float(quantity), float(quantity.text), rel_tol=1e-12, abs_tol=0.5 * 10 ** -decimals + 1e-12), symbol
    assert (result.f1_crossover, result.f2_crossover, result.topology) == choices
    assert result.report.count("\r\n") == 18


def test_result_units_and_model():
    result = veltrane.calculate(1.0, 1, 2.0, 1.1, 2.0, f1_crossover=IND, f2_crossover=CAP, topology=PS)
    assert {s: q.unit for s, q in result.quantities.items()} == {
        "Ls": "nH", "Cs": "pF", "Lp": "nH", "Cp": "pF", "Q1": "", "Q2": "", "Q0": "", "FL": "MHz", "FH": "MHz", "F0": "MHz"}
    model = result.model
    # The model meets its own points: its impedance at F1 and F2 is what was typed.
    z = model.z([1e9, 2e9])
    assert z[0] == pytest.approx(1 + 0j, abs=1e-9)
    assert z[1] == pytest.approx(1.1 + 0j, abs=1e-9)


# Arguments that cannot be used: ValueError in the command line's words, never a crash.
BAD_ARGUMENTS = [
    ("NanFrequency", (math.nan, 1, 2, 1.1, 2), {}, "f1_ghz: nan is not a finite number"),
    ("InfiniteLoad", (1, 1, 2, 1.1, math.inf), {}, "rl: inf is not a finite number"),
    ("InfiniteReactance", (1, complex(1, -math.inf), 2, 1.1, 2), {}, "z1: -inf is not a finite number"),
    ("TextImpedance", (1, "abc", 2, 1.1, 2), {}, "z1: 'abc' is not a number"),
    ("NoneFrequency", (1, 1, None, 1.1, 2), {}, "f2_ghz: None is not a number"),
    ("UnknownCrossover", (1, 1, 2, 1.1, 2), {"f1_crossover": "sideways"}, r"f1_crossover: sideways not in \{inductive,capacitive\}"),
    ("UnknownF2Crossover", (1, 1, 2, 1.1, 2), {"f2_crossover": "Inductive"}, r"f2_crossover: Inductive not in"),
    ("UnknownTopology", (1, 1, 2, 1.1, 2), {"topology": "ladder"}, r"topology: ladder not in \{parallel-series,series-parallel\}"),
]


@pytest.mark.parametrize("name,args,kwargs,message", BAD_ARGUMENTS, ids=[c[0] for c in BAD_ARGUMENTS])
def test_bad_arguments_raise_value_error(name, args, kwargs, message):
    with pytest.raises(ValueError, match=message):
        veltrane.calculate(*args, **kwargs)
