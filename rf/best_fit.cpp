#include "rf/best_fit.h"

#include "rf/choices.h"
#include "rf/fit.h"
#include "rf/model_impedance.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

namespace veltrane::rf {

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

// A sample inside the range, with what the calculation and the comparison need of it.
struct Sample {
    std::size_t index; // in the data
    double f_ghz;
    double r, x;       // the impedance, as the calculation is given it
    double r_parallel; // R (1 + (X/R)^2), the Series/Parallel limit of RL
    Complex gamma;     // referred to the comparison's reference
};

// The best few candidates, kept sorted by their largest error.
class Board {
  public:
    [[nodiscard]] double bound() const {
        return entries_.size() < best_fit_kept ? infinity : entries_.back().max_error;
    }
    void offer(Candidate candidate) {
        if (!(candidate.max_error < bound())) {
            return;
        }
        const auto place = std::upper_bound(
            entries_.begin(), entries_.end(), candidate.max_error,
            [](double error, const Candidate& entry) { return error < entry.max_error; });
        entries_.insert(place, std::move(candidate));
        if (entries_.size() > best_fit_kept) {
            entries_.pop_back();
        }
    }
    [[nodiscard]] bool empty() const { return entries_.empty(); }
    [[nodiscard]] std::vector<Candidate> take() { return std::move(entries_); }

  private:
    std::vector<Candidate> entries_;
};

// Samples in an order that meets a large error early: the ends first, then the middle of every
// interval already visited, so that any stretch of the band is sampled after a few steps.
std::vector<std::size_t> spread_order(std::size_t n) {
    std::vector<std::size_t> order;
    order.reserve(n);
    if (n == 0) {
        return order;
    }
    order.push_back(0);
    if (n == 1) {
        return order;
    }
    order.push_back(n - 1);
    std::vector<std::pair<std::size_t, std::size_t>> intervals{{0, n - 1}};
    for (std::size_t next = 0; next < intervals.size(); ++next) {
        const auto [lo, hi] = intervals[next];
        if (hi - lo < 2) {
            continue;
        }
        const std::size_t mid = lo + (hi - lo) / 2;
        order.push_back(mid);
        intervals.emplace_back(lo, mid);
        intervals.emplace_back(mid, hi);
    }
    return order;
}

class Search {
  public:
    Search(std::vector<Sample> samples, const BestFitOptions& options,
           const BestFitProgress& progress)
        : samples_(std::move(samples)), order_(spread_order(samples_.size())), options_(options),
          progress_(progress) {}

    // False when the caller stopped it.
    bool run() {
        const double n = static_cast<double>(samples_.size());
        const double pairs = n * (n - 1) / 2;
        for (std::size_t a = 0; a + 1 < samples_.size(); ++a) {
            if (progress_) {
                const double first = static_cast<double>(a);
                const double done =
                    (first * n - first * (first + 1) / 2) / pairs; // pairs (i < a, j)
                if (!progress_(done)) {
                    return false;
                }
            }
            for (std::size_t b = a + 1; b < samples_.size(); ++b) {
                for (const Choice& choice : all_choices) {
                    if (options_.rl_ohm) {
                        try_fixed(a, b, choice, *options_.rl_ohm);
                    } else {
                        try_searched(a, b, choice);
                    }
                }
            }
        }
        return !progress_ || progress_(1.0);
    }

    BestFit result() {
        BestFit fit;
        fit.samples = samples_.size();
        fit.positive_found = !main_.empty() || options_.allow_negative;
        fit.best = main_.empty() ? others_.take() : main_.take();
        return fit;
    }

  private:
    // The outcome of one calculation, judged against the board it would join.
    struct Trial {
        std::optional<Result> state;
        Board* board = nullptr;
        double error = infinity; // the largest error, or a running largest above the bound
    };

