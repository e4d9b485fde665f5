#pragma once

#include "rf/model_impedance.h"
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

// The data's impedance at one frequency.
struct ImpedancePoint {
    double f_ghz = 0.0;
    Complex z_ohm;
    Complex s;                 // the reflection it comes from, as reflection_at gives it
    bool interpolated = false; // false: a sample of the data
};

// The impedance at `f_ghz` from reflection_at, or its message; where the reflection gives no
// finite impedance, "<label> = 3 GHz: the data show an open circuit there".
[[nodiscard]] std::variant<ImpedancePoint, std::string>
impedance_at(const PortData& data, double f_ghz, std::string_view label);

} // namespace veltrane::rf
