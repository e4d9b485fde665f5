#include "match/design.h"

#include "match/designer.h"
#include "match/minimize.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <random>
#include <utility>

namespace veltrane::match {

namespace design_detail {

Ladder Designer::ladder(const Shape& shape, const std::vector<double>& x) const {
    Ladder result;
    for (std::size_t k = 0; k < x.size(); ++k) {
        result.push_back({shape.position(k), shape.kinds[k], value(shape.kinds[k], x[k])});
    }
    return result;
}

double Designer::value(Kind kind, double x) const {
    return (kind == Kind::L ? natural_l_ : natural_c_) *
           std::exp(std::clamp(x, -log_span, log_span));
}

double Designer::log_value(const Element& element) const {
    return std::log(element.value / (element.kind == Kind::L ? natural_l_ : natural_c_));
}

Goal Designer::goal(const Shape& shape, const std::vector<std::size_t>& samples) {
    return [this, &shape, &samples](const std::vector<double>& x) {
        tick();
        std::array<double, max_elements> values{};
        for (std::size_t k = 0; k < x.size(); ++k) {
            values[k] = value(shape.kinds[k], x[k]);
        }
        return objective_.worst(samples, shape, values.data());
    };
}

Found Designer::refine_all(const Shape& shape, std::vector<double> start) {
    std::vector<std::size_t> active = coarse_;
    const Goal whole = goal(shape, all_);
    Found best{start, whole(start)};
    std::vector<double> x = std::move(start);
    std::vector<double> g(all_.size());
    std::array<double, max_elements> values{};
    for (int round = 0; round < 12 && !stopped_; ++round) {
        const Found found = refine_minimax(goal(shape, active), x);
        for (std::size_t k = 0; k < found.x.size(); ++k) {
            values[k] = value(shape.kinds[k], found.x[k]);
        }
        double largest = 0;
        for (std::size_t i = 0; i < g.size(); ++i) {
            g[i] = objective_.at(i, shape, values.data());
            largest = std::max(largest, g[i]);
        }
        if (largest < best.value) {
            best = {found.x, largest};
        }
        x = found.x;
        if (largest <= found.value * (1 + 1e-9)) {
            break;
        }
        std::vector<bool> in(g.size(), false);
        for (std::size_t i : active) {
            in[i] = true;
        }
        for (std::size_t i = 0; i < g.size(); ++i) {
            const bool peak =
                (i == 0 || g[i] >= g[i - 1]) && (i + 1 == g.size() || g[i] >= g[i + 1]);
            if (peak && !in[i] && g[i] > found.value) {
                active.push_back(i);
            }
        }
    }
    return best;
}

Found Designer::refine_minimax(const Goal& score, std::vector<double> start) {
    Found best{start, score(start)};
    for (double step : {1.0, 0.3, 0.1, 0.03, 0.01}) {
        for (int round = 0; round < 4 && !stopped_; ++round) {
            Found found =
                minimize(score, best.x, step,
                         input_.refine_evaluations * static_cast<int>(start.size()), stopped_);
            const bool better = found.value < best.value * (1 - 1e-9);
            if (found.value < best.value) {
                best = std::move(found);
            }
            if (!better) {
                break;
            }
        }
    }
    return best;
}

Found Designer::refine_free(const Shape& shape, const std::vector<double>& x,
                            const std::vector<bool>& fixed) {
    std::vector<std::size_t> free;
    for (std::size_t k = 0; k < x.size(); ++k) {
        if (!fixed[k]) {
            free.push_back(k);
        }
    }
    const Goal whole = goal(shape, all_);
    if (free.empty()) {
        return {x, whole(x)};
    }
    const Goal partial = [&](const std::vector<double>& y) {
        std::vector<double> full = x;
        for (std::size_t j = 0; j < free.size(); ++j) {
            full[free[j]] = y[j];
        }
        return whole(full);
    };
    std::vector<double> y;
    for (std::size_t k : free) {
        y.push_back(x[k]);
    }
    Found found = refine_minimax(partial, y);
    std::vector<double> full = x;
    for (std::size_t j = 0; j < free.size(); ++j) {
        full[free[j]] = found.x[j];
    }
    return {full, found.value};
}

std::optional<Design> Designer::round_to(const Design& design, rf::ESeries series) {
    Shape shape{design.ladder.front().position, {}};
    std::vector<double> x;
    for (const Element& element : design.ladder) {
        shape.kinds.push_back(element.kind);
        x.push_back(log_value(element));
    }
    std::vector<bool> fixed(x.size(), false);
    std::vector<double> fixed_values(x.size(), 0.0);
    for (std::size_t step = 0; step < x.size() && !stopped_; ++step) {
        Found best{{}, 2.0};
        std::size_t best_k = 0;
        double best_value = 0;
        for (std::size_t k = 0; k < x.size(); ++k) {
            if (fixed[k]) {
                continue;
            }
            for (double candidate : standard_neighbours(value(shape.kinds[k], x[k]), series)) {
                std::vector<double> trial = x;
                trial[k] =
                    std::log(candidate / (shape.kinds[k] == Kind::L ? natural_l_ : natural_c_));
                std::vector<bool> now_fixed = fixed;
                now_fixed[k] = true;
                Found found = refine_free(shape, trial, now_fixed);
                if (found.value < best.value) {
                    best = std::move(found);
                    best_k = k;
                    best_value = candidate;
                }
            }
        }
        x = best.x;
        fixed[best_k] = true;
        fixed_values[best_k] = best_value;
    }
    if (stopped_) {
        return std::nullopt;
    }
    Ladder rounded = design.ladder;
    for (std::size_t k = 0; k < rounded.size(); ++k) {
        rounded[k].value = fixed_values[k]; // exactly the standard value, not exp(log(..))
    }
    return Design{rounded, evaluate(rounded, input_.load, input_.source_ohm, input_.losses)};
}

std::vector<double> Designer::standard_neighbours(double value, rf::ESeries series) {
    const std::span<const int> decade = rf::e_series_decade(series);
    const double exponent = std::floor(std::log10(value));
    std::vector<double> candidates;
    for (double e : {exponent - 1, exponent, exponent + 1}) {
        for (int v : decade) {
            candidates.push_back(rf::nearest_standard_value(v * std::pow(10.0, e - 2), series));
        }
    }
    double below = 0, above = 0;
    for (double c : candidates) {
        if (c <= value && c > below) {
            below = c;
        }
        if (c >= value && (above == 0 || c < above)) {
            above = c;
        }
    }
    std::vector<double> result;
    if (below > 0) {
        result.push_back(below);
    }
    if (above > 0 && above != below) {
        result.push_back(above);
    }
    return result;
}

} // namespace design_detail

using design_detail::Designer;

double unit_uniform(std::uint64_t bits) {
    return static_cast<double>(bits >> 11) * 0x1.0p-53;
}

DesignResult design_networks(const DesignInput& input) {
    if (input.load.f_ghz.empty() || input.max_elements < 1 || input.max_elements > max_elements) {
        return {};
    }
    return Designer(input).run();
}

std::optional<Design> standard_network(const Design& design, const DesignInput& input,
                                       rf::ESeries series) {
    if (design.ladder.empty() || input.load.f_ghz.empty()) {
        return std::nullopt;
    }
    return Designer(input).round_to(design, series);
}

std::vector<double> yield_runs(const Ladder& ladder, const Load& load, double source_ohm,
                               const Losses& losses, double tolerance_percent, long runs,
                               std::uint64_t seed, const Progress& progress) {
    std::vector<double> rl;
    std::mt19937_64 rng(seed);
    constexpr long runs_between_reports = 4096;
    for (long r = 0; r < runs; ++r) {
        if (progress && r % runs_between_reports == 0 &&
            !progress(static_cast<double>(r) / static_cast<double>(runs))) {
            break;
        }
        Ladder varied = ladder;
        for (Element& element : varied) {
            element.value *= 1 + tolerance_percent / 100 * (2 * unit_uniform(rng()) - 1);
        }
        rl.push_back(evaluate(varied, load, source_ohm, losses).worst_rl_db);
    }
    return rl;
}

YieldFigures network_yield(const Ladder& ladder, const Load& load, double source_ohm,
                           const Losses& losses, double tolerance_percent, long runs,
                           double target_rl_db, std::uint64_t seed, const Progress& progress) {
    YieldFigures figures{tolerance_percent, runs, target_rl_db, 0.0, 0.0, 0.0, 0.0};
    if (runs < 1) {
        return figures;
    }
    std::vector<double> rl =
        yield_runs(ladder, load, source_ohm, losses, tolerance_percent, runs, seed, progress);
    figures.runs = static_cast<long>(rl.size()); // fewer when stopped
    if (rl.empty()) {
        return figures;
    }
    const auto meeting =
        std::count_if(rl.begin(), rl.end(), [&](double worst) { return worst >= target_rl_db; });
    std::sort(rl.begin(), rl.end());
    figures.share = static_cast<double>(meeting) / static_cast<double>(rl.size());
    figures.min_rl_db = rl.front();
    figures.max_rl_db = rl.back();
    const std::size_t middle = rl.size() / 2;
    figures.median_rl_db = rl.size() % 2 == 1 ? rl[middle] : (rl[middle - 1] + rl[middle]) / 2;
    return figures;
}

} // namespace veltrane::match
