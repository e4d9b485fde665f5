// The best fit on many samples: pairs chosen among fewer, the best moved to its best
// neighbouring pair, everything judged on every sample; stoppable in every phase.

#include "rf/best_fit.h"
#include "rf/fit.h"
#include "rf/model_impedance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <variant>
#include <vector>

namespace veltrane::rf {
namespace {

PortData rippled(std::size_t samples) {
    const LumpedModel antenna{Topology::ParallelSeries, 4.2, 1.1, 0.9, 4.7, 62.0};
    std::vector<double> f_ghz;
    for (std::size_t i = 0; i < samples; ++i) {
        f_ghz.push_back(1.5 + 2.0 * static_cast<double>(i) / static_cast<double>(samples - 1));
    }
    PortData data = sweep(antenna, f_ghz, 50.0);
    for (std::size_t i = 0; i < samples; ++i) {
        const double phase = 37.0 * f_ghz[i];
        data.s[i] += 0.03 * Complex(std::cos(phase), std::sin(phase)) * std::sin(3.1 * f_ghz[i]);
    }
    return data;
}

// Every `stride`-th sample, as the thinned search sees them.
PortData every(const PortData& data, std::size_t stride) {
    PortData thin = data;
    thin.f_ghz.clear();
    thin.s.clear();
    for (std::size_t i = 0; i < data.f_ghz.size(); i += stride) {
        thin.f_ghz.push_back(data.f_ghz[i]);
        thin.s.push_back(data.s[i]);
    }
    return thin;
}

struct LargeCase {
    const char* name;
    std::optional<double> rl_ohm;
    std::size_t samples, stride, thinned;
};

const LargeCase large_cases[] = {
    {"RlGiven", 62.0, 4001, 10, best_fit_thinned},
    // Just above the threshold as many samples as just below it, not every second one.
    {"RlGivenJustAbove", 62.0, best_fit_thin_above + 2, 2, best_fit_thinned},
    // A size the thinned count does not divide: the last sample among them all the same.
    {"RlGivenSizeNotDividing", 62.0, 4002, 11, best_fit_thinned},
    {"RlSearched", std::nullopt, 501, 5, best_fit_thinned_searched},
};

class LargeFile : public ::testing::TestWithParam<LargeCase> {};

// Judged on every sample, and at least as good as the best pair of the thinned samples alone.
TEST_P(LargeFile, ThinnedThenRefinedOnEverySample) {
    const LargeCase& c = GetParam();
    const PortData data = rippled(c.samples);
    BestFitOptions options;
    options.rl_ohm = c.rl_ohm;
    const auto result = best_fit(data, options);
    ASSERT_TRUE(std::holds_alternative<BestFit>(result)) << std::get<std::string>(result);
    const BestFit& fit = std::get<BestFit>(result);
    EXPECT_EQ(fit.thinned, c.thinned);
    EXPECT_EQ(fit.samples, c.samples);
    ASSERT_FALSE(fit.best.empty());
    for (const Candidate& candidate : fit.best) {
        const auto all =
            fit_all(LumpedModel::from(candidate.state, candidate.choice.topology), data, 50);
        EXPECT_EQ(candidate.max_error, all->max);
    }
    // No neighbouring pair (one sample either way at either end) gives a model of the same kind
    // that fits better on every sample: the refinement ends where no move improves.
    const Candidate& chosen = fit.best.front();
    for (int da = -1; da <= 1 && c.rl_ohm; ++da) {
        for (int db = -1; db <= 1; ++db) {
            const auto a = static_cast<std::ptrdiff_t>(chosen.i1) + da;
            const auto b = static_cast<std::ptrdiff_t>(chosen.i2) + db;
            if ((da == 0 && db == 0) || a < 0 || a >= b || b >= std::ssize(data.f_ghz)) {
                continue;
            }
            const Complex za = impedance_from_reflection(data.s[a], data.reference_ohm);
            const Complex zb = impedance_from_reflection(data.s[b], data.reference_ohm);
            const auto solved =
                solve(inputs_from_ghz(data.f_ghz[a], za.real(), za.imag(), data.f_ghz[b], zb.real(),
                                      zb.imag(), chosen.rl_ohm),
                      chosen.choice);
            if (const auto* state = std::get_if<Result>(&solved);
                state != nullptr && all_positive(*state) == chosen.positive) {
                SCOPED_TRACE(::testing::Message() << "pair " << a << ", " << b);
                EXPECT_GE(fit_all(LumpedModel::from(*state, chosen.choice.topology), data, 50)->max,
                          chosen.max_error);
            }
        }
    }
    const auto coarse = best_fit(every(data, c.stride), options);
    ASSERT_TRUE(std::holds_alternative<BestFit>(coarse));
    const Candidate& first = std::get<BestFit>(coarse).best.front();
    const auto coarse_on_all =
        fit_all(LumpedModel::from(first.state, first.choice.topology), data, 50);
    EXPECT_LE(fit.best.front().max_error, coarse_on_all->max);
}

INSTANTIATE_TEST_SUITE_P(Cases, LargeFile, ::testing::ValuesIn(large_cases),
                         [](const auto& info) { return std::string{info.param.name}; });

// A stop asked for in the thinned search or in the refinement ends the search with its message;
// the shares stay within 0 to 1 and rise.
TEST(LargeFile, StopsInEitherPhase) {
    const PortData data = rippled(4001);
    BestFitOptions options;
    options.rl_ohm = 62.0;
    for (const double stop_above : {0.5, 0.95}) {
        SCOPED_TRACE(stop_above);
        double last = -1.0;
        bool rising = true;
        const auto result = best_fit(data, options, [&](double done) {
            rising = rising && done >= last && done <= 1.0;
            last = done;
            return done < stop_above;
        });
        ASSERT_TRUE(std::holds_alternative<std::string>(result));
        EXPECT_EQ(std::get<std::string>(result), best_fit_stopped);
        EXPECT_TRUE(rising);
        EXPECT_GE(last, stop_above);
    }
}

} // namespace
} // namespace veltrane::rf
