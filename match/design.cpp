#include "match/design.h"

#include "match/designer.h"
#include "match/minimize.h"
#include "parallel/pool.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <tuple>
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
    return input_.constraints.clamped(kind, (kind == Kind::L ? natural_l_ : natural_c_) *
                                                std::exp(std::clamp(x, -log_span, log_span)));
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
    // Each part's standard values around its nearest, `standard_steps` either side.
    std::vector<std::vector<double>> choices;
    std::vector<double> nearest;
    const Constraints& limits = input_.constraints;
    bool nearest_allowed = true;
    for (const Element& element : design.ladder) {
        std::vector<double> steps = standard_steps(element.value, series, standard_steps_each_side);
        std::erase_if(steps, [&](double v) { return limits.clamped(element.kind, v) != v; });
        if (steps.empty()) {
            return std::nullopt; // no standard value within the part's range near it
        }
        choices.push_back(std::move(steps));
        const double near = rf::nearest_standard_value(element.value, series);
        nearest_allowed = nearest_allowed && limits.clamped(element.kind, near) == near;
        nearest.push_back(near);
    }
    const std::size_t n = x.size();
    const auto worst = [&](const std::vector<double>& values) {
        tick();
        return objective_.worst(all_, shape, values.data());
    };
    // Nearest rounding first: every later candidate must beat it.
    std::vector<double> best_values = nearest;
    double best = nearest_allowed ? worst(best_values) : 2.0;
    if (!nearest_allowed) {
        for (std::size_t k = 0; k < choices.size(); ++k) {
            best_values[k] = choices[k][choices[k].size() / 2];
        }
    }

    // Greedy: one part fixed at a time, at the standard value below or above it, the others
    // re-optimised.
    std::vector<bool> fixed(n, false);
    std::vector<double> fixed_values(n, 0.0);
    const auto poll = [this] { return this->poll(); };
    for (std::size_t step = 0; step < n && !stopped_; ++step) {
        // The candidates (part, standard value) re-optimised on the threads, taken in order.
        std::vector<std::pair<std::size_t, double>> candidates;
        for (std::size_t k = 0; k < n; ++k) {
            if (fixed[k]) {
                continue;
            }
            for (double candidate : standard_neighbours(value(shape.kinds[k], x[k]), series)) {
                if (limits.clamped(shape.kinds[k], candidate) == candidate) {
                    candidates.emplace_back(k, candidate);
                }
            }
        }
        std::vector<Found> tried(candidates.size());
        parallel::run(
            candidates.size(),
            [&](std::size_t c) {
                const auto [k, candidate] = candidates[c];
                std::vector<double> trial = x;
                trial[k] =
                    std::log(candidate / (shape.kinds[k] == Kind::L ? natural_l_ : natural_c_));
                std::vector<bool> now_fixed = fixed;
                now_fixed[k] = true;
                tried[c] = refine_free(shape, trial, now_fixed);
            },
            poll);
        if (stopped_) {
            break;
        }
        Found best_step{{}, 2.0};
        std::size_t best_k = 0;
        double best_value = 0;
        for (std::size_t c = 0; c < candidates.size(); ++c) {
            if (tried[c].value < best_step.value) {
                best_step = std::move(tried[c]);
                std::tie(best_k, best_value) = candidates[c];
            }
        }
        if (best_step.x.empty()) {
            break; // no standard value within range for the parts left
        }
        x = best_step.x;
        fixed[best_k] = true;
        fixed_values[best_k] = best_value;
    }
    if (stopped_) {
        return std::nullopt;
    }
    const bool greedy_done =
        std::all_of(fixed_values.begin(), fixed_values.end(), [](double v) { return v > 0; });
    if (const double greedy = greedy_done ? worst(fixed_values) : 2.0; greedy < best) {
        best = greedy;
        best_values = fixed_values;
    }

    // Every combination of the choices where they are few; else, from the best so far, one part
    // at a time through its choices until no part improves.
    std::size_t combinations = 1;
    for (const auto& c : choices) {
        combinations *= c.size();
    }
    if (combinations <= exhaustive_combinations) {
        // In blocks on the threads, combination c with part k at choice (c / prod of the
        // choices before k) % its count; each block's first best, then the blocks' in order:
        // the first best combination whatever the number of threads.
        constexpr std::size_t block = 512;
        const std::size_t blocks = (combinations + block - 1) / block;
        std::vector<Found> block_best(blocks, Found{{}, HUGE_VAL});
        parallel::run(
            blocks,
            [&](std::size_t b) {
                std::vector<double> values(n);
                for (std::size_t c = b * block; c < std::min(combinations, (b + 1) * block) &&
                                                !stopped_.load(std::memory_order_relaxed);
                     ++c) {
                    std::size_t rest = c;
                    for (std::size_t k = 0; k < n; ++k) {
                        values[k] = choices[k][rest % choices[k].size()];
                        rest /= choices[k].size();
                    }
                    if (const double w = worst(values); w < block_best[b].value) {
                        block_best[b] = {values, w};
                    }
                }
            },
            poll);
        for (const Found& found : block_best) {
            if (found.value < best) {
                best = found.value;
                best_values = found.x;
            }
        }
    } else {
        for (bool better = true; better && !stopped_;) {
            better = false;
            for (std::size_t k = 0; k < n; ++k) {
                std::vector<double> values = best_values;
                for (double c : choices[k]) {
                    values[k] = c;
                    if (const double w = worst(values); w < best) {
                        best = w;
                        best_values = values;
                        better = true;
                    }
                }
            }
        }
    }
    if (stopped_) {
        return std::nullopt;
    }
    Ladder rounded = design.ladder;
    for (std::size_t k = 0; k < rounded.size(); ++k) {
        rounded[k].value = best_values[k]; // exactly the standard value, not exp(log(..))
    }
    return Design{rounded, evaluate(rounded, input_.load, input_.source_ohm, input_.losses),
                  design.size};
}

