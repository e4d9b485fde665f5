// The part library: measured impedances against the generator's closed forms, the series
// impedance of a two-port, the library's messages, measured parts in a ladder and their choice.

#include "match/designer.h"
#include "match/parts.h"
#include "match/schematic.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace veltrane::match {
namespace {

using testing::near_relative;

constexpr double two_pi = 2 * std::numbers::pi;

const PartLibrary& generated() {
    static const PartLibrary library = [] {
        auto read = read_parts(VELTRANE_PARTS_DIR);
        if (const std::string* problem = std::get_if<std::string>(&read)) {
            ADD_FAILURE() << *problem;
            return PartLibrary{};
        }
        return std::get<PartLibrary>(std::move(read));
    }();
    return library;
}

int part_named(const PartLibrary& library, const std::string& file) {
    for (std::size_t k = 0; k < library.parts.size(); ++k) {
        if (library.parts[k].file == file) {
            return static_cast<int>(k);
        }
    }
    ADD_FAILURE() << file << " not in the library";
    return 0;
}

// Expected: tools/make_parts.py's series_impedance() (the part and its pads' series L, closed
// form) at frequencies of the files' grid, worked out in Python.
TEST(Parts, GeneratedImpedanceAgainstClosedForm) {
    struct Case {
        const char* file;
        double f_ghz;
        double r, x;
    };
    const Case cases[] = {
        {"L0402_3N3.s2p", 1.0060622745, 0.43534844707960374, 21.37423084212908},
        // Above its self-resonance an inductor is a capacitor.
        {"L0402_100N.s2p", 2.9906975624, 2.497807784215448, -650.550524186303},
        {"C0402_1P0.s2p", 1.0060622745, 0.20673824525662587, -155.6673044983579},
        // Above its self-resonance a capacitor is an inductor.
        {"C0402_100P.s2p", 4.9641073326, 0.15393814962260008, 12.155551301477997},
        {"C0402_0P22.s2p", 15.135341665, 0.291662977679182, -9.758211241023922},
    };
    const PartLibrary& library = generated();
    ASSERT_EQ(library.parts.size(), 58u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const int k = part_named(library, c.file);
        const Complex z = library.impedance(k, c.f_ghz);
        EXPECT_PRED_FORMAT3(near_relative, z.real(), c.r, 1e-6);
        EXPECT_PRED_FORMAT3(near_relative, z.imag(), c.x, 1e-6);
        EXPECT_EQ(library.parts[static_cast<std::size_t>(k)].package, "0402");
    }
    // The nominal values and kinds from parts.csv.
    const Part& l33 = library.parts[static_cast<std::size_t>(part_named(library, "L0402_3N3.s2p"))];
    EXPECT_EQ(l33.kind, Kind::L);
    EXPECT_EQ(l33.value, 3.3);
}

// The figure that chooses is the aim's: on a 40 ohm load, a series wire (1 nH) reflects but
// dissipates nothing, a series 10 ohm (1.2 nH, the nearest) matches and dissipates a fifth.
TEST(Parts, ChoiceByTheAim) {
    auto library = std::make_shared<PartLibrary>();
    for (const auto& [value, z] : {std::pair{1.0, Complex{0, 0}}, std::pair{1.2, Complex{10, 0}}}) {
        library->parts.push_back({Kind::L, value, "", "", Load{{1, 2}, {z, z}}});
    }
    DesignInput input;
    input.load = Load{{1, 1.5, 2}, {40, 40, 40}};
    input.losses.parts = std::shared_ptr<const PartLibrary>(library);
    const Design design{{{Position::Series, Kind::L, 1.1}}, {}, 1};
    for (const auto& [aim, part] :
         {std::pair{DesignAim::Gamma, 1}, std::pair{DesignAim::Gain, 0}}) {
        input.aim = aim;
        const auto chosen = parts_network(design, input);
        ASSERT_TRUE(chosen);
        EXPECT_EQ(chosen->ladder[0].part, part);
    }
}

// A part's equivalent circuit over a band against the generator's constants: a capacitor's C and
// its series L (0.35 nH of the part and 0.05 nH of the pads), an inductor's L and the parallel C
// of 0.07 + 0.0004 L pF it self-resonates with; the error is the fit's own figure.
TEST(Parts, EquivalentCircuitFit) {
    struct Case {
        const char* file;
        double fl, fh;
        double l_nh, c_pf; // expected, within 3 %
        double error;      // the largest worst error accepted
    };
    const Case cases[] = {
        {"C0402_1P0.s2p", 1, 3, 0.40, 1.0, 0.002},
        {"C0402_100P.s2p", 0.3, 0.4, 0.40, 100, 0.002},
        {"L0402_3N3.s2p", 2, 3, 3.35, 0.07132, 0.005},
        {"L0402_68N.s2p", 0.295, 0.405, 68.05, 0.0972, 0.01},
    };
    const PartLibrary& library = generated();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const int k = part_named(library, c.file);
        const PartEquivalent e = fit_equivalent(library, k, c.fl, c.fh);
        EXPECT_PRED_FORMAT3(near_relative, e.l_nh, c.l_nh, 0.03);
        EXPECT_PRED_FORMAT3(near_relative, e.c_pf, c.c_pf, 0.03);
        EXPECT_GT(e.r_ohm, 0);
        EXPECT_LT(e.worst_error, c.error);
        // The stated error is the largest over the band.
        for (double f = c.fl; f <= c.fh; f += (c.fh - c.fl) / 7) {
            const Complex z = library.impedance(k, f);
            EXPECT_LE(std::abs(equivalent_impedance(library.parts[static_cast<std::size_t>(k)].kind,
                                                    e, f) -
                               z) /
                          std::abs(z),
                      e.worst_error * (1 + 1e-9));
        }
    }
}

