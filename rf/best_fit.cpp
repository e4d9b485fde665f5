#include "rf/best_fit.h"

#include "rf/choices.h"
#include "rf/fit.h"
#include "rf/model_impedance.h"
#include "rf/response.h"
#include "rf/rl_search.h"

#include "parallel/pool.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <utility>

namespace veltrane::rf {

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

// The share of the progress the search on fewer samples takes before the refinement.
constexpr double refine_share_done = 0.9;

// A sample inside the range, with what the calculation and the comparison need of it.
// Kept small: a search over every sample of a large file holds one for each.
struct Sample {
    double f_ghz;
    double r, x;         // the impedance, as the calculation is given it
    Complex gamma;       // referred to the comparison's reference
    std::uint32_t index; // in the data

    // R (1 + (X/R)^2), the Series/Parallel limit of RL.
    [[nodiscard]] double r_parallel() const {
        const double q = x / r;
        return r * (1 + q * q);
    }
};

// The best few candidates, kept sorted by their largest error.
class Board {
  public:
    // Nothing at or above `ceiling` can be among the best few of the whole search.
    explicit Board(double ceiling = infinity) : ceiling_(ceiling) {}
    [[nodiscard]] double bound() const {
        return entries_.size() < best_fit_kept ? ceiling_
                                               : std::min(ceiling_, entries_.back().max_error);
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
    double ceiling_;
    std::vector<Candidate> entries_;
};

// Samples among which a few pairs are tried first, for a ceiling on the best few's errors.
constexpr std::size_t ceiling_samples = 24;

// Samples in an order that meets a large error early: the ends first, then the middle of every
// interval already visited, so that any stretch of the band is sampled after a few steps.
std::vector<std::uint32_t> spread_order(std::uint32_t n) {
    std::vector<std::uint32_t> order;
    order.reserve(n);
    if (n == 0) {
        return order;
    }
    order.push_back(0);
    if (n == 1) {
        return order;
    }
    order.push_back(n - 1);
    // Intervals waiting for their middle, widest first: at most about n / 2 at once.
    std::deque<std::pair<std::uint32_t, std::uint32_t>> intervals{{0, n - 1}};
    while (!intervals.empty()) {
        const auto [lo, hi] = intervals.front();
        intervals.pop_front();
        if (hi - lo < 2) {
            continue;
        }
        const std::uint32_t mid = lo + (hi - lo) / 2;
        order.push_back(mid);
        intervals.emplace_back(lo, mid);
        intervals.emplace_back(mid, hi);
    }
    return order;
}

// The samples a search judges, and the order it visits them in.
struct SampleSet {
    explicit SampleSet(std::vector<Sample> all)
        : samples(std::move(all)), order(spread_order(static_cast<std::uint32_t>(samples.size()))) {
    }
    std::vector<Sample> samples;
    std::vector<std::uint32_t> order;
};

class Search {
  public:
    Search(const SampleSet& set, const BestFitOptions& options, const BestFitProgress& progress)
        : set_(set), samples_(set.samples), order_(set.order), options_(options),
          progress_(progress) {}

