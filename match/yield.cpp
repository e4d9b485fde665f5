// The yield of a network: every part varied within its tolerance, many times, on the pool.

#include "match/design.h"

#include "parallel/pool.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <random>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace veltrane::match {

std::string_view distribution_name(YieldDistribution d) {
    return d == YieldDistribution::Normal ? "normal" : "uniform";
}

std::pair<double, double> share_interval(long meeting, long runs) {
    if (runs < 1) {
        return {0.0, 1.0};
    }
    constexpr double z = 1.959963984540054; // two-sided 95 %
    const double n = static_cast<double>(runs);
    const double p = static_cast<double>(meeting) / n;
    const double centre = (p + z * z / (2 * n)) / (1 + z * z / n);
    const double half = z / (1 + z * z / n) * std::sqrt(p * (1 - p) / n + z * z / (4 * n * n));
    return {std::max(0.0, centre - half), std::min(1.0, centre + half)};
}

std::vector<double> yield_runs(const Ladder& ladder, const Load& load, double source_ohm,
                               const Losses& losses, double tolerance_percent, long runs,
                               std::uint64_t seed, YieldDistribution distribution, unsigned threads,
                               const Progress& progress) {
    std::vector<double> rl(static_cast<std::size_t>(std::max(runs, 0L)));
    const long blocks = (runs + yield_block - 1) / yield_block;
    std::vector<char> block_done(static_cast<std::size_t>(std::max(blocks, 0L)), 0);
    std::atomic<long> runs_done{0};
    const double t = tolerance_percent / 100;
    const auto block = [&](long b) {
        // The first block from `seed` itself: the runs of a small yield are those of a plain
        // generator seeded with it. Every block depends only on its index, so the runs are the
        // same on any number of threads.
        std::mt19937_64 rng(seed + 0x9E3779B97F4A7C15ULL * static_cast<std::uint64_t>(b));
        const long end = std::min(runs, (b + 1) * yield_block);
        for (long r = b * yield_block; r < end; ++r) {
            Ladder varied = ladder;
            for (Element& element : varied) {
                if (distribution == YieldDistribution::Uniform) {
                    element.value *= 1 + t * (2 * unit_uniform(rng()) - 1);
                } else {
                    // Box-Muller from two uniforms in (0, 1]: the same on every platform.
                    const double u = 1 - unit_uniform(rng());
                    const double v = unit_uniform(rng());
                    const double normal =
                        std::sqrt(-2 * std::log(u)) * std::cos(2 * std::numbers::pi * v);
                    element.value *= std::max(1e-6, 1 + t / 3 * normal);
                }
            }
            rl[static_cast<std::size_t>(r)] =
                evaluate(varied, load, source_ohm, losses).worst_rl_db;
            ++runs_done;
        }
        block_done[static_cast<std::size_t>(b)] = 1;
    };
    const auto share_done = [&] {
        return static_cast<double>(runs_done.load()) / static_cast<double>(runs);
    };
    if (threads == 1 || blocks <= 1) {
        for (long b = 0; b < blocks; ++b) {
            if (progress && !progress(share_done())) {
                break;
            }
            block(b);
        }
    } else {
        std::function<bool()> poll;
        if (progress) {
            poll = [&] { return progress(share_done()); };
        }
        parallel::run(
            static_cast<std::size_t>(blocks), [&](std::size_t b) { block(static_cast<long>(b)); },
            poll);
    }
    if (std::find(block_done.begin(), block_done.end(), 0) != block_done.end()) {
        // Stopped: the runs of the blocks done, in their order.
        std::vector<double> done;
        for (long b = 0; b < blocks; ++b) {
            if (block_done[static_cast<std::size_t>(b)] != 0) {
                const auto first = rl.begin() + b * yield_block;
                done.insert(done.end(), first,
                            first + std::min(yield_block, runs - b * yield_block));
            }
        }
        return done;
    }
    return rl;
}

YieldFigures yield_figures(std::vector<double> worst_rl_db, double tolerance_percent,
                           double target_rl_db, std::uint64_t seed,
                           YieldDistribution distribution) {
    std::vector<double>& rl = worst_rl_db;
    YieldFigures figures{
        tolerance_percent, static_cast<long>(rl.size()), target_rl_db, 0.0, 0.0, 0.0, 0.0};
    figures.seed = seed;
    figures.distribution = distribution;
    if (rl.empty()) {
        return figures;
    }
    const auto meeting =
        std::count_if(rl.begin(), rl.end(), [&](double worst) { return worst >= target_rl_db; });
    std::sort(rl.begin(), rl.end());
    figures.share = static_cast<double>(meeting) / static_cast<double>(rl.size());
    std::tie(figures.share_low, figures.share_high) =
        share_interval(meeting, static_cast<long>(rl.size()));
    figures.min_rl_db = rl.front();
    figures.max_rl_db = rl.back();
    const std::size_t middle = rl.size() / 2;
    figures.median_rl_db = rl.size() % 2 == 1 ? rl[middle] : (rl[middle - 1] + rl[middle]) / 2;
    return figures;
}

YieldFigures network_yield(const Ladder& ladder, const Load& load, double source_ohm,
                           const Losses& losses, double tolerance_percent, long runs,
                           double target_rl_db, std::uint64_t seed, const Progress& progress) {
    if (runs < 1) {
        return {tolerance_percent, runs, target_rl_db, 0.0, 0.0, 0.0, 0.0};
    }
    return yield_figures(yield_runs(ladder, load, source_ohm, losses, tolerance_percent, runs, seed,
                                    YieldDistribution::Uniform, 0, progress),
                         tolerance_percent, target_rl_db, seed, YieldDistribution::Uniform);
}

} // namespace veltrane::match
