// Fuzz target: the matching network designer on loads made from the bytes: a series or shunt
// R-L-C section over a band, or reflections taken straight from the bytes, over the whole range
// of bands and sources the command line lets through (1e-6 to 1e6 GHz, 0.001 to 1e6 ohm). The
// figures must be finite, a larger ladder never worse than a smaller one, and no network better
// than the bound of an R-L-C section. Small designs (two elements, five samples, few starts)
// keep it at thousands of executions a second.

#include "check.h"
#include "match/bound.h"
#include "match/design.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <string>

using namespace veltrane::fuzzref;
using namespace veltrane::match;

namespace {

// Reads bytes as numbers in [0, 1); zeros once the bytes run out.
class Bytes {
  public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    double unit() {
        std::uint32_t bits = 0;
        for (int k = 0; k < 4; ++k) {
            bits = bits << 8 | (at_ < size_ ? data_[at_++] : 0U);
        }
        return bits / 4294967296.0;
    }
    double log_between(double lo, double hi) { return lo * std::pow(hi / lo, unit()); }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes bytes(data, size);
    const double mode = bytes.unit();
    const double lo = bytes.log_between(1e-6, 1e6 / 4);
    const Band band{lo, lo * bytes.log_between(1.01, 4)};
    const double r = bytes.log_between(1, 1000);
    const double l_nh = bytes.log_between(0.1, 1000);
    const double c_pf = bytes.log_between(0.01, 100);
    const bool series = mode < 0.4;
    const bool raw = mode >= 0.8;
    DesignInput input;
    input.source_ohm = bytes.log_between(1e-3, 1e6);
    input.max_elements = 2;
    input.random_points = 2;
    input.random_starts = 1;
    input.screen_evaluations = 6;
    input.refine_evaluations = 3;
    constexpr int samples = 5;
    for (int i = 0; i < samples; ++i) {
        const double f = band.fl_ghz + (band.fh_ghz - band.fl_ghz) * i / (samples - 1);
        const double w = 2 * std::numbers::pi * f;
        Complex z;
        if (raw) {
            const double magnitude = 0.999 * bytes.unit();
            const double angle = 2 * std::numbers::pi * bytes.unit();
            const Complex s = std::polar(magnitude, angle);
            z = 50.0 * (1.0 + s) / (1.0 - s);
        } else if (series) {
            z = {r, w * l_nh - 1000 / (w * c_pf)};
        } else {
            z = 1.0 / Complex{1 / r, w * c_pf / 1000 - 1000 / (w * l_nh)};
        }
        input.load.f_ghz.push_back(f);
        input.load.z_ohm.push_back(z);
    }
    const DesignResult result = design_networks(input);
    FUZZ_REQUIRE(result.networks.size() == 2, "expected 2 networks");
    const double bound = raw      ? 0.0
                         : series ? series_section_bound(r, l_nh, c_pf, band)
                                  : shunt_section_bound(r, c_pf, l_nh, band);
    for (std::size_t k = 0; k < result.networks.size(); ++k) {
        const Figures& f = result.networks[k].figures;
        FUZZ_REQUIRE(std::isfinite(f.worst_gamma) && std::isfinite(f.worst_rl_db) &&
                         std::isfinite(f.gain_db) && std::isfinite(f.at_ghz),
                     "figures not finite: ", describe(f.worst_gamma));
        for (const Element& e : result.networks[k].ladder) {
            FUZZ_REQUIRE(e.value > 0 && std::isfinite(e.value), "value ", describe(e.value));
        }
        FUZZ_REQUIRE(f.worst_gamma >= bound - 1e-12, "beats the bound: ", describe(f.worst_gamma),
                     " < ", describe(bound));
        if (k > 0) {
            FUZZ_REQUIRE(f.worst_gamma <= result.networks[k - 1].figures.worst_gamma + 1e-9,
                         "worse with one more element: ", describe(f.worst_gamma));
        }
    }
    return 0;
}
