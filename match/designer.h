#pragma once
// Inside the network designer: the search's shapes and objective, and the designer that starts
// and grows ladders (design_starts.cpp) and refines them to minimax (design.cpp).

#include "match/design.h"
#include "match/minimize.h"

#include <atomic>
#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>
#include <optional>
#include <random>
#include <span>
#include <thread>
#include <utility>
#include <vector>

namespace veltrane::match::design_detail {

constexpr double two_pi = 2 * std::numbers::pi;

// The search variables are ln(value / natural value), kept within +-log_span: at either end an
// element has next to no effect (a series L or shunt C of almost nothing, a series C or shunt
// L of almost infinite size), which is how a smaller network lives inside a larger one.
constexpr double log_span = 25;
constexpr double random_span = 3;
constexpr double added_part_step = 0.5;
constexpr std::size_t coarse_samples = 25;
constexpr std::size_t refined_per_size = 4;
// Standard values: each part tries the values this many steps either side of its nearest; every
// combination when there are at most so many, else one part at a time.
constexpr int standard_steps_each_side = 2;
constexpr std::size_t exhaustive_combinations = 20'000;

// A ladder's shape: the first element's position and each element's kind.
struct Shape {
    Position first = Position::Series;
    std::vector<Kind> kinds;

    [[nodiscard]] Position position(std::size_t k) const {
        const bool same = k % 2 == 0;
        return same == (first == Position::Series) ? Position::Series : Position::Shunt;
    }
};

// Every shape of `n` elements: both first positions, every choice of L and C; a shape's place
// in it is shape_index().
[[nodiscard]] std::vector<Shape> shapes_of_size(int n);
[[nodiscard]] std::size_t shape_index(const Shape& shape);

// The seed of the random stream of one piece of the search, from the design's seed and the
// piece's place (size, shape): the same stream whichever thread runs the piece, and in whatever
// order.
[[nodiscard]] std::uint64_t stream_seed(std::uint64_t seed, std::uint64_t size,
                                        std::uint64_t shape);

// Impedance and admittance of unit parts at each sample, so that a ladder is evaluated with a
// multiplication or a division per element and sample; `active` holds the samples looked at.
class Objective {
  public:
    explicit Objective(const DesignInput& input)
        : source_ohm_(input.source_ohm),
          gain_(input.aim == DesignAim::Gain && !input.losses.lossless()),
          capacitor_series_(input.losses.capacitor_esl_nh || input.losses.capacitor_esr_ohm) {
        const Load& load = input.load;
        // A capacitor's series L and R do not scale with C: kept apart, added per value.
        Losses unit_losses = input.losses;
        unit_losses.capacitor_esl_nh.reset();
        unit_losses.capacitor_esr_ohm.reset();
        for (std::size_t i = 0; i < load.f_ghz.size(); ++i) {
            const double f = load.f_ghz[i];
            const Complex l_unit =
                branch_impedance({Position::Series, Kind::L, 1.0}, f, unit_losses);
            const Complex c_unit =
                1.0 / branch_impedance({Position::Shunt, Kind::C, 1.0}, f, unit_losses);
            z_cs_.push_back(input.losses.capacitor_series(f));
            z_l_.push_back(l_unit);
            y_l_.push_back(1.0 / l_unit);
            y_c_.push_back(c_unit);
            z_c_.push_back(1.0 / c_unit);
            z_load_.push_back(load.z_ohm[i]);
        }
        if (load.complex_source()) {
            z_source_ = load.source_z_ohm;
        }
    }

    [[nodiscard]] std::size_t size() const { return z_load_.size(); }

    // at_of() and worst_of() for these parts: with a capacitor's series L and R or without, chosen
    // once per call so that the loops without them run as fast as they would alone.
    [[nodiscard]] double at(std::size_t i, const Shape& shape, const double* values) const {
        return capacitor_series_ ? at_of<true>(i, shape, values) : at_of<false>(i, shape, values);
    }
    [[nodiscard]] double worst(const std::vector<std::size_t>& samples, const Shape& shape,
                               const double* values) const {
        return capacitor_series_ ? worst_of<true>(samples, shape, values)
                                 : worst_of<false>(samples, shape, values);
    }

