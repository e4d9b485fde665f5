#include "match/design.h"

#include "match/minimize.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>
#include <random>
#include <span>
#include <utility>

namespace veltrane::match {

namespace {

constexpr double two_pi = 2 * std::numbers::pi;

// The search variables are ln(value / natural value), kept within +-log_span: at either end an
// element has next to no effect (a series L or shunt C of almost nothing, a series C or shunt
// L of almost infinite size), which is how a smaller network lives inside a larger one.
constexpr double log_span = 25;
constexpr double random_span = 3;
constexpr std::size_t coarse_samples = 25;
constexpr std::size_t refined_per_size = 4;

// A ladder's shape: the first element's position and each element's kind.
struct Shape {
    Position first = Position::Series;
    std::vector<Kind> kinds;

    [[nodiscard]] Position position(std::size_t k) const {
        const bool same = k % 2 == 0;
        return same == (first == Position::Series) ? Position::Series : Position::Shunt;
    }
};

std::vector<Shape> shapes_of_size(int n) {
    std::vector<Shape> shapes;
    for (Position first : {Position::Series, Position::Shunt}) {
        for (unsigned bits = 0; bits < (1U << n); ++bits) {
            Shape shape{first, {}};
            for (int k = 0; k < n; ++k) {
                shape.kinds.push_back((bits >> k) & 1U ? Kind::C : Kind::L);
            }
            shapes.push_back(std::move(shape));
        }
    }
    return shapes;
}

// Impedance and admittance of unit parts at each sample, so that a ladder is evaluated with a
// multiplication or a division per element and sample; `active` holds the samples looked at.
class Objective {
  public:
    explicit Objective(const DesignInput& input) : source_ohm_(input.source_ohm) {
        const Load& load = input.load;
        for (std::size_t i = 0; i < load.f_ghz.size(); ++i) {
            const double f = load.f_ghz[i];
            const Complex l_unit =
                branch_impedance({Position::Series, Kind::L, 1.0}, f, input.losses);
            const Complex c_unit =
                1.0 / branch_impedance({Position::Shunt, Kind::C, 1.0}, f, input.losses);
            z_l_.push_back(l_unit);
            y_l_.push_back(1.0 / l_unit);
            y_c_.push_back(c_unit);
            z_c_.push_back(1.0 / c_unit);
            z_load_.push_back(load.z_ohm[i]);
        }
    }

    [[nodiscard]] std::size_t size() const { return z_load_.size(); }

    // |Gamma_in|^2 at sample i of a ladder with these positions, kinds and values. The
    // impedance is carried as a fraction p / q, so that no element needs a division.
    [[nodiscard]] double at(std::size_t i, const Shape& shape, const double* values) const {
        // Written out in real arithmetic: std::complex's product checks for infinities.
        double pr = z_load_[i].real();
        double pi = z_load_[i].imag();
        double qr = 1.0;
        double qi = 0.0;
        for (std::size_t k = shape.kinds.size(); k-- > 0;) {
            const double v = values[k];
            const bool inductor = shape.kinds[k] == Kind::L;
            if (shape.position(k) == Position::Series) {
                const Complex u = inductor ? v * z_l_[i] : z_c_[i] / v;
                pr += u.real() * qr - u.imag() * qi;
                pi += u.real() * qi + u.imag() * qr;
            } else {
                const Complex u = inductor ? y_l_[i] / v : v * y_c_[i];
                qr += u.real() * pr - u.imag() * pi;
                qi += u.real() * pi + u.imag() * pr;
            }
        }
        const double ar = pr - source_ohm_ * qr;
        const double ai = pi - source_ohm_ * qi;
        const double br = pr + source_ohm_ * qr;
        const double bi = pi + source_ohm_ * qi;
        const double g = (ar * ar + ai * ai) / (br * br + bi * bi);
        return std::isnan(g) ? 1.0 : g;
    }

    // The largest over `samples`.
    [[nodiscard]] double worst(const std::vector<std::size_t>& samples, const Shape& shape,
                               const double* values) const {
        double largest = 0.0;
        for (std::size_t i : samples) {
            largest = std::max(largest, at(i, shape, values));
        }
        return largest;
    }

  private:
    double source_ohm_;
    std::vector<Complex> z_l_, y_l_, y_c_, z_c_, z_load_;
};

class Designer {
  public:
    explicit Designer(const DesignInput& input)
        : input_(input), objective_(input), all_(all_indices()), coarse_(coarse_indices()),
          rng_(input.seed) {
        const double f0 = std::sqrt(input.load.f_ghz.front() * input.load.f_ghz.back());
        natural_l_ = input.source_ohm / (two_pi * f0);        // nH: X = R at f0
        natural_c_ = 1000 / (two_pi * f0 * input.source_ohm); // pF: B = 1/R at f0
    }

