// Fuzz target: the Touchstone reader on arbitrary bytes, under several file names (the name
// decides the port count of a version 1 file). It must never crash or hang, and what it returns
// must hold together: a message naming the file and a line, or network data whose sizes agree,
// whose frequencies rise and whose every value is finite; the reflection at each port must be
// finite too, or a message.

#include "check.h"
#include "rf/touchstone.h"

#include <array>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

using namespace veltrane::fuzzref;
using veltrane::rf::Network;
using veltrane::rf::PortData;

namespace {

bool finite(std::complex<double> value) {
    return std::isfinite(value.real()) && std::isfinite(value.imag());
}

void check(std::string_view bytes, std::string_view name) {
    const auto read = veltrane::rf::read_touchstone(bytes, name);
    if (const auto* message = std::get_if<std::string>(&read)) {
        FUZZ_REQUIRE(message->starts_with(std::string{name} + " line "), "message ",
                     escaped(*message), " for ", escaped(bytes));
        return;
    }
    const Network& network = std::get<Network>(read);
    const auto n = static_cast<std::size_t>(network.ports);
    FUZZ_REQUIRE(network.ports >= 1 && network.ports <= veltrane::rf::max_ports &&
                     !network.f_ghz.empty() && network.reference_ohm.size() == n &&
                     network.values.size() == network.f_ghz.size() * n * n &&
                     network.lines.size() == network.f_ghz.size(),
                 "inconsistent sizes for ", escaped(bytes));
    for (std::size_t k = 0; k < network.f_ghz.size(); ++k) {
        FUZZ_REQUIRE(std::isfinite(network.f_ghz[k]) && network.f_ghz[k] >= 0 &&
                         (k == 0 || network.f_ghz[k] > network.f_ghz[k - 1]),
                     "frequencies do not rise in ", escaped(bytes));
    }
    for (const double r : network.reference_ohm) {
        FUZZ_REQUIRE(std::isfinite(r) && r > 0, "reference ", describe(r));
    }
    for (const auto value : network.values) {
        FUZZ_REQUIRE(finite(value), "a value is not finite in ", escaped(bytes));
    }
    for (int port = 0; port <= network.ports + 1; ++port) {
        const auto data = veltrane::rf::port_data(network, port);
        if (const auto* reflection = std::get_if<PortData>(&data)) {
            FUZZ_REQUIRE(port >= 1 && port <= network.ports, "port ", std::to_string(port),
                         " accepted");
            for (const auto s : reflection->s) {
                FUZZ_REQUIRE(finite(s), "a reflection is not finite in ", escaped(bytes));
            }
        } else {
            FUZZ_REQUIRE(!std::get<std::string>(data).empty(), "empty message");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    // The first byte picks the name; the rest is the file.
    constexpr std::array<std::string_view, 6> names = {"a.s1p", "a.s2p", "a.S3P",
                                                       "a.s4p", "a.ts",  "a.txt"};
    if (size == 0) {
        return 0;
    }
    check(std::string_view{reinterpret_cast<const char*>(bytes) + 1, size - 1},
          names[bytes[0] % names.size()]);
    return 0;
}
