"""read_touchstone, best_fit and match against veltrane-calc --json on the same files, the
scikit-rf interop on scikit-rf's own measured files, errors, progress and cancellation."""

import pathlib
import threading

import numpy as np
import pytest

import veltrane
from conftest import EXAMPLES, as_json, run_calc

ANTENNA = EXAMPLES / "antenna.s1p"
MATCH_LOAD = EXAMPLES / "match_load.s1p"


def test_read_touchstone_gives_the_file():
    data = veltrane.read_touchstone(ANTENNA)
    assert data.s.shape == (201, 1, 1) and data.f.shape == (201,)
    assert data.f[0] == 1.5e9 and data.f[-1] == 3.5e9
    assert data.s[1, 0, 0] == 0.702444 - 0.598544j
    assert list(data.z0) == [50.0]
    assert data.comments.splitlines()[0] == "Veltrane example: a 2.45 GHz antenna as a network analyser measures it"


# Y and Z files come out as S referred to each port's reference, as scikit-rf holds them.
CONVERTED = [
    ("OnePortZ", "z.s1p", "# GHz Z RI R 50\n1 1 -2\n", np.array([[(50 - 100j - 50) / (50 - 100j + 50)]])),
    ("OnePortY", "y.s1p", "# GHz Y RI R 25\n1 2 0.5\n", np.array([[(1 - 25 * (0.08 + 0.02j)) / (1 + 25 * (0.08 + 0.02j))]])),
    # A 100 ohm resistor across the line, then in series with it, between ports of 50 and 75 ohm:
    # the reflections of 100 || 75 against 50 and of 100 || 50 against 75, and so on.
    ("TwoPortZUnequalReferences", "r.ts",
     "[Version] 2.0\n# GHz Z RI R 50\n[Number of Ports] 2\n[Two-Port Data Order] 12_21\n"
     "[Number of Frequencies] 1\n[Reference] 50 75\n"
     "[Network Data]\n1 100 0 100 0 100 0 100 0\n[End]\n",
     np.array([[-1 / 13, 8 / 13 * 1.5 ** 0.5], [8 / 13 * 1.5 ** 0.5, -5 / 13]])),
    ("TwoPortYUnequalReferences", "q.ts",
     "[Version] 2.0\n# GHz Y RI R 50\n[Number of Ports] 2\n[Two-Port Data Order] 12_21\n"
     "[Number of Frequencies] 1\n[Reference] 50 75\n"
     "[Network Data]\n1 0.01 0 -0.01 0 -0.01 0 0.01 0\n[End]\n",
     np.array([[5 / 9, 2 * 3750 ** 0.5 / 225], [2 * 3750 ** 0.5 / 225, 1 / 3]])),
]


@pytest.mark.parametrize("name,file,text,expected", CONVERTED, ids=[c[0] for c in CONVERTED])
def test_touchstone_parameters_convert_to_s(tmp_path, name, file, text, expected):
    path = tmp_path / file
    path.write_text(text)
    data = veltrane.read_touchstone(path)
    assert data.s[0] == pytest.approx(expected, rel=1e-12, abs=1e-12)
    # The reflection the calculation takes at port 1 is the converted S11.
    assert data._port(1)[1][0] == pytest.approx(data.s[0, 0, 0], rel=1e-12, abs=1e-12)


BAD_FILES = [
    ("Missing", None, "Cannot read "),
    ("NoPortCount", ("a.txt", "1 0.5 0\n"), "the number of ports is not known"),
    ("BadNumber", ("b.s1p", "# GHz S RI\n1 0.5 x\n"), "b.s1p line 2: "),
]


@pytest.mark.parametrize("name,file,message", BAD_FILES, ids=[c[0] for c in BAD_FILES])
def test_bad_files_stop_with_the_readers_message(tmp_path, name, file, message):
    path = tmp_path / "missing.s1p"
    if file is not None:
        path = tmp_path / file[0]
        path.write_text(file[1])
    with pytest.raises(veltrane.Stop, match=message):
        veltrane.read_touchstone(path)


