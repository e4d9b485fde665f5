// The searched RL against a fine scan of fixed RLs: for every RL of the scan, the best fit with
// that RL given can be no better than the best fit with RL searched, on rippled data made here
// and on the example file.

#include "rf/best_fit.h"
#include "rf/fit.h"
#include "rf/touchstone.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace veltrane::rf {
namespace {

PortData rippled(int samples) {
    const LumpedModel antenna{Topology::ParallelSeries, 4.2, 1.1, 0.9, 4.7, 62.0};
    std::vector<double> f_ghz;
    for (int i = 0; i < samples; ++i) {
        f_ghz.push_back(1.5 + 2.0 * i / (samples - 1));
    }
    PortData data = sweep(antenna, f_ghz, 50.0);
    for (std::size_t i = 0; i < data.s.size(); ++i) {
        const double phase = 37.0 * f_ghz[i];
        data.s[i] += 0.03 * Complex(std::cos(phase), std::sin(phase)) * std::sin(3.1 * f_ghz[i]);
    }
    return data;
}

PortData measured(const std::string& path, int port) {
    auto network = read_touchstone_file(path);
    if (const auto* message = std::get_if<std::string>(&network)) {
        ADD_FAILURE() << *message;
        return {};
    }
    auto data = port_data(std::get<Network>(network), port);
    if (const auto* message = std::get_if<std::string>(&data)) {
        ADD_FAILURE() << *message;
        return {};
    }
    return std::get<PortData>(data);
}

double largest(const std::variant<BestFit, std::string>& result) {
    if (const auto* message = std::get_if<std::string>(&result)) {
        ADD_FAILURE() << *message;
        return 0.0;
    }
    return std::get<BestFit>(result).best.front().max_error;
}

struct ScanCase {
    const char* name;
    std::function<PortData()> data;
    double rl_lo, rl_hi; // the scan: equal ratios of 1 % between these
};

const ScanCase scan_cases[] = {
    {"Rippled", [] { return rippled(25); }, 20.0, 400.0},
    {"Example", [] { return measured(VELTRANE_SOURCE_DIR "/examples/antenna.s1p", 1); }, 30.0,
     45.0},
};

class RlSearchAgainstScan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(RlSearchAgainstScan, NeverLosesToAFixedRl) {
    const PortData data = GetParam().data();
    ASSERT_GE(data.f_ghz.size(), 2U);
    const double searched = largest(best_fit(data, {}));
    double scanned = std::numeric_limits<double>::infinity();
    double at = 0.0;
    for (double rl = GetParam().rl_lo; rl <= GetParam().rl_hi; rl *= 1.01) {
        BestFitOptions options;
        options.rl_ohm = rl;
        const double fixed = largest(best_fit(data, options));
        if (fixed < scanned) {
            scanned = fixed;
            at = rl;
        }
    }
    SCOPED_TRACE("best fixed RL " + std::to_string(at));
    EXPECT_LE(searched, scanned * (1 + 1e-9));
}

INSTANTIATE_TEST_SUITE_P(Cases, RlSearchAgainstScan, ::testing::ValuesIn(scan_cases),
                         [](const auto& info) { return std::string{info.param.name}; });

} // namespace
} // namespace veltrane::rf
