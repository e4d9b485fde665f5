// What the measured-data window decides without Qt: numbers for people in ASCII or typographic
// form, the word a row is marked with, undo and redo over the model, the best-fit entry shown,
// and the results lines beside the calculator's own texts.

#include "rf/choices.h"
#include "views/evaluation.h"
#include "views/model_history.h"
#include "views/model_summary.h"
#include "views/people_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace veltrane::views {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(PeopleText, SiPrefixPutsOneToAThousandBeforeTheUnit) {
    struct Case {
        double value;
        const char* unit;
        Typography style;
        std::string text;
    };
    const Case cases[] = {
        {1.142e-10, "H", Typography::Typographic, "114.2 pH"}, // 0.114 nH in the calculator
        {3.2e-15, "F", Typography::Typographic, "3.2 fF"},
        {1.5e-9, "H", Typography::Typographic, "1.5 nH"},
        {2.2e-6, "H", Typography::Typographic, "2.2 \u00b5H"},
        {2.2e-6, "H", Typography::Ascii, "2.2 uH"},
        {1e11, "Hz", Typography::Ascii, "100 GHz"},
        {9.99996e-10, "F", Typography::Ascii, "1 nF"}, // rounds up into the next prefix
        {999.94e-12, "F", Typography::Ascii, "999.9 pF"},
        {-1.14e-13, "H", Typography::Ascii, "-114 fH"},
        {1e-18, "H", Typography::Ascii, "0.001 fH"},   // below femto: femto still
        {4.7e12, "Hz", Typography::Ascii, "4700 GHz"}, // above giga: giga still
        {0.0, "F", Typography::Ascii, "0 F"},
        {nan, "F", Typography::Ascii, "-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(si_text(c.value, c.unit, c.style), c.text);
    }
}

TEST(PeopleText, ComplexTextTakesTheSignBitAndTheStyle) {
    struct Case {
        rf::Complex z;
        Typography style;
        std::string complex;
        std::string impedance;
    };
    const Case cases[] = {
        {{30.6829, -32.4467}, Typography::Ascii, "30.6829 - j32.4467", "30.6829 - j32.4467 ohm"},
        {{30.6829, -32.4467},
         Typography::Typographic,
         "30.6829 \u2212 j32.4467",
         "30.6829 \u2212 j32.4467 \u03a9"},
        {{50, 12.5}, Typography::Ascii, "50 + j12.5", "50 + j12.5 ohm"},
        {{1, -0.0}, Typography::Ascii, "1 - j0", "1 - j0 ohm"},
        {{nan, 2}, Typography::Ascii, "- + j2", "- + j2 ohm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.complex);
        EXPECT_EQ(complex_text(c.z, c.style), c.complex);
        EXPECT_EQ(impedance_text(c.z, c.style), c.impedance);
    }
}

TEST(PeopleText, AsciiTextWritesTheWindowsSignsPlainly) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"max |\u0394\u0393| 0.02 at 2.4 GHz", "max |dGamma| 0.02 at 2.4 GHz"},
        {"30.7 \u2212 j32.4 \u03a9", "30.7 - j32.4 ohm"},
        {"RL \u2265 51.9 \u03a9, 0 < RL \u2264 11.8", "RL >= 51.9 ohm, 0 < RL <= 11.8"},
        {"Ls 2.2 \u00b5H \u00b7 \u2014 \u2026", "Ls 2.2 uH - - ..."},
        {"|\u0393| and \u0394f", "|Gamma| and df"},
        {"\u65e5 \xc3", "? ?"}, // a sign it does not know, a cut character
        {"plain", "plain"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out);
        EXPECT_EQ(ascii_text(c.in), c.out);
    }
}

Result state(double ls, double cs, double lp, double cp) {
    Result r;
    r.Ls = ls;
    r.Cs = cs;
    r.Lp = lp;
    r.Cp = cp;
    return r;
}