# name, file, options as on the command line (after --best-fit), keyword arguments
BEST_FITS = [
    ("RlGivenInRange", ANTENNA, ["--rl", 50.0, "--fmin", 2.2, "--fmax", 2.7], dict(rl=50.0, fmin=2.2, fmax=2.7)),
    ("RlSearchedRefined", ANTENNA, ["--rl", "auto", "--fmin", 2.2, "--fmax", 2.7, "--refine"],
     dict(fmin=2.2, fmax=2.7, refine=True)),
    ("OtherReference", ANTENNA, ["--rl", 40.0, "--z0", 75.0, "--fmin", 2.3, "--fmax", 2.6], dict(rl=40.0, z0=75.0, fmin=2.3, fmax=2.6)),
    # Refined: the warnings are the refined model's (its band differs from the best pair's).
    ("NegativeAllowedRefined", ANTENNA, ["--rl", 20.0, "--allow-negative", "--fmin", 1.5, "--fmax", 1.8, "--refine"],
     dict(rl=20.0, allow_negative=True, fmin=1.5, fmax=1.8, refine=True)),
    # The second port of scikit-rf's two-port example, port 1 terminated in its reference.
    ("SecondPortOfTwoPort", "ntwk1.s2p", ["--port", 2, "--rl", 50.0, "--allow-negative"], dict(port=2, rl=50.0, allow_negative=True)),
    ("RangeWithOneSample", ANTENNA, ["--rl", 50.0, "--fmin", 2.2, "--fmax", 2.2], dict(rl=50.0, fmin=2.2, fmax=2.2)),
]


@pytest.mark.parametrize("name,file,options,kwargs", BEST_FITS, ids=[c[0] for c in BEST_FITS])
def test_best_fit_gives_what_the_command_line_gives(name, file, options, kwargs):
    if isinstance(file, str):
        file = pathlib.Path(pytest.importorskip("skrf").data.pwd) / file
    expected = run_calc("--touchstone", str(file), "--best-fit", *options)
    data = veltrane.read_touchstone(file)
    if not expected["best_fit"]:
        with pytest.raises(veltrane.Stop) as stop:
            veltrane.best_fit(data, **kwargs)
        assert str(stop.value) == expected["message"]
        return
    found = veltrane.best_fit(data, **kwargs)
    assert as_json(found.candidates) == expected["best_fit"]
    assert as_json(found.refined) == expected.get("refined")
    assert found.warnings == expected.get("warnings", [])
    assert found.thinned == expected.get("best_fit_thinned", 0)


def test_best_fit_takes_impedances_and_networks_alike():
    data = veltrane.read_touchstone(ANTENNA)
    by_network = veltrane.best_fit(data, rl=50.0, fmin=2.2, fmax=2.7)
    by_arrays = veltrane.best_fit(data.f, data.z_port(1), rl=50.0, fmin=2.2, fmax=2.7)
    assert [c.f1_ghz for c in by_arrays.candidates] == [c.f1_ghz for c in by_network.candidates]
    assert by_arrays.best.ls_nh == pytest.approx(by_network.best.ls_nh, rel=1e-9)


# name, command-line options, keyword arguments of match()
MATCHES = [
    ("DataWithStandardAndYield", ["--touchstone", MATCH_LOAD, "--match", 3, "--band", "0.295:0.405",
                                  "--match-e-series", "E24", "--yield", "5:200"],
     dict(n=3, band=(0.295, 0.405), e_series="E24", yield_=(5, 200))),
    ("DataLossyOtherSource", ["--touchstone", MATCH_LOAD, "--match", 2, "--band", "0.3:0.4", "--source", 25.0,
                              "--inductor-q", "50@0.35", "--capacitor-q", "200@0.35"],
     dict(n=2, band="0.3:0.4", source=25.0, inductor_q="50@0.35", capacitor_q=(200, 0.35))),
    # --z0 is the source, the data's reflections stay referred to their own 50 ohm.
    ("DataOtherReference", ["--touchstone", MATCH_LOAD, "--match", 2, "--band", "0.3:0.4", "--z0", 75.0],
     dict(n=2, band=(0.3, 0.4), z0=75.0)),
    ("ObjectiveGammaWithLossyParts", ["--touchstone", MATCH_LOAD, "--match", 2, "--band", "0.3:0.4",
                                      "--inductor-q", "30@0.35", "--match-objective", "gamma"],
     dict(n=2, band=(0.3, 0.4), inductor_q=(30, 0.35), objective="gamma")),
    ("DcBlockFirstShuntLRange", ["--touchstone", MATCH_LOAD, "--match", 3, "--band", "0.3:0.4", "--dc-block",
                                 "--first", "shunt", "--l-range", "1:50"],
     dict(n=3, band=(0.3, 0.4), dc_block=True, first="shunt", l_range=(1, 50))),
    ("LowpassLastSeriesCRange", ["--touchstone", MATCH_LOAD, "--match", 3, "--band", "0.3:0.4", "--lowpass",
                                 "--last", "series", "--c-range", "0.5:20"],
     dict(n=3, band=(0.3, 0.4), lowpass=True, last="series", c_range="0.5:20")),
    ("HighpassDcPath", ["--touchstone", MATCH_LOAD, "--match", 2, "--band", "0.3:0.4", "--highpass"],
     dict(n=2, band=(0.3, 0.4), highpass=True)),
    ("YieldSeedNormal", ["--touchstone", MATCH_LOAD, "--match", 2, "--band", "0.3:0.4", "--yield", "3:300:15",
                         "--seed", 18446744073709551615, "--yield-dist", "normal"],
     dict(n=2, band=(0.3, 0.4), yield_="3:300:15", seed=2**64 - 1, yield_dist="normal")),
    ("SizesThatGainNothing", ["--touchstone", MATCH_LOAD, "--match", 6, "--band", "0.34:0.36"],
     dict(n=6, band=(0.34, 0.36))),
    ("ComplexSource", ["--touchstone", MATCH_LOAD, "--match", 2, "--band", "0.3:0.4", "--source", "30+j20"],
     dict(n=2, band=(0.3, 0.4), source=30 + 20j)),
    ("ComplexSourceText", ["--touchstone", MATCH_LOAD, "--match", 2, "--band", "0.3:0.4", "--source", "12-j8",
                           "--z0", 75.0],
     dict(n=2, band=(0.3, 0.4), source="12 - j8", z0=75.0)),
]


