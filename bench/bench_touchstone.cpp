// Speed of the Touchstone reader: a 100,000-frequency two-port file, made in memory, read into
// network data, then the reflection at port 1 taken from it.

#include "rf/touchstone.h"

#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <string>
#include <variant>

namespace {

using namespace veltrane::rf;

constexpr int frequencies = 100'000;

// 0.1 to 10.1 GHz in Hz, RI pairs with the digits an analyser writes.
std::string two_port_file() {
    std::string file = "! generated two-port sweep\n# Hz S RI R 50\n";
    char number[32];
    const auto put = [&](double value) {
        file += ' ';
        file.append(number, std::to_chars(number, number + sizeof number, value,
                                          std::chars_format::scientific, 9)
                                .ptr);
    };
    for (int k = 0; k < frequencies; ++k) {
        const double f_hz = 1e8 + 1e5 * k;
        file.append(number, std::to_chars(number, number + sizeof number, f_hz).ptr);
        for (int pair = 0; pair < 4; ++pair) {
            const double phase = 1e-9 * f_hz * (pair + 1);
            put(0.5 * std::cos(phase));
            put(-0.5 * std::sin(phase));
        }
        file += '\n';
    }
    return file;
}

void read_two_port(benchmark::State& state) {
    const std::string file = two_port_file();
    for (auto _ : state) {
        auto network = read_touchstone(file, "sweep.s2p");
        if (!std::holds_alternative<Network>(network)) {
            state.SkipWithError(std::get<std::string>(network).c_str());
            return;
        }
        benchmark::DoNotOptimize(network);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
}
BENCHMARK(read_two_port)->Unit(benchmark::kMillisecond);

void port_of_two_port(benchmark::State& state) {
    const Network network = std::get<Network>(read_touchstone(two_port_file(), "sweep.s2p"));
    for (auto _ : state) {
        auto data = port_data(network, 2);
        benchmark::DoNotOptimize(data);
    }
}
BENCHMARK(port_of_two_port)->Unit(benchmark::kMillisecond);

} // namespace
