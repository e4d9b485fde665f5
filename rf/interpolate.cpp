#include "rf/interpolate.h"

#include "rf/numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <utility>

namespace veltrane::rf {

namespace {

constexpr double same_frequency = 1e-9; // relative

bool is_sample(double f_ghz, double sample_ghz) {
    return std::abs(f_ghz - sample_ghz) <= same_frequency * std::abs(sample_ghz);
}

} // namespace

std::variant<Reflection, std::string> reflection_at(const PortData& data, double f_ghz,
                                                    std::string_view label) {
    const auto& f = data.f_ghz;
    const auto above = std::lower_bound(f.begin(), f.end(), f_ghz);
    // The nearest samples on either side, when they are close enough to count as f_ghz.
    if (above != f.end() && is_sample(f_ghz, *above)) {
        return Reflection{f_ghz, data.s[static_cast<std::size_t>(above - f.begin())], false};
    }
    if (above != f.begin() && is_sample(f_ghz, *std::prev(above))) {
        return Reflection{f_ghz, data.s[static_cast<std::size_t>(above - f.begin() - 1)], false};
    }
    if (above == f.begin() || above == f.end()) {
        std::string message =
            std::string{label} + " = " + shortest(f_ghz) + " GHz lies outside the data";
        if (!f.empty()) {
            message += " (" + shortest(f.front()) + " to " + shortest(f.back()) + " GHz)";
        }
        return message;
    }
    const auto k = static_cast<std::size_t>(above - f.begin());
    const double t = (f_ghz - f[k - 1]) / (f[k] - f[k - 1]);
    const std::complex<double> low = data.s[k - 1];
    const std::complex<double> high = data.s[k];
    return Reflection{
        f_ghz,
        {low.real() + t * (high.real() - low.real()), low.imag() + t * (high.imag() - low.imag())},
        true};
}

std::variant<ImpedancePoint, std::string> impedance_at(const PortData& data, double f_ghz,
                                                       std::string_view label) {
    auto found = reflection_at(data, f_ghz, label);
    if (auto* message = std::get_if<std::string>(&found)) {
        return std::move(*message);
    }
    const auto& reflection = std::get<Reflection>(found);
    const Complex z = impedance_from_reflection(reflection.s, data.reference_ohm);
    if (!std::isfinite(z.real()) || !std::isfinite(z.imag())) {
        return std::string{label} + " = " + shortest(f_ghz) +
               " GHz: the data show an open circuit there";
    }
    return ImpedancePoint{f_ghz, z, reflection.s, reflection.interpolated};
}

} // namespace veltrane::rf