@pytest.mark.parametrize("name,options,kwargs", MATCHES, ids=[c[0] for c in MATCHES])
def test_match_gives_what_the_command_line_gives(name, options, kwargs):
    expected = run_calc(*[str(o) if isinstance(o, pathlib.Path) else o for o in options])["match"]
    found = veltrane.match(veltrane.read_touchstone(MATCH_LOAD), **kwargs)
    got = as_json(found)
    got["yield"] = got.pop("yield_")
    del got["samples"], got["files"]
    assert got == expected


def test_match_to_a_measured_source_gives_what_the_command_line_gives():
    source = EXAMPLES / "transceiver.s1p"
    expected = run_calc("--touchstone", str(ANTENNA), "--match", 3, "--band", "2.3:2.6",
                        "--source-touchstone", str(source))["match"]
    # The file as read, and as impedances worked out apart (equal to rounding).
    for given, exact in ((veltrane.read_touchstone(source), True), (_impedances(source), False)):
        got = as_json(veltrane.match(veltrane.read_touchstone(ANTENNA), n=3, band=(2.3, 2.6),
                                     source=given))
        assert got["source"] == {"kind": "file", "file": "source", "port": 1}
        assert got["bound"] is None
        if exact:
            assert got["networks"] == expected["networks"]
        worst = [n["worst_gamma"] for n in got["networks"]]
        assert worst == pytest.approx([n["worst_gamma"] for n in expected["networks"]], rel=1e-6)


def _impedances(path):
    """(f_hz, z) of a one-port file, by hand."""
    rows = [line.split() for line in open(path) if line[:1].isdigit()]
    f = [float(r[0]) * 1e9 for r in rows]
    s = [complex(float(r[1]), float(r[2])) for r in rows]
    return f, [50 * (1 + g) / (1 - g) for g in s]


def test_match_writes_the_files_veltrane_calc_writes(tmp_path):
    names = {"s2p": "m.s2p", "s1p": "m.s1p", "spice": "m.cir", "plot": "m.svg"}
    (tmp_path / "calc").mkdir()
    (tmp_path / "py").mkdir()
    options = ["--touchstone", str(MATCH_LOAD), "--match", 2, "--band", "0.3:0.4", "--inductor-q", "50@0.35"]
    for kind, name in names.items():
        options += [f"--match-{kind}", str(tmp_path / "calc" / name)]
    expected = run_calc(*options)["match_files"]
    found = veltrane.match(veltrane.read_touchstone(MATCH_LOAD), n=2, band=(0.3, 0.4), inductor_q=(50, 0.35),
                           **{f"match_{kind}": tmp_path / "py" / name for kind, name in names.items()})
    assert found.files == {"written": [p.replace("/calc/", "/py/") for p in expected["written"]], "messages": []}
    for name in names.values():
        assert (tmp_path / "py" / name).read_bytes() == (tmp_path / "calc" / name).read_bytes(), name
    # A file that cannot be written is told, the others are written.
    found = veltrane.match(veltrane.read_touchstone(MATCH_LOAD), n=1, band=(0.3, 0.4),
                           match_s2p=tmp_path / "none" / "m.s2p", match_spice=tmp_path / "py" / "n.cir")
    assert found.files["written"] == [str(tmp_path / "py" / "n.cir")]
    assert found.files["messages"][0].startswith("Cannot write " + str(tmp_path / "none" / "m.s2p"))


