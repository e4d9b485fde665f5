// The reflection at one port of a network: Y and Z data converted to S with the other ports
// terminated in their references, scaled so that large values do not overflow.

#include "rf/touchstone.h"
#include "rf/touchstone_format.h"

#include "rf/numbers.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace veltrane::rf {

namespace {

using touchstone::Complex;
using touchstone::count_text;

bool finite(Complex value) {
    return std::isfinite(value.real()) && std::isfinite(value.imag());
}

Complex scaled(Complex value, int e) {
    return e == 0 ? value : Complex{std::ldexp(value.real(), e), std::ldexp(value.imag(), e)};
}

// The exponent e that brings the largest entry of a sample's Z + G or I + G Y near 1 once
// multiplied by 2^-e.
int scale_exponent(const Network& network, std::size_t sample) {
    const auto n = static_cast<std::size_t>(network.ports);
    double largest = 0.0;
    for (std::size_t i = 0; i < n * n; ++i) {
        const Complex value = network.values[sample * n * n + i];
        largest = std::max({largest, std::abs(value.real()), std::abs(value.imag())});
    }
    const double r = *std::max_element(network.reference_ohm.begin(), network.reference_ohm.end());
    const int e_value = largest > 0.0 ? std::ilogb(largest) + 1 : 0;
    const int e_r = std::ilogb(r) + 1;
    return network.parameter == Parameter::Z ? std::max(e_value, e_r) + 1
                                             : std::max(e_value + e_r, 0) + 1;
}

std::size_t line_of(const Network& network, std::size_t sample) {
    return sample < network.lines.size() ? network.lines[sample] : 0;
}

// x solving A x = e_k for a small complex matrix (row by row), by Gaussian elimination with
// partial pivoting; nothing when A is singular.
std::optional<Complex> inverse_diagonal(std::vector<Complex> a, std::size_t n, std::size_t k) {
    std::vector<Complex> b(n);
    b[k] = 1.0;
    for (std::size_t column = 0; column < n; ++column) {
        std::size_t pivot = column;
        for (std::size_t row = column + 1; row < n; ++row) {
            if (std::abs(a[row * n + column]) > std::abs(a[pivot * n + column])) {
                pivot = row;
            }
        }
        if (a[pivot * n + column] == Complex{}) {
            return std::nullopt;
        }
        if (pivot != column) {
            std::swap_ranges(a.begin() + static_cast<std::ptrdiff_t>(pivot * n),
                             a.begin() + static_cast<std::ptrdiff_t>(pivot * n + n),
                             a.begin() + static_cast<std::ptrdiff_t>(column * n));
            std::swap(b[pivot], b[column]);
        }
        for (std::size_t row = column + 1; row < n; ++row) {
            const Complex factor = a[row * n + column] / a[column * n + column];
            for (std::size_t j = column; j < n; ++j) {
                a[row * n + j] -= factor * a[column * n + j];
            }
            b[row] -= factor * b[column];
        }
    }
    std::vector<Complex> x(n);
    for (std::size_t row = n; row-- > 0;) {
        Complex sum = b[row];
        for (std::size_t j = row + 1; j < n; ++j) {
            sum -= a[row * n + j] * x[j];
        }
        x[row] = sum / a[row * n + row];
    }
    return x[k];
}

} // namespace

std::variant<PortData, std::string> port_data(const Network& network, int port) {
    if (port < 1 || port > network.ports) {
        return network.source + " has no port " + std::to_string(port) + ": it has " +
               count_text(static_cast<std::size_t>(network.ports), "port");
    }
    PortData data;
    data.source = network.source;
    data.port = port;
    data.reference_ohm = network.reference_ohm[static_cast<std::size_t>(port - 1)];
    data.f_ghz = network.f_ghz;
    data.s.reserve(network.f_ghz.size());
    const auto n = static_cast<std::size_t>(network.ports);
    const auto k = static_cast<std::size_t>(port - 1);
    std::vector<Complex> matrix(n * n);
    for (std::size_t sample = 0; sample < network.f_ghz.size(); ++sample) {
        const auto first = network.values.begin() + static_cast<std::ptrdiff_t>(sample * n * n);
        Complex s;
        if (network.parameter == Parameter::S) {
            s = first[static_cast<std::ptrdiff_t>(k * n + k)];
        } else {
            // With G = diag(R): S = I - 2 G (Z + G)^-1 and S = 2 (I + G Y)^-1 - I. The matrix is
            // scaled by 2^-e; e = 0 unless its entries are so large that working it out overflows.
            const bool z = network.parameter == Parameter::Z;
            const auto solve = [&](int e) -> std::optional<Complex> {
                std::copy(first, first + static_cast<std::ptrdiff_t>(n * n), matrix.begin());
                for (std::size_t row = 0; row < n; ++row) {
                    const double r = network.reference_ohm[row];
                    for (std::size_t column = 0; column < n; ++column) {
                        Complex& entry = matrix[row * n + column];
                        entry = z ? scaled(entry, -e) : r * scaled(entry, -e);
                    }
                    matrix[row * n + row] += std::ldexp(z ? r : 1.0, -e);
                }
                const std::optional<Complex> inverse = inverse_diagonal(matrix, n, k);
                if (!inverse) {
                    return std::nullopt;
                }
                const Complex x = scaled(*inverse, -e);
                return z ? 1.0 - 2.0 * data.reference_ohm * x : 2.0 * x - 1.0;
            };
            std::optional<Complex> found = solve(0);
            if (found && !finite(*found)) {
                found = solve(scale_exponent(network, sample));
            }
            if (!found) {
                return network.source + ": port " + std::to_string(port) +
                       " has no reflection at " + shortest(network.f_ghz[sample]) + " GHz";
            }
            if (!finite(*found)) {
                return network.source + " line " + std::to_string(line_of(network, sample)) +
                       ": the values are too large to work out the reflection at port " +
                       std::to_string(port);
            }
            s = *found;
        }
        data.s.push_back(s);
    }
    return data;
}

} // namespace veltrane::rf