    Trial trial(std::size_t a, std::size_t b, Choice choice, double rl_ohm) {
        const Sample& s1 = samples_[a];
        const Sample& s2 = samples_[b];
        const Inputs inputs = inputs_from_ghz(s1.f_ghz, s1.r, s1.x, s2.f_ghz, s2.r, s2.x, rl_ohm);
        Trial t;
        if (!could_solve(s1, s2, choice.topology, rl_ohm)) {
            return t;
        }
        auto solved = solve(inputs, choice);
        Result* state = std::get_if<Result>(&solved);
        if (state == nullptr) {
            return t;
        }
        const bool positive = all_positive(*state);
        if (positive || options_.allow_negative) {
            t.board = &main_;
        } else if (main_.empty()) {
            t.board = &others_; // only while no model with positive elements is known
        } else {
            return t;
        }
        t.error = largest_error(LumpedModel::from(*state, choice.topology), t.board->bound());
        t.state = *state;
        return t;
    }

    // RL against the topology's limits (as rl_range gives them), before a calculation that
    // would only say so.
    static bool could_solve(const Sample& s1, const Sample& s2, Topology topology, double rl) {
        if (!(s1.r > 0.0) || !(s2.r > 0.0)) {
            return true; // the calculation gives the message
        }
        constexpr double margin = 1e-12; // leave the cases near the limit to the calculation
        if (topology == Topology::ParallelSeries) {
            return !(rl < std::max(s1.r, s2.r) * (1 - margin));
        }
        return !(rl > std::min(s1.r_parallel, s2.r_parallel) * (1 + margin));
    }

    void offer(std::size_t a, std::size_t b, Choice choice, double rl_ohm, const Trial& t) {
        Candidate c;
        c.i1 = samples_[a].index;
        c.i2 = samples_[b].index;
        c.f1_ghz = samples_[a].f_ghz;
        c.f2_ghz = samples_[b].f_ghz;
        c.choice = choice;
        c.rl_ohm = rl_ohm;
        c.state = *t.state;
        c.positive = all_positive(c.state);
        const LumpedModel model = LumpedModel::from(c.state, choice.topology);
        double sum_squares = 0.0;
        for (const Sample& s : samples_) {
            const double e = error_at(model, s);
            sum_squares += e * e;
            if (e > c.max_error) {
                c.max_error = e;
                c.at_ghz = s.f_ghz;
            }
        }
        c.rms_error = std::sqrt(sum_squares / static_cast<double>(samples_.size()));
        t.board->offer(std::move(c));
    }

    void try_fixed(std::size_t a, std::size_t b, Choice choice, double rl_ohm) {
        const Trial t = trial(a, b, choice, rl_ohm);
        if (t.state && t.error < t.board->bound()) {
            offer(a, b, choice, rl_ohm, t);
        }
    }

    // A coarse logarithmic grid over the accepted range, then a golden-section search between
    // the neighbours of the best grid point. Only the best RL of the pair and choice is offered.
    void try_searched(std::size_t a, std::size_t b, Choice choice) {
        const Sample& s1 = samples_[a];
        const Sample& s2 = samples_[b];
        const std::optional<RlRange> range = rl_range(choice.topology, s1.r, s1.x, s2.r, s2.x);
        if (!range) {
            return;
        }
        const double span = 1 + rl_search_max_q * rl_search_max_q;
        const double lo = std::log(range->max_ohm ? *range->max_ohm / span : *range->min_ohm);
        const double hi = std::log(range->max_ohm ? *range->max_ohm : *range->min_ohm * span);
        if (!std::isfinite(lo) || !std::isfinite(hi)) {
            return;
        }
        constexpr int grid = 12;
        const double step = (hi - lo) / grid;

        double best_log = 0.0;
        double best_error = infinity;
        const Board* best_board = nullptr;
        const auto evaluate = [&](double log_rl) {
            const Trial t = trial(a, b, choice, std::exp(log_rl));
            const double error = t.state ? t.error : infinity;
            if (error < best_error) {
                best_error = error;
                best_log = log_rl;
                best_board = t.board;
            }
            return error;
        };
        for (int k = 0; k < grid; ++k) {
            evaluate(lo + (k + 0.5) * step);
        }
        if (best_board == nullptr || !(best_error < best_board->bound())) {
            return; // pruned everywhere on the grid
        }
        constexpr double golden = 0.6180339887498949;
        double left = std::max(lo, best_log - step);
        double right = std::min(hi, best_log + step);
        double c = right - golden * (right - left);
        double d = left + golden * (right - left);
        double fc = evaluate(c);
        double fd = evaluate(d);
        for (int iteration = 0; iteration < 32; ++iteration) {
            if (fc < fd) {
                right = d;
                d = c;
                fd = fc;
                c = right - golden * (right - left);
                fc = evaluate(c);
            } else {
                left = c;
                c = d;
                fc = fd;
                d = left + golden * (right - left);
                fd = evaluate(d);
            }
        }
        const double rl_ohm = std::exp(best_log);
        const Trial t = trial(a, b, choice, rl_ohm);
        if (t.state && t.error < t.board->bound()) {
            offer(a, b, choice, rl_ohm, t);
        }
    }