// A pure series impedance as S (50 ohm), as Y, and as S referred to 25 and 100 ohm: the chain
// matrix's B is the impedance, and on S at 50 ohm it agrees with 2 Z0 (1 - S21) / S21.
TEST(Parts, SeriesImpedanceOfATwoPort) {
    const Complex impedances[] = {{10, 5}, {1000, -200}, {0.01, 3}};
    for (const Complex z : impedances) {
        SCOPED_TRACE(z.real());
        for (const auto& [r1, r2] : {std::pair{50.0, 50.0}, std::pair{25.0, 100.0}}) {
            // Power waves of a series z between r1 and r2 (real references).
            const Complex d = z + r1 + r2;
            const Complex s11 = (z + r2 - r1) / d, s22 = (z + r1 - r2) / d;
            const Complex s21 = 2 * std::sqrt(r1 * r2) / d;
            rf::Network network;
            network.source = "series.s2p";
            network.ports = 2;
            network.reference_ohm = {r1, r2};
            network.f_ghz = {1.0};
            network.values = {s11, s21, s21, s22};
            auto read = series_impedance(network);
            ASSERT_TRUE(std::holds_alternative<Load>(read));
            const Complex b = std::get<Load>(read).z_ohm[0];
            EXPECT_LT(std::abs(b - z), 1e-9 * std::abs(z));
            if (r1 == r2) {
                EXPECT_LT(std::abs(2 * r1 * (1.0 - s21) / s21 - b), 1e-9 * std::abs(z));
            }
        }
        rf::Network y;
        y.ports = 2;
        y.parameter = rf::Parameter::Y;
        y.reference_ohm = {50, 50};
        y.f_ghz = {1.0};
        y.values = {1.0 / z, -1.0 / z, -1.0 / z, 1.0 / z};
        EXPECT_LT(std::abs(std::get<Load>(series_impedance(y)).z_ohm[0] - z), 1e-9 * std::abs(z));
    }
}

