#include "rf/sweep.h"
#include "model/units.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace veltrane::rf {

namespace {

// The text in double quotes, as a message shows what the user typed.
std::string quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    out += text;
    out += '"';
    return out;
}

// A whole field of the sweep as a finite number; from_chars also reads "inf" and "nan".
bool read_number(std::string_view text, double& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc{} && stop == end && std::isfinite(value);
}

bool read_count(std::string_view text, long& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc{} && stop == end;
}

// The i-th of n points between a and b, without forming b - a (which may overflow).
double linear_point(double a, double b, long i, long n) {
    const double t = static_cast<double>(i) / static_cast<double>(n - 1);
    return a * (1 - t) + b * t;
}

double log_point(double a, double b, long i, long n) {
    const double t = static_cast<double>(i) / static_cast<double>(n - 1);
    const double la = std::log(a);
    return std::exp(la + (std::log(b) - la) * t);
}

} // namespace

std::variant<Sweep, std::string> parse_sweep(std::string_view text) {
    std::vector<std::string_view> parts;
    for (std::size_t from = 0;;) {
        const std::size_t colon = text.find(':', from);
        parts.push_back(text.substr(from, colon - from));
        if (colon == std::string_view::npos) {
            break;
        }
        from = colon + 1;
    }
    const std::string expected = "expected START:STOP:POINTS or START:STOP:POINTS:log (GHz)";
    if (parts.size() < 3 || parts.size() > 4) {
        return quoted(text) + ": " + expected;
    }
    Sweep sweep;
    if (parts.size() == 4) {
        if (parts[3] != "log") {
            return quoted(parts[3]) + " is not \"log\"; " + expected;
        }
        sweep.log = true;
    }
    if (!read_number(parts[0], sweep.start_ghz)) {
        return "START \"" + std::string(parts[0]) + "\" is not a number";
    }
    if (!read_number(parts[1], sweep.stop_ghz)) {
        return "STOP \"" + std::string(parts[1]) + "\" is not a number";
    }
    if (!read_count(parts[2], sweep.points)) {
        return "POINTS \"" + std::string(parts[2]) + "\" is not a whole number";
    }
    sweep.start_ghz += 0.0; // -0 starts at 0: a file never holds a frequency of -0
    if (sweep.stop_ghz <= sweep.start_ghz) {

        return "STOP must be above START";
    }
    if (sweep.points < 2 || sweep.points > max_sweep_points) {
        return "POINTS must be from 2 to " + std::to_string(max_sweep_points);
    }
    if (sweep.log && sweep.start_ghz <= 0) {
        return "a log sweep needs frequencies above 0";
    }
    if (sweep.start_ghz < 0) {
        return "frequencies must not be negative";
    }
    if (sweep_frequencies(sweep).size() != static_cast<std::size_t>(sweep.points)) {
        return "the points lie too close together to tell apart";
    }
    return sweep;
}

Sweep default_sweep(const Result& state) {
    const double a[] = {std::fabs(state.F1), std::fabs(state.F2), std::fabs(state.FL)};
    const double b[] = {std::fabs(state.F1), std::fabs(state.F2), std::fabs(state.FH)};
    const double low = mhz_to_ghz(*std::min_element(std::begin(a), std::end(a))) / 2;  // GHz
    const double high = mhz_to_ghz(*std::max_element(std::begin(b), std::end(b))) * 2; // GHz
    return {low, std::min(high, std::numeric_limits<double>::max()), default_sweep_points, false};
}

std::vector<double> sweep_frequencies(const Sweep& sweep) {
    std::vector<double> f;
    if (sweep.points < 2) {
        return f;
    }
    f.reserve(static_cast<std::size_t>(sweep.points));
    for (long i = 0; i < sweep.points; ++i) {
        double v = i == 0                  ? sweep.start_ghz
                   : i == sweep.points - 1 ? sweep.stop_ghz
                   : sweep.log ? log_point(sweep.start_ghz, sweep.stop_ghz, i, sweep.points)
                               : linear_point(sweep.start_ghz, sweep.stop_ghz, i, sweep.points);
        if (f.empty() || v > f.back()) {
            f.push_back(v);
        }
    }
    return f;
}

} // namespace veltrane::rf
