// Fuzz target: an amplifier's figures on arbitrary two-port files (S, Y or Z, any references),
// with a band and a match frequency taken from the first bytes. It must never crash, and what
// is shown must hold together: one row a sample, every figure finite or left out, the match only
// where the sample is unconditionally stable, and no "nan" or "inf" in the text or the JSON.

#include "check.h"
#include "match/amplifier.h"
#include "rf/touchstone.h"
#include "views/amplifier_view.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

using namespace veltrane::fuzzref;
using veltrane::match::Stability;

namespace {

bool shown(const std::optional<double>& figure) {
    return !figure || std::isfinite(*figure);
}

void check(std::string_view bytes, std::string_view name, std::uint8_t shape) {
    const auto read = veltrane::rf::read_touchstone(bytes, name);
    if (std::holds_alternative<std::string>(read)) {
        return;
    }
    const auto data = veltrane::match::two_port_data(std::get<veltrane::rf::Network>(read));
    if (const auto* message = std::get_if<std::string>(&data)) {
        FUZZ_REQUIRE(!message->empty(), "empty message");
        return;
    }
    const auto& two_port = std::get<veltrane::match::TwoPortData>(data);
    veltrane::views::AmplifierSettings settings;
    const double first = two_port.samples.front().f_ghz;
    const double last = two_port.samples.back().f_ghz;
    if (shape & 1) {
        settings.band = veltrane::match::Band{first + (last - first) * (shape >> 4) / 32,
                                              last + 1 + (shape >> 5)};
    }
    if (shape & 2) {
        settings.at_ghz = first + (last - first) * ((shape >> 2) & 3) / 3;
    }
    const auto report = veltrane::views::amplifier_report(two_port, settings);
    if (std::holds_alternative<std::string>(report)) {
        return;
    }
    const auto& r = std::get<veltrane::views::AmplifierReport>(report);
    FUZZ_REQUIRE(r.rows.size() == two_port.samples.size() && r.at_row < r.rows.size(), "rows for ",
                 escaped(bytes));
    for (const Stability& s : r.rows) {
        FUZZ_REQUIRE(shown(s.k) && shown(s.delta_mag) && shown(s.mu) && shown(s.mu_prime) &&
                         shown(s.gain_db),
                     "a figure is not finite in ", escaped(bytes));
        FUZZ_REQUIRE(!s.match || s.stable, "a match where not stable in ", escaped(bytes));
        FUZZ_REQUIRE(!s.stable || s.gain_kind == veltrane::match::GainKind::MAG,
                     "MSG where stable in ", escaped(bytes));
    }
    const std::string text = veltrane::views::amplifier_text(r);
    const std::string json = veltrane::views::amplifier_json(r).dump();
    for (const std::string_view word : {"nan", "inf"}) {
        FUZZ_REQUIRE(text.find(word) == std::string::npos && json.find(word) == std::string::npos,
                     "\"", std::string{word}, "\" shown for ", escaped(bytes));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    // The first byte picks the name and the shape of the request; the rest is the file.
    if (size == 0) {
        return 0;
    }
    check(std::string_view{reinterpret_cast<const char*>(bytes) + 1, size - 1},
          bytes[0] & 0x80 ? "a.ts" : "a.s2p", bytes[0]);
    return 0;
}
