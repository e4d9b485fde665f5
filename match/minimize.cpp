#include "match/minimize.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace veltrane::match {

Found minimize(const Goal& goal, const std::vector<double>& start, double step, int evaluations,
               const std::atomic<bool>& stop) {
    const std::size_t n = start.size();
    std::vector<std::vector<double>> points(n + 1, start);
    std::vector<double> values(n + 1);
    int used = 0;
    const auto score = [&](const std::vector<double>& x) {
        ++used;
        const double v = goal(x);
        return std::isnan(v) ? HUGE_VAL : v;
    };
    values[0] = score(start);
    if (n == 0) {
        return {start, values[0]};
    }
    for (std::size_t k = 0; k < n; ++k) {
        points[k + 1][k] += step;
        values[k + 1] = score(points[k + 1]);
    }
    std::vector<std::size_t> order(n + 1);
    std::vector<double> centre(n), trial(n), further(n);
    const auto along = [&](double t, std::vector<double>& out, std::size_t worst) {
        for (std::size_t k = 0; k < n; ++k) {
            out[k] = centre[k] + t * (points[worst][k] - centre[k]);
        }
    };
    while (used < evaluations && !stop.load(std::memory_order_relaxed)) {
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
        const std::size_t best = order.front();
        const std::size_t worst = order.back();
        const std::size_t second = order[n - 1];
        double size = 0;
        for (std::size_t p = 0; p <= n; ++p) {
            for (std::size_t k = 0; k < n; ++k) {
                size = std::max(size, std::fabs(points[p][k] - points[best][k]));
            }
        }
        if (values[worst] - values[best] <= 1e-10 * std::fabs(values[best]) + 1e-300 &&
            size < 1e-6) {
            break;
        }
        if (size < 1e-12) {
            break;
        }
        std::fill(centre.begin(), centre.end(), 0.0);
        for (std::size_t p = 0; p <= n; ++p) {
            if (p != worst) {
                for (std::size_t k = 0; k < n; ++k) {
                    centre[k] += points[p][k] / static_cast<double>(n);
                }
            }
        }
        along(-1.0, trial, worst);
        const double reflected = score(trial);
        if (reflected < values[best]) {
            along(-2.0, further, worst);
            const double expanded = score(further);
            if (expanded < reflected) {
                points[worst] = further;
                values[worst] = expanded;
            } else {
                points[worst] = trial;
                values[worst] = reflected;
            }
            continue;
        }
        if (reflected < values[second]) {
            points[worst] = trial;
            values[worst] = reflected;
            continue;
        }
        const bool outside = reflected < values[worst];
        along(outside ? -0.5 : 0.5, further, worst);
        const double contracted = score(further);
        if (contracted < std::min(reflected, values[worst])) {
            points[worst] = further;
            values[worst] = contracted;
            continue;
        }
        for (std::size_t p = 0; p <= n; ++p) {
            if (p != best) {
                for (std::size_t k = 0; k < n; ++k) {
                    points[p][k] = points[best][k] + 0.5 * (points[p][k] - points[best][k]);
                }
                values[p] = score(points[p]);
            }
        }
    }
    const auto lowest =
        static_cast<std::size_t>(std::min_element(values.begin(), values.end()) - values.begin());
    return {points[lowest], values[lowest]};
}

} // namespace veltrane::match