    // |Gamma_in|^2 at sample i of a ladder with these positions, kinds and values, or 1 - its
    // transducer gain when the aim is the gain. The impedance is carried as a fraction p / q, so
    // that no element needs a division: p and q are the input's voltage and current when 1 A
    // flows into the load, so the load takes Re(Z_load) W of |p + R q|^2 / (4 R) available.
    template <bool series_c>
    [[nodiscard]] double at_of(std::size_t i, const Shape& shape, const double* values) const {
        // Written out in real arithmetic: std::complex's product checks for infinities.
        double pr = z_load_[i].real();
        double pi = z_load_[i].imag();
        double qr = 1.0;
        double qi = 0.0;
        for (std::size_t k = shape.kinds.size(); k-- > 0;) {
            const double v = values[k];
            const bool inductor = shape.kinds[k] == Kind::L;
            if (shape.position(k) == Position::Series) {
                Complex u = inductor ? v * z_l_[i] : z_c_[i] / v;
                if constexpr (series_c) {
                    u = inductor ? u : u + z_cs_[i];
                }
                pr += u.real() * qr - u.imag() * qi;
                pi += u.real() * qi + u.imag() * qr;
            } else {
                Complex u = inductor ? y_l_[i] / v : v * y_c_[i];
                if constexpr (series_c) {
                    u = inductor ? u : 1.0 / (1.0 / u + z_cs_[i]);
                }
                qr += u.real() * pr - u.imag() * pi;
                qi += u.real() * pi + u.imag() * pr;
            }
        }
        if (!z_source_.empty()) {
            return complex_source(i, pr, pi, qr, qi);
        }
        const double ar = pr - source_ohm_ * qr;
        const double ai = pi - source_ohm_ * qi;
        const double br = pr + source_ohm_ * qr;
        const double bi = pi + source_ohm_ * qi;
        const double b2 = br * br + bi * bi;
        const double g =
            gain_ ? 1 - 4 * source_ohm_ * z_load_[i].real() / b2 : (ar * ar + ai * ai) / b2;
        return std::isnan(g) ? 1.0 : g;
    }

    // The same from a source of complex impedance Zs: the power-wave reflection
    // |p - conj(Zs) q|^2 / |p + Zs q|^2, or 1 - 4 Re(Zs) Re(Z_load) / |p + Zs q|^2.
    [[nodiscard]] double complex_source(std::size_t i, double pr, double pi, double qr,
                                        double qi) const {
        const double rs = z_source_[i].real();
        const double xs = z_source_[i].imag();
        const double ar = pr - rs * qr - xs * qi;
        const double ai = pi - rs * qi + xs * qr;
        const double br = pr + rs * qr - xs * qi;
        const double bi = pi + rs * qi + xs * qr;
        const double b2 = br * br + bi * bi;
        const double g = gain_ ? 1 - 4 * rs * z_load_[i].real() / b2 : (ar * ar + ai * ai) / b2;
        return std::isnan(g) ? 1.0 : g;
    }

    // The largest over `samples`.
    template <bool series_c>
    [[nodiscard]] double worst_of(const std::vector<std::size_t>& samples, const Shape& shape,
                                  const double* values) const {
        double largest = 0.0;
        for (std::size_t i : samples) {
            largest = std::max(largest, at_of<series_c>(i, shape, values));
        }
        return largest;
    }

  private:
    double source_ohm_;
    bool gain_;
    bool capacitor_series_;
    std::vector<Complex> z_l_, y_l_, y_c_, z_c_, z_load_, z_cs_;
    std::vector<Complex> z_source_; // empty: the resistive source_ohm_
};

class Designer {
  public:
    explicit Designer(const DesignInput& input);

    [[nodiscard]] Ladder ladder(const Shape& shape, const std::vector<double>& x) const;

    [[nodiscard]] double value(Kind kind, double x) const;

    [[nodiscard]] double log_value(const Element& element) const;

    // The score of a point: the largest |Gamma_in|^2 on the given samples.
    [[nodiscard]] Goal goal(const Shape& shape, const std::vector<std::size_t>& samples);

