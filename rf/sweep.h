#pragma once

#include "model/result.h"

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veltrane::rf {

// The frequencies at which the model is evaluated for the exports: POINTS frequencies from START
// to STOP (GHz), spaced evenly or, for a logarithmic sweep, in equal ratios.
struct Sweep {
    double start_ghz = 0.0;
    double stop_ghz = 0.0;
    long points = 0;
    bool log = false;
};

inline constexpr long max_sweep_points = 10'000'000;
inline constexpr long default_sweep_points = 401;

// Reads "START:STOP:POINTS" or "START:STOP:POINTS:log". Returns the sweep, or what is wrong
// with the text, for a usage error.
[[nodiscard]] std::variant<Sweep, std::string> parse_sweep(std::string_view text);

// 401 linear points from half the lowest of F1, F2, FL to twice the highest of F1, F2, FH of a
// finished calculation (their magnitudes, so that a calculation with negative frequencies still
// gives a sweep a file can hold).
[[nodiscard]] Sweep default_sweep(const Result& state);

// The sweep's frequencies in GHz, strictly rising: the first is START, the last STOP. Points that
// double precision cannot tell from the one before are left out (parse_sweep refuses such a sweep,
// so only a default sweep of extreme inputs loses any).
[[nodiscard]] std::vector<double> sweep_frequencies(const Sweep& sweep);

} // namespace veltrane::rf