# name, the calculation's options, whether the data is matched (the model then among the sections
# fitted for the bound), and its band
MODEL_MATCHES = [
    ("ModelAlone", ["--f1", 1.0, "--r1", 1.0, "--x1", 0.0, "--f2", 2.0, "--r2", 1.1, "--x2", 0.0, "--rl", 2.0,
                    "--f1-crossover", "inductive", "--f2-crossover", "capacitive", "--topology", "parallel-series"],
     False, None),
    ("ModelOfTheData", ["--touchstone", MATCH_LOAD, "--f1", 0.3, "--f2", 0.4, "--rl", 40.0, "--f1-crossover",
                        "inductive", "--f2-crossover", "capacitive", "--topology", "series-parallel"],
     True, (0.3, 0.4)),
]


@pytest.mark.parametrize("name,options,with_data,band", MODEL_MATCHES, ids=[c[0] for c in MODEL_MATCHES])
def test_match_of_a_calculated_model_gives_what_the_command_line_gives(name, options, with_data, band):
    words = [str(o) if isinstance(o, pathlib.Path) else o for o in options] + ["--match", 2]
    if band:
        words += ["--band", f"{band[0]}:{band[1]}"]
    calc = run_calc(*words)
    value = dict(zip(words[::2], words[1::2]))
    z1, z2 = ((p["r"] + 1j * p["x"]) for p in calc["points"]) if with_data else (value["--r1"], value["--r2"])
    result = veltrane.calculate(value["--f1"], z1, value["--f2"], z2, value["--rl"],
                                f1_crossover=value["--f1-crossover"], f2_crossover=value["--f2-crossover"],
                                topology=value["--topology"])
    data = (veltrane.read_touchstone(MATCH_LOAD),) if with_data else ()
    got = as_json(veltrane.match(*data, model=result, n=2, band=band))
    got["yield"] = got.pop("yield_")
    del got["samples"], got["files"]
    assert got["bound"] is not None
    assert got == calc["match"]


def test_match_takes_impedances_as_the_network():
    data = veltrane.read_touchstone(MATCH_LOAD)
    kwargs = dict(n=2, band=(0.3, 0.4), dc_block=True)
    by_network = veltrane.match(data, **kwargs)
    by_arrays = veltrane.match(data.f, data.z_port(1), **kwargs)
    assert [n.worst_rl_db for n in by_arrays.networks] == pytest.approx([n.worst_rl_db for n in by_network.networks],
                                                                       rel=1e-9)
    assert by_arrays.bound.section.kind == by_network.bound.section.kind
    assert [(e.position, e.kind) for e in by_arrays.chosen.elements] == [
        (e.position, e.kind) for e in by_network.chosen.elements]
    assert [e.value for e in by_arrays.chosen.elements] == pytest.approx(
        [e.value for e in by_network.chosen.elements], rel=1e-5)  # the search stops within this


def test_network_s_parameters_agree_with_scikit_rf_cascading():
    skrf = pytest.importorskip("skrf")
    data = veltrane.read_touchstone(MATCH_LOAD)
    found = veltrane.match(data, n=3, band=(0.295, 0.405), inductor_q=(40, 0.35))
    network = found.networks[-1]
    two_port = network.to_skrf()
    assert isinstance(two_port, skrf.Network)
    assert np.array_equal(two_port.f, data.f) and two_port.s.shape == (len(data.f), 2, 2)
    # The ladder in front of the load, cascaded by scikit-rf, is the module's matched input.
    load = data.to_skrf()
    matched = network.cascade_with(load)
    cascaded = two_port ** load
    assert matched.s[:, 0, 0] == pytest.approx(cascaded.s[:, 0, 0], rel=1e-9, abs=1e-12)
    in_band = (data.f >= 0.295e9) & (data.f <= 0.405e9)
    assert np.max(np.abs(matched.s[in_band, 0, 0])) == pytest.approx(network.worst_gamma, rel=1e-9)
    # A lossless ladder is reciprocal and lossless; a lossy one is only reciprocal.
    s = network.s([0.35e9])[0]
    assert s[0, 1] == pytest.approx(s[1, 0])
    assert abs(s[0, 0]) ** 2 + abs(s[1, 0]) ** 2 < 1