    // Minimax on all samples by exchange: refine on a few samples, add the local peaks of
    // |Gamma_in| over all samples that exceed the few's worst, and again, until the few's worst
    // is the worst of all. Never returns a point worse than the start on all samples.
    Found refine_all(const Shape& shape, std::vector<double> start);

    DesignResult run();

    // Local minimax refinement: Nelder-Mead restarted around the best point with smaller and
    // smaller simplices until a restart no longer improves.
    Found refine_minimax(const Goal& score, std::vector<double> start);

    // Re-optimises the variables not in `fixed` from `x`, on every sample.
    Found refine_free(const Shape& shape, const std::vector<double>& x,
                      const std::vector<bool>& fixed);

    std::optional<Design> round_to(const Design& design, rf::ESeries series);

  private:
    std::vector<std::size_t> all_indices() const;

    std::vector<std::size_t> coarse_indices() const;

    // The start with every part at its natural value except the one next to the load, which
    // resonates the load's reactance (series) or susceptance (shunt) at the band's centre; none
    // when that part cannot (a series L cannot cancel an inductive load).
    std::optional<std::vector<double>> resonating_start(const Shape& shape) const;

    static double vanishing(Position position, Kind kind);

    // Screening of one shape on the coarse samples from its resonating start, seeded random
    // points (the stream of `shape_number` in `size`) and the extensions of `smaller`. One
    // piece of the pool's work: it touches nothing shared but the stop flag and the count done.
    Found screen(const Shape& shape, std::size_t shape_number,
                 const std::vector<std::vector<double>>* smaller);

    // From the largest size down: the best network of each size with its first or its last
    // element taken out, refined on all samples, replaces the best of one element fewer where
    // it is better (a larger search can find what the smaller one missed); a size then beaten
    // by the one below is that one grown.
    void shrink(std::vector<std::pair<Shape, Found>>& bests, DesignResult& result);

    // Refines every start on the pool; the best that beats `bests[slot]` takes its place and
    // that of the network of `size` elements in `result`.
    void improve(std::vector<std::pair<Shape, Found>>& bests, DesignResult& result,
                 std::size_t slot, const std::vector<std::pair<Shape, std::vector<double>>>& starts,
                 std::size_t size);

    // Starts for `shape` from the screened networks of one element fewer: the shape without
    // its first or without its last element, with that element vanishing.
    std::vector<std::vector<double>> extensions(const Shape& shape,
                                                const std::vector<std::vector<double>>& smaller);

    // Sets the added part k of `x` (vanishing) to the value of a scan over its whole range that
    // scores best on `samples`, when one beats vanishing: a local search cannot leave the plateau
    // where a part does nothing.
    void added_part(const Shape& shape, std::vector<double>& x, std::size_t k,
                    const std::vector<std::size_t>& samples);

    // The shapes one element larger that hold `shape` with an added element at either end
    // (added_part on all samples), with their starting points.
    std::vector<std::pair<Shape, std::vector<double>>> grown(const Shape& shape,
                                                             const std::vector<double>& x);

    static std::vector<double> standard_neighbours(double value, rf::ESeries series);

    // The standard values from `steps` below the one nearest `value` to `steps` above it.
    static std::vector<double> standard_steps(double value, rf::ESeries series, int steps);

    // Whether the constraints allow the shape's positions and kinds.
    [[nodiscard]] bool allowed(const Shape& shape) const;

    // Counts an evaluation; every 1,024 on the thread that started the design, reports.
    void tick();

    double total_units() const;

    // Tells the caller the share done; called only on the thread that started the design (the
    // pool's threads look at `stopped_`).
    void report(double done);

    // For parallel::run: reports, and whether to go on.
    bool poll();

    const DesignInput& input_;
    Objective objective_;
    std::vector<std::size_t> all_;
    std::vector<std::size_t> coarse_;
    double natural_l_ = 1;
    double natural_c_ = 1;
    std::thread::id caller_ = std::this_thread::get_id();
    std::atomic<long> done_{0}; // units: a shape of n elements screened is n
    long evaluations_ = 0;      // on the caller's thread
    std::atomic<bool> stopped_{false};
};

} // namespace veltrane::match::design_detail
