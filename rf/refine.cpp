#include "rf/refine.h"

#include "rf/response.h"

#include "parallel/pool.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numeric>

namespace veltrane::rf {

namespace {

constexpr std::size_t dimensions = 5;
using Point = std::array<double, dimensions>;
constexpr double infinity = std::numeric_limits<double>::infinity();

// The samples, evenly spread, the exchange starts with.
constexpr std::size_t refine_spread_samples = 24;

class Objective {
  public:
    Objective(const LumpedModel& start, const PortData& data, double z0_ohm,
              const FrequencyRange& range)
        : start_(start), z0_ohm_(z0_ohm) {
        for (std::size_t i = 0; i < data.f_ghz.size() && i < data.s.size(); ++i) {
            if (range.contains(data.f_ghz[i])) {
                const Complex gamma = rereferred(data.s[i], data.reference_ohm, z0_ohm);
                if (std::isfinite(gamma.real()) && std::isfinite(gamma.imag())) {
                    f_ghz_.push_back(data.f_ghz[i]);
                    gamma_.push_back(gamma);
                }
            }
        }
    }

    [[nodiscard]] bool empty() const { return f_ghz_.empty(); }

    [[nodiscard]] static Point point_of(const LumpedModel& m) {
        return {std::log(std::fabs(m.ls_nh)), std::log(std::fabs(m.cs_pf)),
                std::log(std::fabs(m.lp_nh)), std::log(std::fabs(m.cp_pf)),
                std::log(std::fabs(m.rl_ohm))};
    }

    // The model at `x`, each element with the sign it started with, each held within
    // refine_max_factor of where it started.
    [[nodiscard]] LumpedModel model_at(const Point& x) const {
        const Point origin = point_of(start_);
        const double reach = std::log(refine_max_factor);
        const auto value = [&](std::size_t k, double sign) {
            return std::copysign(std::exp(std::clamp(x[k], origin[k] - reach, origin[k] + reach)),
                                 sign);
        };
        return {start_.topology,        value(0, start_.ls_nh), value(1, start_.cs_pf),
                value(2, start_.lp_nh), value(3, start_.cp_pf), value(4, 1.0)};
    }

    [[nodiscard]] std::size_t size() const { return f_ghz_.size(); }

    // The squared error at sample i.
    [[nodiscard]] double error_squared(const LumpedModel& model, std::size_t i) const {
        return reflection_error_squared(model, f_ghz_[i], z0_ohm_, gamma_[i]);
    }

    // The largest error over the active samples, evaluated only up to `stop`.
    double operator()(const Point& x, double stop = infinity) {
        ++evaluations;
        const LumpedModel model = model_at(x);
        const double stop_squared = stop * stop;
        double largest = 0.0; // squared
        for (const std::size_t i : active) {
            const double e = error_squared(model, i);
            if (!(e <= largest)) {
                largest = std::isfinite(e) ? e : infinity;
                if (largest > stop_squared) {
                    break;
                }
            }
        }
        return std::sqrt(largest);
    }

    [[nodiscard]] FitStats stats(const LumpedModel& model) const {
        FitStats s;
        double sum = 0.0;
        double largest = 0.0; // squared
        for (std::size_t i = 0; i < f_ghz_.size(); ++i) {
            const double e = error_squared(model, i);
            if (s.points == 0 || e > largest) {
                largest = e;
                s.at_ghz = f_ghz_[i];
            }
            sum += e;
            ++s.points;
        }
        s.max = std::sqrt(largest);
        s.rms = std::sqrt(sum / static_cast<double>(s.points));
        return s;
    }

    // The samples the search compares on: a few spread over the range, then the peaks of the
    // error that rose above their worst.
    std::vector<std::size_t> active;
    std::size_t evaluations = 0;

