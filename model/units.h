#pragma once

namespace veltrane {

// The one place where a frequency changes its unit. Frequencies are typed in GHz, held by the
// calculation in MHz, and written in Hz to circuit files; each conversion is one exact product
// or quotient, so that a frequency crossing a boundary keeps the bits the calculation sees.
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

} // namespace veltrane