// parts.csv and its files: each fault is a message naming the file and line.
TEST(Parts, LibraryMessages) {
    const std::string good = "# GHz S RI R 50\n1 0 0 1 0 1 0 0 0\n2 0 0 1 0 1 0 0 0\n";
    struct Case {
        const char* name;
        const char* csv; // nullptr: no parts.csv
        const char* message;
    };
    const Case cases[] = {
        {"no csv", nullptr, "Cannot read "},
        {"header", "L,1,nH,a.s2p\n", "parts.csv line 1: the first line must be"},
        {"kind", "kind,value,unit,file\n\nR,1,nH,a.s2p\n",
         "parts.csv line 3: kind \"R\" is not L or C"},
        {"value", "kind,value,unit,file\nL,-1,nH,a.s2p\n",
         "parts.csv line 2: value \"-1\" is not a positive number"},
        {"unit", "kind,value,unit,file\nL,1,pF,a.s2p\n", "line 2: unit \"pF\" is not nH or uH"},
        {"too large", "kind,value,unit,file\nC,1e306,nF,a.s2p\n",
         "value \"1e306\" nF is too large"},
        {"fields", "kind,value,unit,file\nL,1,nH\n", "line 2: not kind,value,unit,file[,package]"},
        {"missing file", "kind,value,unit,file\nC,1,pF,gone.s2p\n", "line 2: Cannot read "},
        {"one port", "kind,value,unit,file\nC,1,pF,one.s1p\n", "one.s1p has 1 port, not 2"},
        {"empty", "kind,value,unit,file,package\n", "parts.csv: no parts"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        testing::write_bytes(dir / "a.s2p", good);
        testing::write_bytes(dir / "one.s1p", "# GHz S RI R 50\n1 0 0\n");
        if (c.csv != nullptr) {
            testing::write_bytes(dir / "parts.csv", c.csv);
        }
        auto read = read_parts(dir.path().string());
        ASSERT_TRUE(std::holds_alternative<std::string>(read));
        EXPECT_NE(std::get<std::string>(read).find(c.message), std::string::npos)
            << std::get<std::string>(read);
    }
    // A good line, its values converted, a point at DC (nothing passes) left out; and a band the
    // file does not cover.
    testing::TempDir dir;
    testing::write_bytes(dir / "a.s2p", "# GHz S RI R 50\n0 1 0 0 0 0 0 1 0\n" + good.substr(16));
    testing::write_bytes(dir / "parts.csv",
                         "kind,value,unit,file,package\r\nL,0.1,uH,a.s2p,0603\r\n");
    auto read = read_parts(dir.path().string());
    ASSERT_TRUE(std::holds_alternative<PartLibrary>(read)) << std::get<std::string>(read);
    const PartLibrary& library = std::get<PartLibrary>(read);
    EXPECT_EQ(library.parts[0].value, 100.0);
    EXPECT_EQ(library.parts[0].package, "0603");
    EXPECT_FALSE(library.uncovered(1, 2));
    EXPECT_EQ(library.uncovered(1.5, 2.5).value_or(""),
              "a.s2p does not cover the band 1.5 to 2.5 GHz (it holds 1 to 2 GHz)");
    EXPECT_TRUE(library.uncovered(0.5, 1.5));
}

// An element with a part takes the part's impedance: in the line, or to ground.
TEST(Parts, MeasuredElementInTheLadder) {
    const auto library = std::make_shared<const PartLibrary>(generated());
    Losses losses;
    losses.parts = library;
    const int k = part_named(*library, "L0402_100N.s2p");
    const double f = 2.5;
    const Complex z = library->impedance(k, f);
    // Far from the ideal 100 nH near its self-resonance.
    ASSERT_GT(std::abs(z - Complex{0, two_pi * f * 100}), 100.0);
    const Abcd series = chain_matrix({{Position::Series, Kind::L, 100, k}}, f, losses);
    EXPECT_LT(std::abs(series.b - z), 1e-12 * std::abs(z));
    EXPECT_EQ(series.c, Complex{});
    const Abcd shunt = chain_matrix({{Position::Shunt, Kind::L, 100, k}}, f, losses);
    EXPECT_LT(std::abs(shunt.c - 1.0 / z), 1e-12 / std::abs(z));
    EXPECT_EQ(branch_impedance({Position::Shunt, Kind::L, 100, k}, f, losses), z);
    // The schematic names the part by file and package.
    const SchematicLayout layout =
        schematic_layout({{Position::Series, Kind::L, 100, k}, {Position::Shunt, Kind::L, 100}}, 50,
                         "antenna", 1000, losses);
    EXPECT_EQ(layout.parts[0].label, "L1 100 nH L0402_100N.s2p 0402");
    EXPECT_EQ(layout.parts[1].label, "L2 100 nH");
    // Without a part, the ideal element even with the library at hand.
    EXPECT_EQ(chain_matrix({{Position::Series, Kind::L, 100}}, f, losses).b,
              (Complex{0, two_pi * f * 100}));
    // A value 10 % over the nominal (the yield's variation) scales the measured impedance: an
    // inductor's up, a capacitor's down.
    const int c = part_named(*library, "C0402_1P0.s2p");
    const Complex zc = library->impedance(c, f);
    EXPECT_LT(std::abs(branch_impedance({Position::Series, Kind::L, 110, k}, f, losses) - 1.1 * z),
              1e-12 * std::abs(z));
    EXPECT_LT(std::abs(branch_impedance({Position::Series, Kind::C, 1.1, c}, f, losses) - zc / 1.1),
              1e-12 * std::abs(zc));
}

// The parts chosen are never worse than the part of nearest nominal value for each element, keep
// the ladder's shape and the ranges, and beat the nearest where a neighbour's parasitics help.
TEST(Parts, ChoiceNeverWorseThanNearest) {
    const auto library = std::make_shared<const PartLibrary>(generated());
    struct Case {
        const char* name;
        Ladder ladder;
        Complex load; // R + jX at the band's centre, as a series R-L or R-C
        double fl, fh;
        DesignAim aim;
        std::optional<Range> c_pf;
    };
    const Case cases[] = {
        {"shunt C series L at 2.45 GHz",
         {{Position::Shunt, Kind::C, 2.1}, {Position::Series, Kind::L, 4.1}},
         {15, -5},
         2.3,
         2.6,
         DesignAim::Gamma,
         std::nullopt},
        {"high-pass tee near 5 GHz",
         {{Position::Series, Kind::C, 0.9},
          {Position::Shunt, Kind::L, 2.6},
          {Position::Series, Kind::C, 1.3}},
         {12, 20},
         4.5,
         5.5,
         DesignAim::Gain,
         std::nullopt},
        {"large L near its resonance",
         {{Position::Series, Kind::L, 36}, {Position::Shunt, Kind::C, 4.4}},
         {300, -40},
         0.9,
         1.1,
         DesignAim::Gamma,
         Range{3.0, 4.0}},
    };
    int better = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DesignInput input;
        const double centre = (c.fl + c.fh) / 2;
        for (int i = 0; i <= 40; ++i) {
            const double f = c.fl + (c.fh - c.fl) * i / 40;
            input.load.f_ghz.push_back(f);
            input.load.z_ohm.push_back({c.load.real(), c.load.imag() > 0
                                                           ? c.load.imag() * f / centre
                                                           : c.load.imag() * centre / f});
        }
        input.losses.parts = library;
        input.aim = c.aim;
        input.constraints.c_pf = c.c_pf;
        const Design design{c.ladder, evaluate(c.ladder, input.load, 50, input.losses), 0};
        const auto chosen = parts_network(design, input);
        ASSERT_TRUE(chosen);
        // The nearest part (by ratio) of each element, worked out here.
        Ladder nearest = c.ladder;
        for (Element& e : nearest) {
            double distance = HUGE_VAL;
            for (std::size_t k = 0; k < library->parts.size(); ++k) {
                const Part& p = library->parts[k];
                const bool allowed = !(e.kind == Kind::C && c.c_pf) ||
                                     (p.value >= c.c_pf->lo && p.value <= c.c_pf->hi);
                if (p.kind == e.kind && allowed &&
                    std::fabs(std::log(p.value / e.value)) < distance) {
                    distance = std::fabs(std::log(p.value / e.value));
                    e.part = static_cast<int>(k);
                }
            }
        }
        const Figures near = evaluate(nearest, input.load, 50, input.losses);
        const double score =
            c.aim == DesignAim::Gain ? -chosen->figures.gain_db : chosen->figures.worst_gamma;
        const double near_score = c.aim == DesignAim::Gain ? -near.gain_db : near.worst_gamma;
        EXPECT_LE(score, near_score);
        better += score < near_score - 1e-6 ? 1 : 0;
        ASSERT_EQ(chosen->ladder.size(), c.ladder.size());
        for (std::size_t k = 0; k < c.ladder.size(); ++k) {
            const Element& e = chosen->ladder[k];
            ASSERT_GE(e.part, 0);
            const Part& p = library->parts[static_cast<std::size_t>(e.part)];
            EXPECT_EQ(e.kind, c.ladder[k].kind);
            EXPECT_EQ(p.kind, e.kind);
            EXPECT_EQ(e.position, c.ladder[k].position);
            EXPECT_EQ(e.value, p.value);
            if (e.kind == Kind::C && c.c_pf) {
                EXPECT_TRUE(p.value >= c.c_pf->lo && p.value <= c.c_pf->hi) << p.value;
            }
        }
        // The figures are those of the measured parts.
        const Figures again = evaluate(chosen->ladder, input.load, 50, input.losses);
        EXPECT_EQ(again.worst_gamma, chosen->figures.worst_gamma);
    }
    EXPECT_GE(better, 1);
}

