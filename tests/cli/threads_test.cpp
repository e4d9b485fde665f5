// The same bytes for any number of threads: veltrane-calc's searches (the best fit, the network
// designer and its standard values) with --threads 1, 2 and 4.

#include "cli_test_support.h"

#include "parallel/pool.h"
#include "rf/fit.h"
#include "rf/numbers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace veltrane::cli {
namespace {

using Args = std::vector<std::string>;

// An antenna-like load with a fixture ripple: near-equal candidates, so that rows of pairs
// finishing in another order would show.
std::string rippled_file(std::size_t samples) {
    const rf::LumpedModel antenna{Topology::ParallelSeries, 4.2, 1.1, 0.9, 4.7, 62.0};
    std::vector<double> f_ghz;
    for (std::size_t i = 0; i < samples; ++i) {
        f_ghz.push_back(1.5 + 2.0 * static_cast<double>(i) / static_cast<double>(samples - 1));
    }
    const rf::PortData data = rf::sweep(antenna, f_ghz, 50.0);
    std::string bytes = "# GHz S RI R 50\n";
    for (std::size_t i = 0; i < samples; ++i) {
        const double phase = 37.0 * f_ghz[i];
        const rf::Complex s = data.s[i] + 0.03 * rf::Complex(std::cos(phase), std::sin(phase)) *
                                              std::sin(3.1 * f_ghz[i]);
        bytes += rf::shortest(f_ghz[i]) + " " + rf::shortest(s.real()) + " " +
                 rf::shortest(s.imag()) + "\n";
    }
    return bytes;
}

class Threads : public ::testing::Test {
  protected:
    void TearDown() override { parallel::set_threads(0); }
    testing::TempDir dir_;
};

TEST_F(Threads, SameBytesOnOneTwoAndFour) {
    struct Case {
        const char* name;
        std::size_t samples;
        Args args; // after --touchstone FILE
    };
    const Case cases[] = {
        {"EveryPairRlGiven", 161, {"--best-fit", "--rl", "62", "--refine"}},
        {"ThinnedRlGiven", 803, {"--best-fit", "--rl", "62"}},
        {"EveryPairRlSearched", 61, {"--best-fit", "--rl", "auto", "--refine"}},
        {"MatchWithStandardValues",
         201,
         {"--match", "5", "--band", "2.2:2.7", "--match-e-series", "E12"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = (dir_ / (std::string{c.name} + ".s1p")).string();
        testing::write_bytes(file, rippled_file(c.samples));
        std::string first;
        for (const char* threads : {"1", "2", "4"}) {
            SCOPED_TRACE(threads);
            Args args = {"--touchstone", file, "--no-report", "--json", "--threads", threads};
            args.insert(args.end(), c.args.begin(), c.args.end());
            const testing::CalcRun run = testing::calc(args);
            ASSERT_EQ(run.status, exit_results) << run.err;
            if (first.empty()) {
                first = run.out;
            } else {
                EXPECT_EQ(run.out, first);
            }
        }
    }
}

} // namespace
} // namespace veltrane::cli