TEST(RowMark, NamesWhatMakesAModelUntrustworthy) {
    struct Case {
        const char* name;
        std::variant<Result, std::string> outcome;
        std::vector<std::string> warnings;
        std::string mark;
    };
    const Case cases[] = {
        {"four positive elements", state(1, 2, 3, 4), {}, ""},
        {"a negative Ls", state(-0.114, 2, 3, 4), {}, "negative"},
        {"a negative Cp", state(1, 2, 3, -4), {}, "negative"},
        {"a negative element outweighs a warning",
         state(1, -2, 3, 4),
         {"Cs acts as a short over the data"},
         "negative"},
        {"a zero element", state(1, 0, 3, 4), {}, "degenerate"},
        {"an element not finite", state(1, 2, nan, 4), {}, "degenerate"},
        {"an element acting as a short",
         state(1, 401346, 3, 4),
         {"Cs acts as a short over the data"},
         "degenerate"},
        {"a resonance outside the data",
         state(1, 2, 3, 4),
         {"F0 = 3573650 MHz lies outside the data"},
         "warning"},
        {"the calculator's message", std::string("RL must be > 51.9"), {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChoiceRow row{rf::all_choices[0], c.outcome, std::nullopt, std::nullopt, c.warnings};
        EXPECT_EQ(row_mark(row), c.mark);
    }
}

ModelState model(double f1, double rl, int row = 0) {
    return {{f1, 3.0}, rl, rf::all_choices[static_cast<std::size_t>(row)]};
}

// A sequence of changes, undos and redos, each with the state it must show.
TEST(ModelHistory, UndoAndRedoWalkTheChanges) {
    enum class Op { Change, Undo, Redo };
    struct Step {
        Op op;
        ModelState to;                    // Change: the new state
        std::optional<ModelState> expect; // Undo/Redo: what comes back
    };
    const ModelState a = model(1, 50);
    const ModelState b = model(2, 50);
    const ModelState c = model(2, 75);
    const ModelState d = model(2, 75, 3);
    const Step steps[] = {
        {Op::Undo, {}, std::nullopt}, // nothing to undo yet
        {Op::Change, b, {}},
        {Op::Change, c, {}},
        {Op::Undo, {}, b},
        {Op::Undo, {}, a},
        {Op::Undo, {}, std::nullopt}, // at the start
        {Op::Redo, {}, b},
        {Op::Change, d, {}},
        {Op::Redo, {}, std::nullopt}, // a new change drops what was undone
        {Op::Undo, {}, b},
        {Op::Redo, {}, d},
    };
    ModelHistory history;
    ModelState shown = a;
    int k = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(k++);
        if (step.op == Op::Change) {
            history.record(shown);
            shown = step.to;
            continue;
        }
        const auto back = step.op == Op::Undo ? history.undo(shown) : history.redo(shown);
        EXPECT_EQ(back, step.expect);
        if (back) {
            shown = *back;
        }
    }
}

TEST(ModelHistory, KeepsOnlyTheDepthAndForgetsOnClear) {
    ModelHistory history;
    for (std::size_t k = 0; k <= ModelHistory::depth; ++k) {
        history.record(model(static_cast<double>(k), 50));
    }
    std::optional<ModelState> last;
    std::size_t undone = 0;
    ModelState shown = model(-1, 50);
    while (const auto back = history.undo(shown)) {
        last = shown = *back;
        ++undone;
    }
    EXPECT_EQ(undone, ModelHistory::depth);
    EXPECT_EQ(last, model(1, 50)); // the oldest, state 0, was forgotten
    history.clear();
    EXPECT_FALSE(history.can_redo());
    EXPECT_FALSE(history.can_undo());
}

TEST(ShownCandidate, OnlyTheEntryWithTheModelShown) {
    std::vector<rf::Candidate> list(3);
    for (std::size_t k = 0; k < list.size(); ++k) {
        list[k].f1_ghz = 1.0 + static_cast<double>(k);
        list[k].f2_ghz = 3.0;
        list[k].rl_ohm = 63.45;
        list[k].choice = rf::all_choices[k];
    }
    struct Case {
        ModelState shown;
        std::optional<std::size_t> entry;
    };
    const Case cases[] = {
        {{{2.0, 3.0}, 63.45, rf::all_choices[1]}, 1},
        {{{2.0, 3.0}, 50.0, rf::all_choices[1]}, std::nullopt},  // RL typed over it
        {{{2.0, 3.0}, 63.45, rf::all_choices[2]}, std::nullopt}, // another row chosen
        {{{2.0, 3.5}, 63.45, rf::all_choices[1]}, std::nullopt}, // F2 moved
        {{{3.0, 3.0}, 63.45, rf::all_choices[2]}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry.value_or(99));
        EXPECT_EQ(shown_candidate(list, c.shown), c.entry);
    }
}

// The results beside the calculator's texts: the row and its mark first, the warnings right under
// it, the band in GHz, element values the calculator rounds to 0.000 with an SI prefix.
TEST(ModelSummary, SaysTheRowAndGivesGhzAndSiValues) {
    rf::PortData data{"d.s1p", 1, 50, {}, {}};
    Evaluation evaluation;
    evaluation.points[0].f_ghz = 80;
    evaluation.points[0].z_ohm = {20, -5};
    evaluation.points[1].f_ghz = 120;
    evaluation.points[1].z_ohm = {20, 5};
    for (const Choice& choice : rf::all_choices) {
        evaluation.rows.push_back({choice, std::string("RL must be > 51.9"), {}, {}, {}});
    }
    Result tiny = state(-1.142e-4, 0.5, 25, 3.2e-3);
    tiny.FL = 95000;
    tiny.FH = 100550;
    tiny.F0 = 97740;
    evaluation.rows[2].outcome = tiny;
    evaluation.rows[2].warnings = {"F0 lies outside the data"};
    const Summary summary =
        model_summary({&evaluation, &data, rf::all_choices[2], 50, 50, std::nullopt});
    const std::string all = text(summary.lines);
    SCOPED_TRACE(all);
    ASSERT_GE(summary.lines.size(), 3u);
    EXPECT_EQ(summary.lines[0].text,
              "Row 3, " + choice_label(rf::all_choices[2]) + ", RL = 50 \u03a9: negative");
    EXPECT_EQ(summary.lines[1].text, "Warning: F0 lies outside the data");
    struct Case {
        const char* shown;
    };
    const Case cases[] = {
        {"(-114.2 fH)"}, // Ls -1.142e-4 nH
        {"(3.2 fF)"},    // Cp 3.2e-3 pF
        {"(500 fF)"},    // Cs 0.5 pF: the calculator shows 0.500
        {"(100.55 GHz)"}, {"(95 GHz)"}, {"(97.74 GHz)"},
    };
    for (const Case& c : cases) {
        EXPECT_NE(all.find(c.shown), std::string::npos) << c.shown;
    }
    EXPECT_EQ(all.find("(25 nH)"), std::string::npos); // Lp shows whole in nH
}

} // namespace
} // namespace veltrane::views
