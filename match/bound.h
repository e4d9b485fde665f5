#pragma once

#include "match/network.h"
#include "rf/model_impedance.h"

#include <optional>

namespace veltrane::match {

// The band to match, GHz, 0 < fl_ghz < fh_ghz.
struct Band {
    double fl_ghz = 0.0;
    double fh_ghz = 0.0;
};

// A reflection magnitude with the return loss and the transducer gain of a lossless network
// that reaches it.
struct Limit {
    double gamma = 0.0;
    double rl_db = 0.0;
    double gain_db = 0.0;
};

[[nodiscard]] Limit limit_from_gamma(double gamma);

// The smallest flat in-band |Gamma| any lossless network can reach (Bode-Fano), for a
// resistance with a capacitance (pF) and an inductance (nH) all across it. An inductance of 0
// or less means none (no zero of transmission at DC), as does a capacitance of 0.
[[nodiscard]] double shunt_section_bound(double r_ohm, double c_pf, double l_nh, const Band& band);

// The same for a resistance in series with an inductance (nH) and a capacitance (pF); a
// capacitance of 0 or less means none (a short at DC), as does an inductance of 0.
[[nodiscard]] double series_section_bound(double r_ohm, double l_nh, double c_pf, const Band& band);

// The bound of the model's resonating section: RL || Cp || Lp for Parallel/Series (the series
// pair in front is absorbed into the network), RL + Ls + Cs for Series/Parallel. None when the
// section has a non-positive element.
[[nodiscard]] std::optional<Limit> model_bound(const rf::LumpedModel& model, const Band& band);

// An estimate from samples alone: exp(-I / (omega2 - omega1)) with I the integral of
// ln(1/|Gamma|) over the sampled span (trapezoids, reflections referred to `source_ohm`). Not a
// bound: the span is finite and the integral counts what lies outside the band. None with
// fewer than two samples.
[[nodiscard]] std::optional<Limit> data_estimate(const Load& load, const Band& band,
                                                 double source_ohm);

} // namespace veltrane::match
