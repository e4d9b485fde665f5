#include "views/samples.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace veltrane::views {

std::optional<double> step_sample(const std::vector<double>& f, double f_ghz, int delta) {
    if (f.empty()) {
        return std::nullopt;
    }
    const auto at = std::lower_bound(f.begin(), f.end(), f_ghz);
    auto i = static_cast<long>(at - f.begin());
    if (delta < 0 || (at != f.end() && *at == f_ghz)) {
        i += delta;
    }
    i = std::clamp(i, 0L, static_cast<long>(f.size()) - 1);
    return f[static_cast<std::size_t>(i)];
}

std::optional<rf::PortData> thinned(const rf::PortData& data, std::size_t max_samples) {
    if (data.f_ghz.size() <= max_samples || max_samples == 0) {
        return std::nullopt;
    }
    const std::size_t stride = data.f_ghz.size() / max_samples + 1;
    rf::PortData drawn{data.source, data.port, data.reference_ohm, {}, {}};
    for (std::size_t i = 0; i < data.f_ghz.size(); i += stride) {
        drawn.f_ghz.push_back(data.f_ghz[i]);
        drawn.s.push_back(data.s[i]);
    }
    if (drawn.f_ghz.back() != data.f_ghz.back()) {
        drawn.f_ghz.push_back(data.f_ghz.back());
        drawn.s.push_back(data.s.back());
    }
    return drawn;
}

std::optional<rf::PortData> chart_samples(const rf::PortData& data, std::size_t buckets) {
    const std::size_t n = std::min(data.f_ghz.size(), data.s.size());
    if (buckets == 0 || n <= 2 * buckets) {
        return std::nullopt;
    }
    rf::PortData drawn{data.source, data.port, data.reference_ohm, {}, {}};
    drawn.f_ghz.reserve(2 * buckets + 2);
    drawn.s.reserve(2 * buckets + 2);
    const auto take = [&](std::size_t i) {
        if (drawn.f_ghz.empty() || drawn.f_ghz.back() != data.f_ghz[i]) {
            drawn.f_ghz.push_back(data.f_ghz[i]);
            drawn.s.push_back(data.s[i]);
        }
    };
    take(0);
    for (std::size_t b = 0; b < buckets; ++b) {
        const std::size_t begin = n * b / buckets;
        const std::size_t end = n * (b + 1) / buckets;
        std::size_t low = end;
        std::size_t high = end;
        std::size_t broken = end;
        for (std::size_t i = begin; i < end; ++i) {
            const double g = std::norm(data.s[i]);
            if (!std::isfinite(g)) {
                broken = std::min(broken, i);
            } else {
                if (low == end || g < std::norm(data.s[low])) {
                    low = i;
                }
                if (high == end || g > std::norm(data.s[high])) {
                    high = i;
                }
            }
        }
        std::array<std::size_t, 3> chosen{low, high, broken};
        std::sort(chosen.begin(), chosen.end());
        for (const std::size_t i : chosen) {
            if (i != end) {
                take(i);
            }
        }
    }
    take(n - 1);
    return drawn;
}

Curve finite_curve(const rf::PortData& data) {
    Curve curve;
    for (std::size_t i = 0; i < data.f_ghz.size() && i < data.s.size(); ++i) {
        const rf::Complex g = data.s[i];
        if (std::isfinite(g.real()) && std::isfinite(g.imag())) {
            curve.f_ghz.push_back(data.f_ghz[i]);
            curve.g.push_back(g);
        }
    }
    return curve;
}

} // namespace veltrane::views