// The parasitic model against the hand formulas Z = (R + jwL) || 1/(jwCp), Cp = 1/(w_srf^2 L),
// and Z = ESR + jw ESL + 1/(jwC), worked out in Python; in the line and to ground.
TEST(Parasitics, ImpedanceByHand) {
    struct Case {
        const char* name;
        Element element;
        double f_ghz;
        Losses losses;
        Complex z;
    };
    Losses srf5;
    srf5.inductor_srf_ghz = 5;
    Losses srf6_q40 = Losses{PartQ{40, 1}, std::nullopt};
    srf6_q40.inductor_srf_ghz = 6;
    Losses esl_esr;
    esl_esr.capacitor_esl_nh = 0.5;
    esl_esr.capacitor_esr_ohm = 0.3;
    const Case cases[] = {
        {"L below resonance", {Position::Series, Kind::L, 10}, 2, srf5, {0, 149.59965017094254}},
        {"L above resonance", {Position::Shunt, Kind::L, 10}, 8, srf5, {0, -322.21463113741464}},
        {"L with Q",
         {Position::Series, Kind::L, 3.3},
         2.45,
         srf6_q40,
         {1.1685500023671551, 60.96080956633082}},
        {"C below resonance", {Position::Shunt, Kind::C, 2}, 3, esl_esr, {0.3, -17.10104588787985}},
        {"C above resonance", {Position::Series, Kind::C, 2}, 6, esl_esr, {0.3, 5.586643997214145}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Complex z = branch_impedance(c.element, c.f_ghz, c.losses);
        EXPECT_NEAR(z.real(), c.z.real(), 1e-9 * std::abs(c.z));
        EXPECT_NEAR(z.imag(), c.z.imag(), 1e-9 * std::abs(c.z));
        const Abcd m = chain_matrix({c.element}, c.f_ghz, c.losses);
        const Complex in_ladder = c.element.position == Position::Series ? m.b : 1.0 / m.c;
        EXPECT_LT(std::abs(in_ladder - c.z), 1e-9 * std::abs(c.z));
    }
}

// The designer's objective computes a capacitor's series L and R per value: its |Gamma_in|^2
// agrees with the ladder's evaluated one at every sample, with and without the parasitics.
TEST(Parasitics, DesignerObjectiveAgreesWithLadder) {
    DesignInput input;
    for (int i = 0; i <= 10; ++i) {
        const double f = 2 + 0.2 * i;
        input.load.f_ghz.push_back(f);
        input.load.z_ohm.push_back({20, two_pi * f * 2});
    }
    const double values[] = {1.5, 2.2, 0.8};
    Losses all = Losses{PartQ{50, 1}, PartQ{200, 1}};
    all.inductor_srf_ghz = 7;
    all.capacitor_esl_nh = 0.4;
    all.capacitor_esr_ohm = 0.2;
    Losses esl_only;
    esl_only.capacitor_esl_nh = 0.6;
    for (const Losses& losses : {all, esl_only, Losses{}}) {
        input.losses = losses;
        const design_detail::Objective objective(input);
        for (const Position first : {Position::Series, Position::Shunt}) {
            const design_detail::Shape shape{first, {Kind::C, Kind::L, Kind::C}};
            Ladder ladder;
            for (std::size_t k = 0; k < 3; ++k) {
                ladder.push_back({shape.position(k), shape.kinds[k], values[k]});
            }
            for (std::size_t i = 0; i < input.load.f_ghz.size(); ++i) {
                const Abcd m = chain_matrix(ladder, input.load.f_ghz[i], losses);
                const double gamma =
                    std::abs(reflection(input_impedance(m, input.load.z_ohm[i]), 50));
                EXPECT_NEAR(objective.at(i, shape, values), gamma * gamma, 1e-12);
            }
        }
    }
}

} // namespace
} // namespace veltrane::match