    [[nodiscard]] Ladder ladder(const Shape& shape, const std::vector<double>& x) const {
        Ladder result;
        for (std::size_t k = 0; k < x.size(); ++k) {
            result.push_back({shape.position(k), shape.kinds[k], value(shape.kinds[k], x[k])});
        }
        return result;
    }

    [[nodiscard]] double value(Kind kind, double x) const {
        return (kind == Kind::L ? natural_l_ : natural_c_) *
               std::exp(std::clamp(x, -log_span, log_span));
    }

    [[nodiscard]] double log_value(const Element& element) const {
        return std::log(element.value / (element.kind == Kind::L ? natural_l_ : natural_c_));
    }

    // The score of a point: the largest |Gamma_in|^2 on the given samples.
    [[nodiscard]] Goal goal(const Shape& shape, const std::vector<std::size_t>& samples) {
        return [this, &shape, &samples](const std::vector<double>& x) {
            tick();
            std::array<double, max_elements> values{};
            for (std::size_t k = 0; k < x.size(); ++k) {
                values[k] = value(shape.kinds[k], x[k]);
            }
            return objective_.worst(samples, shape, values.data());
        };
    }

    // Minimax on all samples by exchange: refine on a few samples, add the local peaks of
    // |Gamma_in| over all samples that exceed the few's worst, and again, until the few's worst
    // is the worst of all. Never returns a point worse than the start on all samples.
    Found refine_all(const Shape& shape, std::vector<double> start) {
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

    DesignResult run() {
        DesignResult result;
        std::vector<std::vector<Shape>> shapes;
        double total = 0;
        for (int n = 1; n <= input_.max_elements; ++n) {
            shapes.push_back(shapes_of_size(n));
            total += static_cast<double>(shapes.back().size()) * n;
        }
        std::vector<std::vector<std::vector<double>>> best_x; // per size, per shape
        std::vector<double> previous_best;                    // best x of the size before
        Shape previous_shape;
        for (int n = 1; n <= input_.max_elements && !stopped_; ++n) {
            const std::vector<Shape>& sizes = shapes[static_cast<std::size_t>(n - 1)];
            std::vector<std::vector<double>> xs(sizes.size());
            std::vector<double> coarse_scores(sizes.size());
            const auto index_of = [](const Shape& shape) {
                unsigned bits = 0;
                for (std::size_t k = 0; k < shape.kinds.size(); ++k) {
                    bits |= (shape.kinds[k] == Kind::C ? 1U : 0U) << k;
                }
                return (shape.first == Position::Shunt ? (1U << shape.kinds.size()) : 0U) + bits;
            };
            // Screening of every ladder on a few samples.
            for (std::size_t s = 0; s < sizes.size() && !stopped_; ++s) {
                const Shape& shape = sizes[s];
                const Goal score = goal(shape, coarse_);
                // Seeded random points, the best few of them as starts.
                std::vector<Found> sampled;
                for (int r = 0; r < input_.random_points * n; ++r) {
                    std::vector<double> x;
                    for (int k = 0; k < n; ++k) {
                        x.push_back(random_span * (2 * unit_uniform(rng_()) - 1));
                    }
                    const double v = score(x);
                    sampled.push_back({std::move(x), v});
                }
                const auto kept =
                    std::min(sampled.size(), static_cast<std::size_t>(input_.random_starts));
                std::partial_sort(sampled.begin(), sampled.begin() + static_cast<long>(kept),
                                  sampled.end(),
                                  [](const Found& a, const Found& b) { return a.value < b.value; });
                std::vector<std::vector<double>> starts;
                starts.emplace_back(static_cast<std::size_t>(n), 0.0);
                if (auto start = resonating_start(shape)) {
                    starts.push_back(std::move(*start));
                }
                for (std::size_t r = 0; r < kept; ++r) {
                    starts.push_back(std::move(sampled[r].x));
                }
                if (n > 1) {
                    for (auto& start : extensions(shape, best_x.back(), index_of)) {
                        starts.push_back(std::move(start));
                    }
                }
                Found best{{}, 2.0};
                for (const auto& start : starts) {
                    Found found =
                        minimize(score, start, 1.0, input_.screen_evaluations * n, stopped_);
                    if (found.value < best.value) {
                        best = std::move(found);
                    }
                }
                xs[s] = best.x;
                coarse_scores[s] = best.value;
                done_ += n;
            }
            if (stopped_) {
                break;
            }
            // Refinement of the best few, and of the best network of the size before grown
            // by a vanishing element at either end, on every sample.
            std::vector<std::size_t> order(sizes.size());
            for (std::size_t s = 0; s < order.size(); ++s) {
                order[s] = s;
            }
            std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
                return coarse_scores[a] < coarse_scores[b];
            });
            std::vector<std::pair<std::size_t, std::vector<double>>> refine;
            for (std::size_t r = 0; r < std::min(refined_per_size, order.size()); ++r) {
                refine.emplace_back(order[r], xs[order[r]]);
            }
            if (n > 1) {
                for (auto& [shape, x] : grown(previous_shape, previous_best)) {
                    refine.emplace_back(index_of(shape), std::move(x));
                }
            }
            Found best{{}, 2.0};
            std::size_t best_shape = 0;
            std::vector<double> refined_scores(sizes.size(), 2.0);
            for (auto& [s, start] : refine) {
                Found found = refine_all(sizes[s], std::move(start));
                if (found.value < best.value) {
                    best = found;
                    best_shape = s;
                }
                if (found.value < refined_scores[s]) {
                    refined_scores[s] = found.value;
                    xs[s] = std::move(found.x);
                }
            }
            if (stopped_) {
                break;
            }
            previous_best = best.x;
            previous_shape = sizes[best_shape];
            Ladder network = ladder(previous_shape, previous_best);
            const Figures figures =
                evaluate(network, input_.load, input_.source_ohm, input_.losses);
            result.networks.push_back({std::move(network), figures});
            best_x.push_back(std::move(xs));
            report(done_ / total);
        }
        result.stopped = stopped_;
        return result;
    }