std::vector<double> Designer::standard_steps(double value, rf::ESeries series, int steps) {
    const std::span<const int> decade = rf::e_series_decade(series);
    const double exponent = std::floor(std::log10(value));
    std::vector<double> all;
    for (double e = exponent - 2; e <= exponent + 2; ++e) {
        for (int v : decade) {
            all.push_back(rf::nearest_standard_value(v * std::pow(10.0, e - 2), series));
        }
    }
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    const double centre = rf::nearest_standard_value(value, series);
    const auto it = std::min_element(all.begin(), all.end(), [centre](double a, double b) {
        return std::fabs(a - centre) < std::fabs(b - centre);
    });
    const auto at = static_cast<std::ptrdiff_t>(it - all.begin());
    const auto lo = std::max<std::ptrdiff_t>(0, at - steps);
    const auto hi =
        std::min<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(all.size()), at + steps + 1);
    return {all.begin() + lo, all.begin() + hi};
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

bool Constraints::any() const {
    return dc_path || dc_block || lowpass || highpass || first || last || l_nh || c_pf;
}

bool Constraints::allows(const Ladder& ladder, bool values) const {
    if (ladder.empty()) {
        return false;
    }
    bool series_c = false;
    for (const Element& e : ladder) {
        const bool is_series = e.position == Position::Series;
        series_c = series_c || (is_series && e.kind == Kind::C);
        if ((lowpass && (is_series != (e.kind == Kind::L))) ||
            (highpass && (is_series != (e.kind == Kind::C)))) {
            return false;
        }
        const std::optional<Range>& range = e.kind == Kind::L ? l_nh : c_pf;
        if (values && range && !(e.value >= range->lo && e.value <= range->hi)) {
            return false;
        }
    }
    return !(dc_path && series_c) && !(dc_block && !series_c) &&
           !(first && ladder.front().position != *first) &&
           !(last && ladder.back().position != *last);
}

