// The designer's starts and its multistart: every shape up to the largest size, started from
// its resonating values, from the best networks one element smaller and at random, the best of
// each size refined.

#include "match/designer.h"

#include <algorithm>
#include <array>

namespace veltrane::match::design_detail {

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

Designer::Designer(const DesignInput& input)
    : input_(input), objective_(input), all_(all_indices()), coarse_(coarse_indices()),
      rng_(input.seed) {
    const double f0 = std::sqrt(input.load.f_ghz.front() * input.load.f_ghz.back());
    natural_l_ = input.source_ohm / (two_pi * f0);        // nH: X = R at f0
    natural_c_ = 1000 / (two_pi * f0 * input.source_ohm); // pF: B = 1/R at f0
}

DesignResult Designer::run() {
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
            if (!allowed(shape)) {
                coarse_scores[s] = HUGE_VAL;
                done_ += n;
                continue;
            }
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
                Found found = minimize(score, start, 1.0, input_.screen_evaluations * n, stopped_);
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
            if (coarse_scores[order[r]] < HUGE_VAL) {
                refine.emplace_back(order[r], xs[order[r]]);
            }
        }
        if (n > 1 && previous_shape.kinds.size() + 1 == static_cast<std::size_t>(n)) {
            for (auto& [shape, x] : grown(previous_shape, previous_best)) {
                if (allowed(shape)) {
                    refine.emplace_back(index_of(shape), std::move(x));
                }
            }
        }
        if (refine.empty()) {
            // No ladder of this size meets the constraints.
            best_x.push_back(std::move(xs));
            continue;
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
        const Figures figures = evaluate(network, input_.load, input_.source_ohm, input_.losses);
        result.networks.push_back({std::move(network), figures, static_cast<std::size_t>(n)});
        best_x.push_back(std::move(xs));
        report(done_ / total);
    }
    result.stopped = stopped_;
    return result;
}

std::vector<std::size_t> Designer::all_indices() const {
    std::vector<std::size_t> indices(input_.load.f_ghz.size());
    for (std::size_t i = 0; i < indices.size(); ++i) {
        indices[i] = i;
    }
    return indices;
}

std::vector<std::size_t> Designer::coarse_indices() const {
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

std::optional<std::vector<double>> Designer::resonating_start(const Shape& shape) const {
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

double Designer::vanishing(Position position, Kind kind) {
    const bool small = (position == Position::Series) == (kind == Kind::L);
    return small ? -log_span : log_span;
}

template <typename IndexOf>
std::vector<std::vector<double>>
Designer::extensions(const Shape& shape, const std::vector<std::vector<double>>& smaller,
                     const IndexOf& index_of) const {
    std::vector<std::vector<double>> starts;
    const std::size_t n = shape.kinds.size();
    // A smaller shape the constraints leave out has no point.
    Shape tail{shape.position(1), {shape.kinds.begin() + 1, shape.kinds.end()}};
    const auto& tail_x = smaller[index_of(tail)];
    if (tail_x.size() + 1 == n) {
        std::vector<double> x{vanishing(shape.position(0), shape.kinds[0])};
        x.insert(x.end(), tail_x.begin(), tail_x.end());
        starts.push_back(std::move(x));
    }
    Shape head{shape.first, {shape.kinds.begin(), shape.kinds.end() - 1}};
    if (const auto& head_x = smaller[index_of(head)]; head_x.size() + 1 == n) {
        std::vector<double> x = head_x;
        x.push_back(vanishing(shape.position(n - 1), shape.kinds[n - 1]));
        starts.push_back(std::move(x));
    }
    return starts;
}

std::vector<std::pair<Shape, std::vector<double>>> Designer::grown(const Shape& shape,
                                                                   const std::vector<double>& x) {
    std::vector<std::pair<Shape, std::vector<double>>> result;
    const Position before = shape.first == Position::Series ? Position::Shunt : Position::Series;
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

bool Designer::allowed(const Shape& shape) const {
    if (!input_.constraints.any()) {
        return true;
    }
    Ladder l;
    for (std::size_t k = 0; k < shape.kinds.size(); ++k) {
        l.push_back({shape.position(k), shape.kinds[k], 1.0});
    }
    return input_.constraints.allows(l, false);
}

void Designer::tick() {
    if (++evaluations_ % 1024 == 0) {
        report(done_ / std::max(total_units(), 1.0));
    }
}

double Designer::total_units() const {
    double total = 0;
    for (int n = 1; n <= input_.max_elements; ++n) {
        total += static_cast<double>(2U << n) * n;
    }
    return total;
}

void Designer::report(double done) {
    if (input_.progress && !stopped_ && !input_.progress(std::min(done, 1.0))) {
        stopped_ = true;
    }
}

} // namespace veltrane::match::design_detail