    // Local minimax refinement: Nelder-Mead restarted around the best point with smaller and
    // smaller simplices until a restart no longer improves.
    Found refine_minimax(const Goal& score, std::vector<double> start) {
        Found best{start, score(start)};
        for (double step : {1.0, 0.3, 0.1, 0.03, 0.01}) {
            for (int round = 0; round < 4 && !stopped_; ++round) {
                Found found =
                    minimize(score, best.x, step, 400 * static_cast<int>(start.size()), stopped_);
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

    // Re-optimises the variables not in `fixed` from `x`, on every sample.
    Found refine_free(const Shape& shape, const std::vector<double>& x,
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

    std::optional<Design> round_to(const Design& design, rf::ESeries series) {
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

  private:
    std::vector<std::size_t> all_indices() const {
        std::vector<std::size_t> indices(input_.load.f_ghz.size());
        for (std::size_t i = 0; i < indices.size(); ++i) {
            indices[i] = i;
        }
        return indices;
    }

    std::vector<std::size_t> coarse_indices() const {
        const std::size_t count = input_.load.f_ghz.size();
        if (count <= coarse_samples) {
            return all_indices();
        }
        std::vector<std::size_t> indices;
        for (std::size_t j = 0; j < coarse_samples; ++j) {
            indices.push_back(j * (count - 1) / (coarse_samples - 1));
        }
        return indices;
    }

    // The start with every part at its natural value except the one next to the load, which
    // resonates the load's reactance (series) or susceptance (shunt) at the band's centre; none
    // when that part cannot (a series L cannot cancel an inductive load).
    std::optional<std::vector<double>> resonating_start(const Shape& shape) const {
        const Load& load = input_.load;
        const std::size_t middle = load.f_ghz.size() / 2;
        const double w = two_pi * load.f_ghz[middle];
        const Complex z = load.z_ohm[middle];
        const std::size_t last = shape.kinds.size() - 1;
        const bool inductor = shape.kinds[last] == Kind::L;
        double value = 0; // nH or pF
        if (shape.position(last) == Position::Series) {
            const double x = z.imag();
            value = inductor ? -x / w : (x > 0 ? 1000 / (w * x) : 0);
        } else {
            const double b = (1.0 / z).imag();
            value = inductor ? (b > 0 ? 1000 / (w * b) : 0) : -1000 * b / w;
        }
        if (!(value > 0) || !std::isfinite(value)) {
            return std::nullopt;
        }
        std::vector<double> x(shape.kinds.size(), 0.0);
        x[last] =
            std::clamp(std::log(value / (inductor ? natural_l_ : natural_c_)), -log_span, log_span);
        return x;
    }

    static double vanishing(Position position, Kind kind) {
        const bool small = (position == Position::Series) == (kind == Kind::L);
        return small ? -log_span : log_span;
    }

    // Starts for `shape` from the screened networks of one element fewer: the shape without
    // its first or without its last element, with that element vanishing.
    template <typename IndexOf>
    std::vector<std::vector<double>> extensions(const Shape& shape,
                                                const std::vector<std::vector<double>>& smaller,
                                                const IndexOf& index_of) const {
        std::vector<std::vector<double>> starts;
        const std::size_t n = shape.kinds.size();
        Shape tail{shape.position(1), {shape.kinds.begin() + 1, shape.kinds.end()}};
        std::vector<double> x{vanishing(shape.position(0), shape.kinds[0])};
        const auto& tail_x = smaller[index_of(tail)];
        x.insert(x.end(), tail_x.begin(), tail_x.end());
        starts.push_back(std::move(x));
        Shape head{shape.first, {shape.kinds.begin(), shape.kinds.end() - 1}};
        x = smaller[index_of(head)];
        x.push_back(vanishing(shape.position(n - 1), shape.kinds[n - 1]));
        starts.push_back(std::move(x));
        return starts;
    }

    // The shapes one element larger that hold `shape` with a vanishing element at either end,
    // with their starting points.
    static std::vector<std::pair<Shape, std::vector<double>>> grown(const Shape& shape,
                                                                    const std::vector<double>& x) {
        std::vector<std::pair<Shape, std::vector<double>>> result;
        const Position before =
            shape.first == Position::Series ? Position::Shunt : Position::Series;
        for (Kind kind : {Kind::L, Kind::C}) {
            Shape front{before, {kind}};
            front.kinds.insert(front.kinds.end(), shape.kinds.begin(), shape.kinds.end());
            std::vector<double> x_front{vanishing(before, kind)};
            x_front.insert(x_front.end(), x.begin(), x.end());
            result.emplace_back(std::move(front), std::move(x_front));
            Shape back = shape;
            back.kinds.push_back(kind);
            std::vector<double> x_back = x;
            x_back.push_back(vanishing(back.position(back.kinds.size() - 1), kind));
            result.emplace_back(std::move(back), std::move(x_back));
        }
        return result;
    }

    static std::vector<double> standard_neighbours(double value, rf::ESeries series) {
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

    void tick() {
        if (++evaluations_ % 1024 == 0) {
            report(done_ / std::max(total_units(), 1.0));
        }
    }

    double total_units() const {
        double total = 0;
        for (int n = 1; n <= input_.max_elements; ++n) {
            total += static_cast<double>(2U << n) * n;
        }
        return total;
    }

    void report(double done) {
        if (input_.progress && !stopped_ && !input_.progress(std::min(done, 1.0))) {
            stopped_ = true;
        }
    }

    const DesignInput& input_;
    Objective objective_;
    std::vector<std::size_t> all_;
    std::vector<std::size_t> coarse_;
    std::mt19937_64 rng_;
    double natural_l_ = 1;
    double natural_c_ = 1;
    double done_ = 0;
    long evaluations_ = 0;
    bool stopped_ = false;
};

} // namespace

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

YieldFigures network_yield(const Ladder& ladder, const Load& load, double source_ohm,
                           const Losses& losses, double tolerance_percent, long runs,
                           double target_rl_db, std::uint64_t seed) {
    YieldFigures figures{tolerance_percent, runs, target_rl_db, 0.0, 0.0, 0.0, 0.0};
    if (runs < 1) {
        return figures;
    }
    std::mt19937_64 rng(seed);
    std::vector<double> rl;
    long meeting = 0;
    for (long r = 0; r < runs; ++r) {
        Ladder varied = ladder;
        for (Element& element : varied) {
            element.value *= 1 + tolerance_percent / 100 * (2 * unit_uniform(rng()) - 1);
        }
        const double worst = evaluate(varied, load, source_ohm, losses).worst_rl_db;
        rl.push_back(worst);
        if (worst >= target_rl_db) {
            ++meeting;
        }
    }
    std::sort(rl.begin(), rl.end());
    figures.share = static_cast<double>(meeting) / static_cast<double>(runs);
    figures.min_rl_db = rl.front();
    figures.max_rl_db = rl.back();
    const std::size_t middle = rl.size() / 2;
    figures.median_rl_db = rl.size() % 2 == 1 ? rl[middle] : (rl[middle - 1] + rl[middle]) / 2;
    return figures;
}

} // namespace veltrane::match
