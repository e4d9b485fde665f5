// The designer's starts and its multistart: every shape up to the largest size, started from
// its resonating values, from the best networks one element smaller and at random (each shape
// from its own stream), the best of each size refined, on the pool of threads; then each size's
// best less an end element refined as the size below.

#include "match/designer.h"
#include "parallel/pool.h"

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

std::size_t shape_index(const Shape& shape) {
    std::size_t bits = 0;
    for (std::size_t k = 0; k < shape.kinds.size(); ++k) {
        bits |= (shape.kinds[k] == Kind::C ? std::size_t{1} : 0) << k;
    }
    return (shape.first == Position::Shunt ? std::size_t{1} << shape.kinds.size() : 0) + bits;
}

namespace {
// SplitMix64's finaliser: every bit of the result depends on every bit of `z`.
std::uint64_t mixed(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}
} // namespace

std::uint64_t stream_seed(std::uint64_t seed, std::uint64_t size, std::uint64_t shape) {
    constexpr std::uint64_t golden = 0x9E3779B97F4A7C15ULL;
    return mixed(mixed(mixed(seed) + golden * (size + 1)) + golden * (shape + 1));
}

Designer::Designer(const DesignInput& input)
    : input_(input), objective_(input), all_(all_indices()), coarse_(coarse_indices()) {
    const double f0 = std::sqrt(input.load.f_ghz.front() * input.load.f_ghz.back());
    natural_l_ = input.source_ohm / (two_pi * f0);        // nH: X = R at f0
    natural_c_ = 1000 / (two_pi * f0 * input.source_ohm); // pF: B = 1/R at f0
}

Found Designer::screen(const Shape& shape, std::size_t shape_number,
                       const std::vector<std::vector<double>>* smaller) {
    const std::size_t n = shape.kinds.size();
    const int elements = static_cast<int>(n);
    const Goal score = goal(shape, coarse_);
    // Seeded random points, the best few of them as starts.
    std::mt19937_64 rng(stream_seed(input_.seed, n, shape_number));
    std::vector<Found> sampled;
    for (int r = 0; r < input_.random_points * elements; ++r) {
        std::vector<double> x;
        for (std::size_t k = 0; k < n; ++k) {
            x.push_back(random_span * (2 * unit_uniform(rng()) - 1));
        }
        const double v = score(x);
        sampled.push_back({std::move(x), v});
    }
    const auto kept = std::min(sampled.size(), static_cast<std::size_t>(input_.random_starts));
    std::partial_sort(sampled.begin(), sampled.begin() + static_cast<long>(kept), sampled.end(),
                      [](const Found& a, const Found& b) { return a.value < b.value; });
    std::vector<std::vector<double>> starts;
    starts.emplace_back(n, 0.0);
    if (auto start = resonating_start(shape)) {
        starts.push_back(std::move(*start));
    }
    for (std::size_t r = 0; r < kept; ++r) {
        starts.push_back(std::move(sampled[r].x));
    }
    if (smaller != nullptr) {
        for (auto& start : extensions(shape, *smaller)) {
            starts.push_back(std::move(start));
        }
    }
    Found best{{}, 2.0};
    for (const auto& start : starts) {
        Found found = minimize(score, start, 1.0, input_.screen_evaluations * elements, stopped_);
        if (found.value < best.value) {
            best = std::move(found);
        }
    }
    return best;
}

DesignResult Designer::run() {
    DesignResult result;
    std::vector<std::vector<Shape>> shapes;
    for (int n = 1; n <= input_.max_elements; ++n) {
        shapes.push_back(shapes_of_size(n));
    }
    const auto poll = [this] { return this->poll(); };
    std::vector<std::vector<std::vector<double>>> best_x; // per size, per shape
    std::vector<double> previous_best;                    // best x of the size before
    Shape previous_shape;
    std::vector<std::pair<Shape, Found>> bests; // of each size in result.networks
    for (int n = 1; n <= input_.max_elements && !stopped_; ++n) {
        const std::vector<Shape>& sizes = shapes[static_cast<std::size_t>(n - 1)];
        std::vector<std::vector<double>> xs(sizes.size());
        std::vector<double> coarse_scores(sizes.size());
        // Screening of every ladder on a few samples, the shapes shared among the threads.
        const std::vector<std::vector<double>>* smaller = n > 1 ? &best_x.back() : nullptr;
        parallel::run(
            sizes.size(),
            [&](std::size_t s) {
                if (allowed(sizes[s])) {
                    Found best = screen(sizes[s], s, smaller);
                    xs[s] = std::move(best.x);
                    coarse_scores[s] = best.value;
                } else {
                    coarse_scores[s] = HUGE_VAL;
                }
                done_ += n;
            },
            poll);
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
                    refine.emplace_back(shape_index(shape), std::move(x));
                }
            }
        }
        if (refine.empty()) {
            // No ladder of this size meets the constraints.
            best_x.push_back(std::move(xs));
            continue;
        }
        // The starts refined on the threads, their results taken in order.
        std::vector<Found> refined(refine.size());
        parallel::run(
            refine.size(),
            [&](std::size_t r) {
                refined[r] = refine_all(sizes[refine[r].first], std::move(refine[r].second));
            },
            poll);
        if (stopped_) {
            break;
        }
        Found best{{}, 2.0};
        std::size_t best_shape = 0;
        std::vector<double> refined_scores(sizes.size(), 2.0);
        for (std::size_t r = 0; r < refine.size(); ++r) {
            const std::size_t s = refine[r].first;
            Found& found = refined[r];
            if (found.value < best.value) {
                best = found;
                best_shape = s;
            }
            if (found.value < refined_scores[s]) {
                refined_scores[s] = found.value;
                xs[s] = std::move(found.x);
            }
        }
        previous_best = best.x;
        previous_shape = sizes[best_shape];
        Ladder network = ladder(previous_shape, previous_best);
        const Figures figures = evaluate(network, input_.load, input_.source_ohm, input_.losses);
        result.networks.push_back({std::move(network), figures, static_cast<std::size_t>(n)});
        bests.emplace_back(previous_shape, std::move(best));
        best_x.push_back(std::move(xs));
        report(static_cast<double>(done_) / total_units());
    }
    if (!stopped_) {
        shrink(bests, result);
    }
    result.stopped = stopped_;
    return result;
}