    // Every pair, one row of pairs (a, every b after a) a piece of work for the pool, each row
    // on boards of its own; the rows' boards then joined in row order, so that the result does
    // not depend on how many threads ran them. False when the caller stopped it.
    bool run() {
        const std::size_t n = samples_.size();
        const double pairs = static_cast<double>(n) * static_cast<double>(n - 1) / 2;
        std::atomic<std::size_t> pairs_done{0};
        std::atomic<bool> stop{false};
        std::vector<std::vector<Candidate>> mains(n - 1);
        std::vector<std::vector<Candidate>> others(n - 1);
        const auto first = first_ceiling();
        const double ceiling = first.first;
        const bool positive_known = first.second;
        const auto row = [&](std::size_t a) {
            Search search(set_, options_, progress_);
            search.main_ = Board(ceiling);
            search.positive_known_ = positive_known;
            for (std::size_t b = a + 1; b < n && !stop; ++b) {
                for (const Choice& choice : all_choices) {
                    if (options_.rl_ohm) {
                        search.try_fixed(a, b, choice, *options_.rl_ohm);
                    } else {
                        search.try_searched(a, b, choice);
                    }
                }
                pairs_done.fetch_add(1, std::memory_order_relaxed);
            }
            mains[a] = search.main_.take();
            others[a] = search.others_.take();
        };
        // The caller is told the share done and asked whether to go on on its own thread.
        if (progress_ && !progress_(0.0)) {
            return false;
        }
        const auto go_on = [&] {
            if (progress_ && !progress_(static_cast<double>(pairs_done.load()) / pairs)) {
                stop = true;
            }
            return !stop;
        };
        if (!parallel::run(n - 1, row, go_on) || stop) {
            return false;
        }
        for (std::size_t a = 0; a + 1 < n; ++a) {
            for (Candidate& c : mains[a]) {
                main_.offer(std::move(c));
            }
            for (Candidate& c : others[a]) {
                others_.offer(std::move(c));
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
        } else if (no_positive_yet()) {
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
        return !(rl > std::min(s1.r_parallel(), s2.r_parallel()) * (1 + margin));
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
        double largest = 0.0; // squared
        for (const Sample& s : samples_) {
            const double e = error_squared_at(model, s);
            sum_squares += e;
            if (e > largest) {
                largest = e;
                c.at_ghz = s.f_ghz;
            }
        }
        c.max_error = std::sqrt(largest);
        c.rms_error = std::sqrt(sum_squares / static_cast<double>(samples_.size()));
        t.board->offer(std::move(c));
    }

    void try_fixed(std::size_t a, std::size_t b, Choice choice, double rl_ohm) {
        const Trial t = trial(a, b, choice, rl_ohm);
        if (t.state && t.error < t.board->bound()) {
            offer(a, b, choice, rl_ohm, t);
        }
    }

    // Which models an RL search looks at: the positive ones and the others are searched apart,
    // so that the objective of one search does not jump between two lists.
    enum class Kind { Positive, Other, Any };

    // The largest error of the pair and choice at `rl_ohm` over every sample, or infinity when
    // the calculation gives no model of that kind. A value above `stop` may be any value above
    // it (the evaluation ends there): a search compares it only with `stop` itself.
    double objective(std::size_t a, std::size_t b, Choice choice, double rl_ohm, Kind kind,
                     double stop) {
        if (!could_solve(samples_[a], samples_[b], choice.topology, rl_ohm)) {
            return infinity;
        }
        const Inputs inputs =
            inputs_from_ghz(samples_[a].f_ghz, samples_[a].r, samples_[a].x, samples_[b].f_ghz,
                            samples_[b].r, samples_[b].x, rl_ohm);
        auto solved = solve(inputs, choice);
        const Result* state = std::get_if<Result>(&solved);
        if (state == nullptr) {
            return infinity;
        }
        const bool positive = all_positive(*state);
        if ((kind == Kind::Positive && !positive) || (kind == Kind::Other && positive)) {
            return infinity;
        }
        return largest_error(LumpedModel::from(*state, choice.topology), stop);
    }

    // RL searched over the accepted range, up to section Q rl_search_max_q: the positive models
    // on the main board (all models with allow_negative); the others, while no positive model
    // is known, on their own board.
    void try_searched(std::size_t a, std::size_t b, Choice choice) {
        if (options_.allow_negative) {
            offer_searched(a, b, choice, Kind::Any, main_);
            return;
        }
        offer_searched(a, b, choice, Kind::Positive, main_);
        if (no_positive_yet()) {
            offer_searched(a, b, choice, Kind::Other, others_);
        }
    }

    // The RL of the smallest error for the pair and choice, among models of the kind.
    std::optional<RlMinimum> searched_rl(std::size_t a, std::size_t b, Choice choice, Kind kind,
                                         double bound) {
        const Sample& s1 = samples_[a];
        const Sample& s2 = samples_[b];
        return search_rl(
            choice.topology, s1.r, s1.x, s2.r, s2.x, bound,
            [&](double rl_ohm, double stop) { return objective(a, b, choice, rl_ohm, kind, stop); },
            [this] { return stopped(); });
    }

    void offer_searched(std::size_t a, std::size_t b, Choice choice, Kind kind, Board& board) {
        const std::optional<RlMinimum> found = searched_rl(a, b, choice, kind, board.bound());
        if (!found || !(found->error < board.bound())) {
            return;
        }
        const Trial t = trial(a, b, choice, found->rl_ohm);
        if (t.state && t.board == &board) {
            offer(a, b, choice, found->rl_ohm, t);
        }
    }

    // A bound every model among the best few of the whole search stays under: the pairs of a
    // few evenly spread samples tried first (their models judged on every sample), just above
    // the fifth best of them. It lets every row of pairs, started on boards of its own, leave
    // out at once what cannot be among the best, and does not depend on the threads.
    std::pair<double, bool> first_ceiling() {
        const std::size_t n = samples_.size();
        if (n <= ceiling_samples) {
            return {infinity, false};
        }
        Search search(set_, options_, progress_);
        for (std::size_t i = 0; i < ceiling_samples; ++i) {
            for (std::size_t j = i + 1; j < ceiling_samples; ++j) {
                const std::size_t a = i * (n - 1) / (ceiling_samples - 1);
                const std::size_t b = j * (n - 1) / (ceiling_samples - 1);
                for (const Choice& choice : all_choices) {
                    if (options_.rl_ohm) {
                        search.try_fixed(a, b, choice, *options_.rl_ohm);
                    } else {
                        search.try_searched(a, b, choice);
                    }
                }
            }
        }
        const double fifth = search.main_.bound();
        return {std::isfinite(fifth) ? std::nextafter(fifth, infinity) : infinity,
                !search.main_.empty()};
    }

  public:
    // The candidates a search on fewer samples found, judged again on these samples; the best
    // one first moved to the pair of these samples near it that fits best (its RL searched
    // again when RL is searched). `stride`: the spacing, in these samples, of the ones searched
    // before. False when the caller stopped it.
    bool refine(const std::vector<Candidate>& found, std::size_t stride) {
        polled_ = true;
        for (std::size_t k = 0; k < found.size(); ++k) {
            const Candidate& c = found[k];
            std::size_t a = position(c.i1);
            std::size_t b = position(c.i2);
            const Kind kind =
                options_.allow_negative ? Kind::Any : (c.positive ? Kind::Positive : Kind::Other);
            Board& board = kind == Kind::Other ? others_ : main_;
            double rl_ohm = c.rl_ohm;
            if (k == 0) {
                if (!descend(a, b, c.choice, rl_ohm, kind, stride)) {
                    return false;
                }
                if (!options_.rl_ohm) {
                    if (const auto searched = searched_rl(a, b, c.choice, kind, infinity)) {
                        rl_ohm = searched->rl_ohm;
                    }
                    if (stop_asked_) {
                        return false;
                    }
                }
            }
            const Trial t = trial(a, b, c.choice, rl_ohm);
            if (t.state && t.board == &board) {
                offer(a, b, c.choice, rl_ohm, t);
            }
            if (progress_ && !progress_(refine_share_done +
                                        (1 - refine_share_done) * static_cast<double>(k + 1) /
                                            static_cast<double>(found.size()))) {
                return false;
            }
        }
        return true;
    }

  private:
    // In the refinement every evaluation runs over all samples: the caller is asked between
    // them whether to go on.
    bool stopped() {
        if (polled_ && progress_ && !stop_asked_ && !progress_(refine_share_done)) {
            stop_asked_ = true;
        }
        return stop_asked_;
    }

    std::size_t position(std::size_t data_index) const {
        return static_cast<std::size_t>(
            std::lower_bound(samples_.begin(), samples_.end(), data_index,
                             [](const Sample& s, std::size_t i) { return s.index < i; }) -
            samples_.begin());
    }

    // Moves the pair (a, b) by `stride` samples, then half that, down to one, as long as a move
    // lowers the largest error over every sample.
    bool descend(std::size_t& a, std::size_t& b, Choice choice, double rl_ohm, Kind kind,
                 std::size_t stride) {
        const auto n = static_cast<std::ptrdiff_t>(samples_.size());
        double error = objective(a, b, choice, rl_ohm, kind, infinity);
        constexpr std::array<std::pair<int, int>, 8> moves = {
            {{-1, 0}, {1, 0}, {0, -1}, {0, 1}, {-1, -1}, {1, 1}, {-1, 1}, {1, -1}}};
        for (std::ptrdiff_t step = static_cast<std::ptrdiff_t>(stride); step >= 1;) {
            bool moved = false;
            for (const auto& [da, db] : moves) {
                const std::ptrdiff_t na = static_cast<std::ptrdiff_t>(a) + da * step;
                const std::ptrdiff_t nb = static_cast<std::ptrdiff_t>(b) + db * step;
                if (na < 0 || nb >= n || na >= nb) {
                    continue;
                }
                const double value =
                    objective(static_cast<std::size_t>(na), static_cast<std::size_t>(nb), choice,
                              rl_ohm, kind, error);
                if (value < error) {
                    a = static_cast<std::size_t>(na);
                    b = static_cast<std::size_t>(nb);
                    error = value;
                    moved = true;
                }
                if (stopped()) {
                    return false;
                }
            }
            if (!moved) {
                step /= 2;
            }
        }
        return true;
    }

    double error_squared_at(const LumpedModel& model, const Sample& s) const {
        return reflection_error_squared(model, s.f_ghz, options_.z0_ohm, s.gamma);
    }

    // The largest error over the samples, stopping as soon as it exceeds `bound`. The samples
    // that ended recent evaluations go first: a model near the board's fails where they did.
    double largest_error(const LumpedModel& model, double bound) {
        // Squares compared: the square root is taken once, of the largest.
        const double bound_squared = bound * bound;
        double largest = 0.0;
        std::size_t worst = 0;
        const auto visit = [&](std::size_t k) {
            const double e = error_squared_at(model, samples_[k]);
            if (e > largest) {
                largest = e;
                worst = k;
            }
            return largest > bound_squared;
        };
        bool stopped = false;
        for (std::size_t h = 0; h < hot_count_ && !stopped; ++h) {
            stopped = visit(hot_[h]);
        }
        for (std::size_t k = 0; k < order_.size() && !stopped; ++k) {
            stopped = visit(order_[k]);
        }
        remember(worst);
        return std::sqrt(largest);
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

    const SampleSet& set_;
    const std::vector<Sample>& samples_;
    const std::vector<std::uint32_t>& order_;
    BestFitOptions options_;
    const BestFitProgress& progress_;
    Board main_;
    Board others_;
    bool polled_ = false;
    bool stop_asked_ = false;
    // A model with positive elements is known elsewhere in the search: the others' board,
    // kept only while none is, is not needed.
    bool positive_known_ = false;

    [[nodiscard]] bool no_positive_yet() const { return !positive_known_ && main_.empty(); }
    std::array<std::size_t, 4> hot_{};
    std::size_t hot_count_ = 0;
};

} // namespace

std::variant<BestFit, std::string> best_fit(const PortData& data, const BestFitOptions& options,
                                            const BestFitProgress& progress) {
    std::vector<Sample> samples;
    // Samples are numbered in 32 bits: more than fit there could not be held in memory anyway.
    const std::size_t count = std::min(
        {data.f_ghz.size(), data.s.size(), std::size_t{std::numeric_limits<std::uint32_t>::max()}});
    samples.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double f = data.f_ghz[i];
        if (!FrequencyRange{options.fmin_ghz, options.fmax_ghz}.contains(f)) {
            continue;
        }
        const Complex z = impedance_from_reflection(data.s[i], data.reference_ohm);
        const Complex gamma = rereferred(data.s[i], data.reference_ohm, options.z0_ohm);
        if (!std::isfinite(z.real()) || !std::isfinite(z.imag()) || !std::isfinite(gamma.real()) ||
            !std::isfinite(gamma.imag())) {
            continue; // an open circuit: no impedance to give the calculation
        }
        samples.push_back({f, z.real(), z.imag(), gamma, static_cast<std::uint32_t>(i)});
    }
    if (samples.size() < 2) {
        return std::string{"Fewer than two samples lie in the range searched"};
    }
    BestFit fit;
    if (samples.size() <= (options.rl_ohm ? best_fit_thin_above : best_fit_thin_above_searched)) {
        const SampleSet set(std::move(samples));
        Search search(set, options, progress);
        if (!search.run()) {
            return std::string{best_fit_stopped};
        }
        fit = search.result();
    } else {
        // Pairs chosen among evenly spaced samples (the last one included), then the best found
        // moved to its best neighbouring pair and everything judged on every sample.
        // Spaced by (n - 1) / (wanted - 1) samples, rounded down, not by a whole stride: just
        // above the threshold the pairs are chosen among as many samples as just below it.
        const std::size_t wanted = options.rl_ohm ? best_fit_thinned : best_fit_thinned_searched;
        const std::size_t last = samples.size() - 1;
        const std::size_t stride = (last + wanted - 2) / (wanted - 1); // the widest spacing
        std::vector<Sample> thinned;
        for (std::size_t k = 0; k < wanted; ++k) {
            thinned.push_back(samples[k * last / (wanted - 1)]);
        }
        const std::size_t thinned_count = thinned.size();
        const BestFitProgress coarse_progress = [&progress](double done) {
            return !progress || progress(done * refine_share_done);
        };
        const SampleSet coarse_set(std::move(thinned));
        Search coarse(coarse_set, options, coarse_progress);
        if (!coarse.run()) {
            return std::string{best_fit_stopped};
        }
        const BestFit first = coarse.result();
        const std::size_t total = samples.size();
        const SampleSet fine_set(std::move(samples));
        Search fine(fine_set, options, progress);
        if (!fine.refine(first.best, stride)) {
            return std::string{best_fit_stopped};
        }
        fit = fine.result();
        fit.samples = total;
        fit.thinned = thinned_count;
    }
    if (fit.best.empty()) {
        return std::string{"No pair of samples and no choice gives a model"};
    }
    return fit;
}

} // namespace veltrane::rf
