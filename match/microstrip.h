#pragma once

#include <optional>

namespace veltrane::match {

// A microstrip board: relative permittivity, dielectric height (mm) and copper thickness (um,
// 0: infinitely thin).
struct Substrate {
    double eps_r = 0.0;
    double h_mm = 0.0;
    double t_um = 0.0;
    friend bool operator==(const Substrate&, const Substrate&) = default;
};

// A strip on a substrate: its characteristic impedance (ohm) and effective permittivity.
struct StripLine {
    double z0_ohm = 0.0;
    double eps_eff = 0.0;
};

// A strip of width `w_mm` (> 0) on `substrate`, by the quasi-static closed forms of Hammerstad
// and Jensen (1980), with their correction for the copper's thickness. No value for a substrate
// that is no board (eps_r below 1, a height or width not positive, a negative thickness).
[[nodiscard]] std::optional<StripLine> microstrip(const Substrate& substrate, double w_mm);

// The width (mm) of a strip of `z0_ohm` on `substrate`: the closed forms above solved for the
// width (to 1e-9 relative), between H/1000 and 100 H. No value for a substrate that is no board,
// or an impedance the strip cannot have between those widths.
[[nodiscard]] std::optional<double> microstrip_width(const Substrate& substrate, double z0_ohm);

// The physical length (mm) of `degrees` at `f_ghz` (> 0) on a line of effective permittivity
// `eps_eff`: degrees / 360 * c / (f sqrt(eps_eff)). Dispersion is not modelled.
[[nodiscard]] double line_length_mm(double eps_eff, double degrees, double f_ghz);

} // namespace veltrane::match