void Designer::improve(std::vector<std::pair<Shape, Found>>& bests, DesignResult& result,
                       std::size_t slot,
                       const std::vector<std::pair<Shape, std::vector<double>>>& starts,
                       std::size_t size) {
    std::vector<Found> refined(starts.size());
    parallel::run(
        starts.size(),
        [&](std::size_t k) { refined[k] = refine_all(starts[k].first, starts[k].second); },
        [this] { return poll(); });
    for (std::size_t k = 0; k < starts.size() && !stopped_; ++k) {
        if (refined[k].value < bests[slot].second.value) {
            bests[slot] = {starts[k].first, std::move(refined[k])};
            Ladder network = ladder(bests[slot].first, bests[slot].second.x);
            const Figures figures =
                evaluate(network, input_.load, input_.source_ohm, input_.losses);
            result.networks[slot] = {std::move(network), figures, size};
        }
    }
}

void Designer::shrink(std::vector<std::pair<Shape, Found>>& bests, DesignResult& result) {
    for (std::size_t i = bests.size(); i-- > 1 && !stopped_;) {
        const std::size_t n = bests[i].first.kinds.size();
        if (bests[i - 1].first.kinds.size() + 1 != n) {
            continue;
        }
        const Shape& shape = bests[i].first;
        const std::vector<double>& x = bests[i].second.x;
        std::vector<std::pair<Shape, std::vector<double>>> starts;
        Shape tail{shape.position(1), {shape.kinds.begin() + 1, shape.kinds.end()}};
        if (allowed(tail)) {
            starts.emplace_back(std::move(tail), std::vector<double>(x.begin() + 1, x.end()));
        }
        Shape head{shape.first, {shape.kinds.begin(), shape.kinds.end() - 1}};
        if (allowed(head)) {
            starts.emplace_back(std::move(head), std::vector<double>(x.begin(), x.end() - 1));
        }
        improve(bests, result, i - 1, starts, n - 1);
    }
    // A size that a smaller one now beats grows that one by an element, so that a larger size
    // is never worse.
    for (std::size_t i = 1; i < bests.size() && !stopped_; ++i) {
        const std::size_t n = bests[i].first.kinds.size();
        if (bests[i - 1].first.kinds.size() + 1 != n ||
            !(bests[i].second.value > bests[i - 1].second.value)) {
            continue;
        }
        std::vector<std::pair<Shape, std::vector<double>>> starts;
        for (auto& start : grown(bests[i - 1].first, bests[i - 1].second.x)) {
            if (allowed(start.first)) {
                starts.push_back(std::move(start));
            }
        }
        improve(bests, result, i, starts, n);
    }
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

void Designer::added_part(const Shape& shape, std::vector<double>& x, std::size_t k,
                          const std::vector<std::size_t>& samples) {
    const Goal score = goal(shape, samples);
    std::vector<double> trial = x;
    double best = score(x);
    for (double v = -log_span; v <= log_span; v += added_part_step) {
        trial[k] = v;
        if (const double w = score(trial); w < best) {
            best = w;
            x[k] = v;
        }
    }
}

std::vector<std::vector<double>>
Designer::extensions(const Shape& shape, const std::vector<std::vector<double>>& smaller) {
    std::vector<std::vector<double>> starts;
    const std::size_t n = shape.kinds.size();
    // A smaller shape the constraints leave out has no point.
    Shape tail{shape.position(1), {shape.kinds.begin() + 1, shape.kinds.end()}};
    const auto& tail_x = smaller[shape_index(tail)];
    if (tail_x.size() + 1 == n) {
        std::vector<double> x{vanishing(shape.position(0), shape.kinds[0])};
        x.insert(x.end(), tail_x.begin(), tail_x.end());
        added_part(shape, x, 0, coarse_);
        starts.push_back(std::move(x));
    }
    Shape head{shape.first, {shape.kinds.begin(), shape.kinds.end() - 1}};
    if (const auto& head_x = smaller[shape_index(head)]; head_x.size() + 1 == n) {
        std::vector<double> x = head_x;
        x.push_back(vanishing(shape.position(n - 1), shape.kinds[n - 1]));
        added_part(shape, x, n - 1, coarse_);
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
        added_part(front, x_front, 0, all_);
        result.emplace_back(std::move(front), std::move(x_front));
        Shape back = shape;
        back.kinds.push_back(kind);
        std::vector<double> x_back = x;
        x_back.push_back(vanishing(back.position(back.kinds.size() - 1), kind));
        added_part(back, x_back, x_back.size() - 1, all_);
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
    if (std::this_thread::get_id() == caller_ && ++evaluations_ % 1024 == 0) {
        report(static_cast<double>(done_) / std::max(total_units(), 1.0));
    }
}

bool Designer::poll() {
    report(static_cast<double>(done_) / std::max(total_units(), 1.0));
    return !stopped_;
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