double Constraints::clamped(Kind kind, double value) const {
    const std::optional<Range>& range = kind == Kind::L ? l_nh : c_pf;
    return range ? std::clamp(value, range->lo, range->hi) : value;
}

std::string Constraints::words() const {
    std::vector<std::string> parts;
    const auto range_words = [](std::string_view kind, const Range& r, std::string_view unit) {
        const auto text = [](double v) {
            std::array<char, 32> buffer{};
            const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), v);
            return std::string(buffer.data(), result.ptr);
        };
        return std::string{kind} + " " + text(r.lo) + " to " + text(r.hi) + " " + std::string{unit};
    };
    if (dc_path) {
        parts.emplace_back("DC path");
    }
    if (dc_block) {
        parts.emplace_back("DC block");
    }
    if (lowpass) {
        parts.emplace_back("low-pass");
    }
    if (highpass) {
        parts.emplace_back("high-pass");
    }
    if (first) {
        parts.push_back("first " + std::string{position_name(*first)});
    }
    if (last) {
        parts.push_back("last " + std::string{position_name(*last)});
    }
    if (l_nh) {
        parts.push_back(range_words("L", *l_nh, "nH"));
    }
    if (c_pf) {
        parts.push_back(range_words("C", *c_pf, "pF"));
    }
    std::string text;
    for (const std::string& p : parts) {
        text += (text.empty() ? "" : ", ") + p;
    }
    return text;
}

bool no_better(const Figures& larger, const Figures& smaller) {
    return larger.worst_gamma > smaller.worst_gamma - idle_gamma &&
           larger.gain_db < smaller.gain_db + idle_gain_db;
}

namespace {

// Two parts of one position and kind as one.
Element merged(const Element& a, const Element& b) {
    const bool added = (a.position == Position::Series) == (a.kind == Kind::L);
    return {a.position, a.kind, added ? a.value + b.value : 1 / (1 / a.value + 1 / b.value)};
}

// The ladders `ladder` becomes with one part or one pair of neighbours taken out, still
// alternating.
std::vector<Ladder> smaller_ladders(const Ladder& ladder) {
    std::vector<Ladder> out;
    const std::size_t n = ladder.size();
    if (n < 2) {
        return out;
    }
    out.emplace_back(ladder.begin() + 1, ladder.end());
    out.emplace_back(ladder.begin(), ladder.end() - 1);
    for (std::size_t k = 1; k + 1 < n; ++k) {
        if (ladder[k - 1].kind == ladder[k + 1].kind) {
            Ladder l(ladder.begin(), ladder.begin() + static_cast<std::ptrdiff_t>(k - 1));
            l.push_back(merged(ladder[k - 1], ladder[k + 1]));
            l.insert(l.end(), ladder.begin() + static_cast<std::ptrdiff_t>(k + 2), ladder.end());
            out.push_back(std::move(l));
        }
        if (k + 2 < n) {
            Ladder l(ladder.begin(), ladder.begin() + static_cast<std::ptrdiff_t>(k));
            l.insert(l.end(), ladder.begin() + static_cast<std::ptrdiff_t>(k + 2), ladder.end());
            out.push_back(std::move(l));
        }
    }
    return out;
}

} // namespace

Design without_idle_parts(const Design& design, const Load& load, double source_ohm,
                          const Losses& losses, const Constraints& constraints) {
    Design now = design;
    while (true) {
        std::optional<Design> best;
        for (Ladder& ladder : smaller_ladders(now.ladder)) {
            if (!constraints.allows(ladder)) {
                continue;
            }
            Design trial{std::move(ladder), {}, design.size};
            trial.figures = evaluate(trial.ladder, load, source_ohm, losses);
            // Within the tolerance of the network as designed, so that removals do not add up.
            if (no_better(design.figures, trial.figures) &&
                (!best || trial.figures.worst_gamma < best->figures.worst_gamma)) {
                best = std::move(trial);
            }
        }
        if (!best) {
            return now;
        }
        now = std::move(*best);
    }
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

} // namespace veltrane::match
