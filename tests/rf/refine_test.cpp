// The five-parameter refinement against an independent optimiser: NLopt's COBYLA on the same
// largest error written as a bound every sample's error must stay under.

#include "rf/best_fit.h"
#include "rf/fit.h"
#include "rf/refine.h"
#include "rf/response.h"
#include "rf/touchstone.h"

#include <gtest/gtest.h>
#include <nlopt.hpp>

#include <cmath>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace veltrane::rf {
namespace {

PortData rippled(const LumpedModel& model, double ripple) {
    std::vector<double> f_ghz;
    for (int i = 0; i <= 200; ++i) {
        f_ghz.push_back(1.5 + 0.01 * i);
    }
    PortData data = sweep(model, f_ghz, 50.0);
    for (std::size_t i = 0; i < data.s.size(); ++i) {
        const double phase = 37.0 * f_ghz[i];
        data.s[i] += ripple * Complex(std::cos(phase), std::sin(phase)) * std::sin(3.1 * f_ghz[i]);
    }
    return data;
}

PortData example() {
    auto network = read_touchstone_file(VELTRANE_SOURCE_DIR "/examples/antenna.s1p");
    if (const auto* message = std::get_if<std::string>(&network)) {
        ADD_FAILURE() << *message;
        return {};
    }
    return std::get<PortData>(port_data(std::get<Network>(network), 1));
}

struct Sample {
    double f_ghz;
    Complex gamma;
};

struct Problem {
    const LumpedModel* start;
    std::vector<Sample> samples;
};

LumpedModel model_of(const LumpedModel& start, const std::vector<double>& x) {
    return {start.topology,
            std::copysign(std::exp(x[0]), start.ls_nh),
            std::copysign(std::exp(x[1]), start.cs_pf),
            std::copysign(std::exp(x[2]), start.lp_nh),
            std::copysign(std::exp(x[3]), start.cp_pf),
            std::exp(x[4])};
}

// Variables: the five logarithms and the bound t; minimise t with |error_i| - t <= 0.
double independent_minimax(const LumpedModel& start, const PortData& data) {
    Problem problem{&start, {}};
    for (std::size_t i = 0; i < data.f_ghz.size(); ++i) {
        problem.samples.push_back({data.f_ghz[i], rereferred(data.s[i], data.reference_ohm, 50)});
    }
    nlopt::opt opt(nlopt::LN_COBYLA, 6);
    opt.set_min_objective([](unsigned, const double* x, double*, void*) { return x[5]; }, nullptr);
    std::vector<std::pair<Problem*, std::size_t>> rows;
    for (std::size_t i = 0; i < problem.samples.size(); ++i) {
        rows.emplace_back(&problem, i);
    }
    for (auto& row : rows) {
        opt.add_inequality_constraint(
            [](unsigned, const double* x, double*, void* data) {
                const auto* r = static_cast<std::pair<Problem*, std::size_t>*>(data);
                const Sample& s = r->first->samples[r->second];
                const LumpedModel m = model_of(*r->first->start, std::vector<double>(x, x + 5));
                return std::abs(model_reflection(m, s.f_ghz, 50) - s.gamma) - x[5];
            },
            &row, 0.0);
    }
    std::vector<double> x = {std::log(std::fabs(start.ls_nh)), std::log(std::fabs(start.cs_pf)),
                             std::log(std::fabs(start.lp_nh)), std::log(std::fabs(start.cp_pf)),
                             std::log(start.rl_ohm)};
    x.push_back(fit_all(start, data, 50)->max * 1.01);
    opt.set_initial_step(0.05);
    opt.set_xtol_rel(1e-10);
    opt.set_maxeval(20000);
    double value = 0.0;
    try {
        opt.optimize(x, value);
    } catch (const std::exception&) {
        // A roundoff stop keeps the best point found.
    }
    return fit_all(model_of(start, x), data, 50)->max;
}

struct RefineCase {
    const char* name;
    std::function<PortData()> data;
};

const RefineCase refine_cases[] = {
    {"Example", example},
    {"RippledParallelSeries",
     [] {
         return rippled({Topology::ParallelSeries, 4.2, 1.1, 0.9, 4.7, 62.0}, 0.03);
     }},
    {"RippledSeriesParallel",
     [] {
         return rippled({Topology::SeriesParallel, 2.0, 3.0, 5.0, 1.2, 40.0}, 0.02);
     }},
};

class Refinement : public ::testing::TestWithParam<RefineCase> {};

TEST_P(Refinement, WithinFivePercentOfAnIndependentOptimum) {
    const PortData data = GetParam().data();
    BestFitOptions options;
    options.rl_ohm = 50.0;
    const auto found = best_fit(data, options);
    ASSERT_TRUE(std::holds_alternative<BestFit>(found));
    std::vector<LumpedModel> starts;
    for (const Candidate& c : std::get<BestFit>(found).best) {
        starts.push_back(LumpedModel::from(c.state, c.choice.topology));
    }
    const auto refined = refine(starts, data, 50, {});
    ASSERT_TRUE(refined);
    const double best_start = std::get<BestFit>(found).best.front().max_error;
    EXPECT_LT(refined->fit.max, best_start);
    EXPECT_EQ(refined->fit.max, fit_all(refined->model, data, 50)->max);
    double independent = best_start;
    for (const LumpedModel& start : starts) {
        independent = std::min(independent, independent_minimax(start, data));
    }
    SCOPED_TRACE("independent " + std::to_string(independent) + ", refined " +
                 std::to_string(refined->fit.max) + ", start " + std::to_string(best_start));
    EXPECT_LE(refined->fit.max, independent * 1.05);
    // Every element kept its sign.
    EXPECT_GT(refined->model.ls_nh * starts.front().ls_nh, 0.0);
    EXPECT_GT(refined->model.cp_pf * starts.front().cp_pf, 0.0);
    // The rms over every sample, summed here.
    double sum = 0;
    for (std::size_t i = 0; i < data.f_ghz.size(); ++i) {
        sum += std::norm(model_reflection(refined->model, data.f_ghz[i], 50) -
                         rereferred(data.s[i], data.reference_ohm, 50));
    }
    EXPECT_NEAR(refined->fit.rms, std::sqrt(sum / static_cast<double>(data.f_ghz.size())), 1e-12);
    // The better of two starts is kept, whichever comes first.
    if (starts.size() > 1) {
        const auto from_best = refine({starts.front()}, data, 50, {});
        const auto worst_first = refine({starts.back(), starts.front()}, data, 50, {});
        EXPECT_LE(worst_first->fit.max, from_best->fit.max);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Refinement, ::testing::ValuesIn(refine_cases),
                         [](const auto& info) { return std::string{info.param.name}; });

} // namespace
} // namespace veltrane::rf