SKRF_FILES = [("ring slot measured.s1p", 1), ("ntwk1.s2p", 2), ("tee.s3p", 3)]


@pytest.mark.parametrize("file,port", SKRF_FILES, ids=[f[0] for f in SKRF_FILES])
def test_scikit_rf_networks_are_taken_as_read(file, port):
    skrf = pytest.importorskip("skrf")
    path = pathlib.Path(skrf.data.pwd) / file
    network = skrf.Network(str(path))
    ours = veltrane.read_touchstone(path)
    assert ours.f == pytest.approx(network.f, rel=1e-15)
    assert ours.s == pytest.approx(network.s, rel=1e-12, abs=1e-15)
    lo, hi = network.f[len(network.f) // 4] / 1e9, network.f[len(network.f) // 2] / 1e9
    kwargs = dict(port=port, rl=50.0, fmin=lo, fmax=hi, allow_negative=True)
    try:
        theirs = veltrane.best_fit(network, **kwargs)
    except veltrane.Stop as stop:
        with pytest.raises(veltrane.Stop, match=str(stop)):
            veltrane.best_fit(ours, **kwargs)
        return
    mine = veltrane.best_fit(ours, **kwargs)
    assert [(c.f1_ghz, c.topology) for c in theirs.candidates] == pytest.approx(
        [(c.f1_ghz, c.topology) for c in mine.candidates])
    assert theirs.best.max == pytest.approx(mine.best.max, rel=1e-9)


# Arguments that cannot be used: ValueError in the command line's words; what the data cannot
# give: Stop with the program's message.
MATCH_ERRORS = [
    ("TooManyElements", dict(n=9, band=(0.3, 0.4)), ValueError, "n: 9 is not a number of elements from 1 to 8"),
    ("NoElements", dict(n=0, band=(0.3, 0.4)), ValueError, "n: 0 is not a number of elements from 1 to 8"),
    ("BandReversed", dict(band=(0.4, 0.3)), ValueError, "band: FL must be above 0 and FH above FL"),
    ("BandText", dict(band="0.3-0.4"), ValueError, 'band: "0.3-0.4" is not FL:FH in GHz'),
    ("NoBand", dict(), ValueError, "band: give band"),
    ("UnknownSeries", dict(band=(0.3, 0.4), e_series="E7"), ValueError, r"e_series: E7 not in \{E6,E12,E24,E48,E96,E192\}"),
    ("BadQ", dict(band=(0.3, 0.4), inductor_q="fifty"), ValueError, 'inductor_q: "fifty" is not Q@GHZ'),
    ("NegativeQ", dict(band=(0.3, 0.4), capacitor_q=(-5, 1)), ValueError, "capacitor_q: Q and the frequency must be positive"),
    ("YieldTolerance", dict(band=(0.3, 0.4), yield_=(100, 10)), ValueError, "yield_: TOL must lie between 0 and 100 %"),
    ("YieldRuns", dict(band=(0.3, 0.4), yield_="5:0.5"), ValueError, "yield_: TOL must lie between"),
    ("YieldRunsBeyondAnyInteger", dict(band=(0.3, 0.4), yield_=(5, 1e30)), ValueError, "yield_: TOL must lie between"),
    ("ElementsBeyondAnyInteger", dict(band=(0.3, 0.4), n=10**30), ValueError, "n: 10+ is not a number"),
    ("SourceZero", dict(band=(0.3, 0.4), source=0), ValueError, "source: 0 is not a positive resistance"),
    ("BandOutsideData", dict(band=(2.5, 3.5)), veltrane.Stop, r"The band 2.5 to 3.5 GHz lies outside the data \(0.01 to 3 GHz\)"),
    ("FirstWord", dict(band=(0.3, 0.4), first="parallel"), ValueError, r"first: parallel not in \{series,shunt\}"),
    ("ObjectiveWord", dict(band=(0.3, 0.4), objective="loss"), ValueError, r"objective: loss not in \{gain,gamma\}"),
    ("LRangeReversed", dict(band=(0.3, 0.4), l_range=(50, 1)), ValueError, "l_range: .* is not MIN:MAX with 0 < MIN <= MAX"),
    ("CRangeText", dict(band=(0.3, 0.4), c_range="1-2"), ValueError, 'c_range: "1-2" is not MIN:MAX'),
    ("LowpassAndHighpass", dict(band=(0.3, 0.4), lowpass=True, highpass=True), ValueError,
     "A ladder cannot be both low-pass and high-pass"),
    ("SeedWithoutYield", dict(band=(0.3, 0.4), seed=3), ValueError, "seed and yield_dist need yield_"),
    ("SeedNegative", dict(band=(0.3, 0.4), yield_=(5, 10), seed=-1), ValueError, "seed: -1 is not a whole number"),
    ("SeedBeyond64Bits", dict(band=(0.3, 0.4), yield_=(5, 10), seed=2**64), ValueError, "seed: .* is not a whole number"),
    ("DistributionWord", dict(band=(0.3, 0.4), yield_=(5, 10), yield_dist="gauss"), ValueError,
     r"yield_dist: gauss not in \{uniform,normal\}"),
    ("NoLadderMeetsTheConstraints", dict(n=1, band=(0.3, 0.4), dc_block=True, first="shunt"), veltrane.Stop,
     r"No ladder of 1 to 1 elements meets the constraints \(DC block, first shunt\)"),
    ("BandBetweenSamples", dict(band=(0.3001, 0.3002)), veltrane.Stop, "Only 0 samples of the data lie in the band"),
    ("BandBeyondTheRange", dict(band=(1e-308, 2e-308)), veltrane.Stop,
     r"The band 1e-308 to 2e-308 GHz is out of range \(1e-06 to 1e\+06 GHz\)"),
    ("SourceBeyondTheRange", dict(band=(0.3, 0.4), source=5e-324), veltrane.Stop,
     r"The source resistance 5e-324 ohm is out of range \(0.001 to 1e\+06 ohm\)"),
    ("InductorQBeyondTheRange", dict(band=(0.3, 0.4), inductor_q=(1e12, 0.35)), veltrane.Stop, r"inductor_q: Q 1e\+12 is out of range"),
]


@pytest.mark.parametrize("name,kwargs,error,message", MATCH_ERRORS, ids=[c[0] for c in MATCH_ERRORS])
def test_match_errors(name, kwargs, error, message):
    data = veltrane.read_touchstone(MATCH_LOAD)
    with pytest.raises(error, match=message):
        veltrane.match(data, **kwargs)


DATA_ERRORS = [
    ("Unequal", ([1e9, 2e9], [50, 60, 70]), "differ in number"),
    ("Falling", ([2e9, 1e9], [50, 60]), "strictly rising"),
    ("NanImpedance", ([1e9, 2e9], [50, complex("nan")]), "finite"),
    ("NoPort", ("network-port-3", None), "port: 3 is not a port"),
]


@pytest.mark.parametrize("name,args,message", DATA_ERRORS, ids=[c[0] for c in DATA_ERRORS])
def test_data_errors_raise_value_error(name, args, message):
    if args[0] == "network-port-3":
        with pytest.raises(ValueError, match=message):
            veltrane.best_fit(veltrane.read_touchstone(ANTENNA), rl=50.0, port=3)
        return
    with pytest.raises(ValueError, match=message):
        veltrane.best_fit(*args, rl=50.0)


def test_progress_is_told_and_stops_the_search():
    data = veltrane.read_touchstone(ANTENNA)
    shares = []
    veltrane.best_fit(data, fmin=2.3, fmax=2.6, progress=shares.append)
    assert shares and all(0 <= a <= b <= 1 for a, b in zip(shares, shares[1:]))
    with pytest.raises(veltrane.Stop, match="The search was stopped"):
        veltrane.best_fit(data, fmin=2.3, fmax=2.6, progress=lambda done: False)

    class Cancelled(Exception):
        pass

    def cancel(done):
        raise Cancelled()

    with pytest.raises(Cancelled):
        veltrane.best_fit(data, fmin=2.3, fmax=2.6, progress=cancel)
    with pytest.raises(Cancelled):
        veltrane.match(veltrane.read_touchstone(MATCH_LOAD), n=4, band=(0.3, 0.4), progress=cancel)


def test_searches_release_the_gil():
    data = veltrane.read_touchstone(ANTENNA)
    search = threading.Thread(target=veltrane.best_fit, args=(data,), kwargs=dict(fmin=2.3, fmax=2.6))
    turns = 0
    search.start()
    while search.is_alive():
        turns += 1
    search.join()
    assert turns > 1000