  private:
    LumpedModel start_;
    double z0_ohm_;
    std::vector<double> f_ghz_;
    std::vector<Complex> gamma_;
};

// One Nelder-Mead run from `x` with an initial simplex of `step` along each axis.
double nelder_mead(Objective& f, Point& x, double step, std::size_t budget) {
    std::array<Point, dimensions + 1> simplex;
    std::array<double, dimensions + 1> value{};
    simplex[0] = x;
    value[0] = f(x);
    for (std::size_t k = 0; k < dimensions; ++k) {
        simplex[k + 1] = x;
        simplex[k + 1][k] += step;
        value[k + 1] = f(simplex[k + 1]);
    }
    std::array<std::size_t, dimensions + 1> order{};
    const std::size_t until = f.evaluations + budget;
    while (f.evaluations < until) {
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return value[a] < value[b]; });
        const std::size_t best = order.front(), worst = order.back(),
                          second = order[dimensions - 1];
        if (value[worst] - value[best] <= 1e-12 * value[best] + 1e-15) {
            break;
        }
        Point centre{};
        for (std::size_t v = 0; v <= dimensions; ++v) {
            if (v != worst) {
                for (std::size_t k = 0; k < dimensions; ++k) {
                    centre[k] += simplex[v][k] / dimensions;
                }
            }
        }
        const auto along = [&](double t) {
            Point p;
            for (std::size_t k = 0; k < dimensions; ++k) {
                p[k] = centre[k] + t * (simplex[worst][k] - centre[k]);
            }
            return p;
        };
        const Point reflected = along(-1.0);
        const double fr = f(reflected);
        if (fr < value[best]) {
            const Point expanded = along(-2.0);
            const double fe = f(expanded);
            if (fe < fr) {
                simplex[worst] = expanded;
                value[worst] = fe;
            } else {
                simplex[worst] = reflected;
                value[worst] = fr;
            }
        } else if (fr < value[second]) {
            simplex[worst] = reflected;
            value[worst] = fr;
        } else {
            const Point contracted = fr < value[worst] ? along(-0.5) : along(0.5);
            const double fc = f(contracted);
            if (fc < std::min(fr, value[worst])) {
                simplex[worst] = contracted;
                value[worst] = fc;
            } else {
                for (std::size_t v = 0; v <= dimensions; ++v) {
                    if (v != best) {
                        for (std::size_t k = 0; k < dimensions; ++k) {
                            simplex[v][k] =
                                simplex[best][k] + 0.5 * (simplex[v][k] - simplex[best][k]);
                        }
                        value[v] = f(simplex[v]);
                    }
                }
            }
        }
    }
    const std::size_t best =
        static_cast<std::size_t>(std::min_element(value.begin(), value.end()) - value.begin());
    x = simplex[best];
    return value[best];
}

// Nelder-Mead restarted around its best point with a fresh simplex, smaller each time it gains
// little: a minimax objective has edges where one simplex stalls.
double restarted(Objective& f, Point& x) {
    double value = f(x);
    double step = 0.05;
    for (int restart = 0; restart < 30 && step > 1e-6; ++restart) {
        Point y = x;
        const double v = nelder_mead(f, y, step, 600);
        if (v < value * (1 - 1e-9)) {
            value = v;
            x = y;
        } else {
            step /= 4;
        }
    }
    return value;
}

// Minimax over every sample by exchange: the search runs on a few samples spread over the
// range; then every sample is judged, the local peaks of the error above the few's worst join
// them, and again, until the few's worst is the worst of all. Returns the point whose largest
// error over every sample is the smallest seen, the start included.
Point minimax_by_exchange(Objective& f, const Point& start) {
    const std::size_t n = f.size();
    const std::size_t spread = std::min(n, refine_spread_samples);
    for (std::size_t k = 0; k < spread; ++k) {
        f.active.push_back(spread == 1 ? 0 : k * (n - 1) / (spread - 1));
    }
    std::vector<double> e(n);
    const auto judge = [&](const Point& p) {
        const LumpedModel model = f.model_at(p);
        double largest = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            e[i] = f.error_squared(model, i);
            if (!std::isfinite(e[i])) {
                e[i] = infinity; // a not-a-number counts as the worst
            }
            largest = std::max(largest, e[i]);
        }
        return std::sqrt(largest);
    };
    Point best = start;
    double best_value = judge(start);
    Point x = start;
    for (int round = 0; round < 30; ++round) {
        const double few = restarted(f, x);
        const double all = judge(x);
        if (all < best_value) {
            best = x;
            best_value = all;
        }
        if (all <= few * (1 + 1e-9)) {
            break;
        }
        std::vector<bool> in(n, false);
        for (const std::size_t i : f.active) {
            in[i] = true;
        }
        const double few_squared = few * few;
        const std::size_t before = f.active.size();
        for (std::size_t i = 0; i < n; ++i) {
            const bool peak = (i == 0 || !(e[i] < e[i - 1])) && (i + 1 == n || !(e[i] < e[i + 1]));
            if (peak && !in[i] && !(e[i] <= few_squared)) {
                f.active.push_back(i);
            }
        }
        if (f.active.size() == before) {
            break;
        }
    }
    return best;
}

} // namespace

std::optional<Refined> refine(const std::vector<LumpedModel>& starts, const PortData& data,
                              double z0_ohm, const FrequencyRange& range) {
    if (starts.empty() || Objective(starts.front(), data, z0_ohm, range).empty()) {
        return std::nullopt;
    }
    // Each start refined on its own thread; the best taken in the order of the starts.
    std::vector<Refined> refined(starts.size());
    parallel::run(starts.size(), [&](std::size_t k) {
        Objective f(starts[k], data, z0_ohm, range);
        const Point x = minimax_by_exchange(f, Objective::point_of(starts[k]));
        const LumpedModel model = f.model_at(x);
        refined[k] = Refined{model, f.stats(model), f.evaluations};
    });
    std::optional<Refined> best;
    for (const Refined& r : refined) {
        if (!best || r.fit.max < best->fit.max) {
            const std::size_t evaluations = best ? best->evaluations : 0;
            best = r;
            best->evaluations += evaluations;
        } else {
            best->evaluations += r.evaluations;
        }
    }
    return best;
}

} // namespace veltrane::rf
