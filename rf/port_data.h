#pragma once

#include <complex>
#include <string>
#include <vector>

namespace veltrane::rf {

// What the calculation takes from a measured file: the reflection seen at one port, with every
// other port terminated in its reference resistance, at rising frequencies.
struct PortData {
    std::string source;                  // the file's name as the user gave it, for messages
    int port = 1;                        // counted from 1
    double reference_ohm = 50.0;         // R_N, the port's reference resistance
    std::vector<double> f_ghz;           // strictly rising
    std::vector<std::complex<double>> s; // S_NN referred to reference_ohm, one per frequency
};

} // namespace veltrane::rf
