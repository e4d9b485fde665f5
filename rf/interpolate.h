#pragma once

#include "rf/port_data.h"

#include <complex>
#include <string>
#include <string_view>
#include <variant>

namespace veltrane::rf {

// The reflection of measured data at one frequency.
struct Reflection {
    double f_ghz = 0.0;
    std::complex<double> s;    // referred to the data's reference resistance
    bool interpolated = false; // false: a sample of the data
};

// S_NN at `f_ghz`: a sample within 1e-9 (relative) of it gives its own value; between two
// samples the real and imaginary parts are interpolated linearly. Outside the samples, the
// message "<label> = 3 GHz lies outside the data (0.5 to 2.5 GHz)".
[[nodiscard]] std::variant<Reflection, std::string>
reflection_at(const PortData& data, double f_ghz, std::string_view label);

} // namespace veltrane::rf