    double error_at(const LumpedModel& model, const Sample& s) const {
        return std::abs(model_reflection(model, s.f_ghz, options_.z0_ohm) - s.gamma);
    }

    // The largest error over the samples, stopping as soon as it exceeds `bound`. The samples
    // that ended recent evaluations go first: a model near the board's fails where they did.
    double largest_error(const LumpedModel& model, double bound) {
        double largest = 0.0;
        std::size_t worst = 0;
        const auto visit = [&](std::size_t k) {
            const double e = error_at(model, samples_[k]);
            if (e > largest) {
                largest = e;
                worst = k;
            }
            return largest > bound;
        };
        bool stopped = false;
        for (std::size_t h = 0; h < hot_count_ && !stopped; ++h) {
            stopped = visit(hot_[h]);
        }
        for (std::size_t k = 0; k < order_.size() && !stopped; ++k) {
            stopped = visit(order_[k]);
        }
        remember(worst);
        return largest;
    }

    void remember(std::size_t k) {
        std::size_t at = std::find(hot_.begin(), hot_.begin() + hot_count_, k) - hot_.begin();
        if (at == hot_count_) {
            at = std::min(hot_count_, hot_.size() - 1);
            hot_count_ = std::min(hot_count_ + 1, hot_.size());
        }
        std::rotate(hot_.begin(), hot_.begin() + at, hot_.begin() + at + 1);
        hot_[0] = k;
    }

    std::vector<Sample> samples_;
    std::vector<std::size_t> order_;
    BestFitOptions options_;
    const BestFitProgress& progress_;
    Board main_;
    Board others_;
    std::array<std::size_t, 4> hot_{};
    std::size_t hot_count_ = 0;
};

} // namespace

std::variant<BestFit, std::string> best_fit(const PortData& data, const BestFitOptions& options,
                                            const BestFitProgress& progress) {
    std::vector<Sample> samples;
    for (std::size_t i = 0; i < data.f_ghz.size() && i < data.s.size(); ++i) {
        const double f = data.f_ghz[i];
        if (f <= 0.0 || (options.fmin_ghz && f < *options.fmin_ghz) ||
            (options.fmax_ghz && f > *options.fmax_ghz)) {
            continue;
        }
        const Complex z = impedance_from_reflection(data.s[i], data.reference_ohm);
        const Complex gamma = rereferred(data.s[i], data.reference_ohm, options.z0_ohm);
        if (!std::isfinite(z.real()) || !std::isfinite(z.imag()) || !std::isfinite(gamma.real()) ||
            !std::isfinite(gamma.imag())) {
            continue; // an open circuit: no impedance to give the calculation
        }
        const double q = z.imag() / z.real();
        samples.push_back({i, f, z.real(), z.imag(), z.real() * (1 + q * q), gamma});
    }
    if (samples.size() < 2) {
        return std::string{"Fewer than two samples lie in the range searched"};
    }
    Search search(std::move(samples), options, progress);
    if (!search.run()) {
        return std::string{best_fit_stopped};
    }
    BestFit fit = search.result();
    if (fit.best.empty()) {
        return std::string{"No pair of samples and no choice gives a model"};
    }
    return fit;
}

} // namespace veltrane::rf
