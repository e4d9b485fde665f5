#pragma once

namespace veltrane {

// The one place where a frequency or an element value changes its unit. Frequencies are typed in
// GHz, held by the calculation in MHz, and written in Hz to circuit files; each conversion is one
// exact product or quotient, so that a frequency crossing a boundary keeps the bits the calculation
// sees.
[[nodiscard]] constexpr double ghz_to_mhz(double ghz) {
    return ghz * 1000;
}
[[nodiscard]] constexpr double mhz_to_ghz(double mhz) {
    return mhz / 1000;
}
[[nodiscard]] constexpr double ghz_to_hz(double ghz) {
    return ghz * 1e9;
}
[[nodiscard]] constexpr double mhz_to_hz(double mhz) {
    return mhz * 1e6;
}
[[nodiscard]] constexpr double hz_to_ghz(double hz) {
    return hz / 1e9;
}

// Element values: nH and pF as the calculation holds them, henry and farad as SPICE and people
// read them.
[[nodiscard]] constexpr double nh_to_h(double nh) {
    return nh * 1e-9;
}
[[nodiscard]] constexpr double pf_to_f(double pf) {
    return pf * 1e-12;
}

} // namespace veltrane
