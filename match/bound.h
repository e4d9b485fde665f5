#pragma once

#include "match/network.h"
#include "rf/model_impedance.h"

#include <optional>
#include <string_view>

namespace veltrane::match {

// The band to match, GHz, 0 < fl_ghz < fh_ghz.
struct Band {
    double fl_ghz = 0.0;
    double fh_ghz = 0.0;
    friend bool operator==(const Band&, const Band&) = default;
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

// The sections whose Bode-Fano bound is known, fitted to a load: a resistance in series with an
// inductance (series RL) or with an inductance and a capacitance (series RLC), a resistance with
// a capacitance (shunt RC) or a capacitance and an inductance (parallel RLC) across it, or the
// model's resonating section.
enum class SectionKind { SeriesRL, ShuntRC, SeriesRLC, ParallelRLC, Model };
[[nodiscard]] std::string_view section_name(SectionKind kind); // "series-RL", ..., "model"

struct Section {
    SectionKind kind = SectionKind::SeriesRL;
    double r_ohm = 0.0;
    double l_nh = 0.0;    // 0: none
    double c_pf = 0.0;    // 0: none
    double fit_max = 0.0; // largest |Gamma_section - Gamma_load| over the samples, both referred to
                          // the source
};

// A bound with the section it belongs to.
struct SectionBound {
    Section section;
    Limit limit;
};

// A section fits a load when its reflection stays within this of the load's at every sample.
inline constexpr double section_fit_tolerance = 0.05;

// The bound of a section with positive elements; none otherwise.
[[nodiscard]] std::optional<Limit> section_limit(const Section& section, const Band& band);

// The section fitted to the samples (least squares on the impedance for the series kinds, on the
// admittance for the shunt ones), with its fit error; none with fewer than two samples.
[[nodiscard]] std::optional<Section> fit_section(SectionKind kind, const Load& load,
                                                 double source_ohm);

// The model's resonating section as a Section (kind Model), its fit error against `load` (0 with
// an empty load).
[[nodiscard]] std::optional<Section> model_section(const rf::LumpedModel& model, const Load& load,
                                                   double source_ohm);

// The tightest bound (the largest |Gamma|) among the sections fitted to `load` that fit it
// within section_fit_tolerance and have positive elements, and the model's section when given
// and it fits; none when no section fits.
[[nodiscard]] std::optional<SectionBound> data_bound(const Load& load, const Band& band,
                                                     double source_ohm,
                                                     const std::optional<rf::LumpedModel>& model);

} // namespace veltrane::match
