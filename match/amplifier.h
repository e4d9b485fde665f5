#pragma once
// The two ports of an amplifier: stability (Rollett's K, |Delta|, Edwards and Sinsky's mu and
// mu', the stability circles), the simultaneous conjugate match with the maximum available gain
// where the device is unconditionally stable, and the maximum stable gain elsewhere.

#include "rf/touchstone.h"

#include <complex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace veltrane::match {

using Complex = std::complex<double>;

// One frequency of a two-port's scattering matrix, referred to the ports' references.
struct TwoPortSample {
    double f_ghz = 0.0;
    Complex s11, s12, s21, s22;
};

// A two-port file's S-parameters at its references (S as written, Y and Z data converted), or
// the message: another port count, or a sample with no S-parameters.
struct TwoPortData {
    std::string source;
    double reference1_ohm = 50.0; // port 1 (input)
    double reference2_ohm = 50.0; // port 2 (output)
    std::vector<TwoPortSample> samples;
};
[[nodiscard]] std::variant<TwoPortData, std::string> two_port_data(const rf::Network& network);

// A stability circle: the terminations at one port for which the other port's reflection has
// magnitude 1. None when the circle is a straight line (its centre would be at infinity).
struct Circle {
    Complex centre;
    double radius = 0.0;
};

enum class GainKind { MAG, MSG };

// Why a figure is missing.
enum class Note {
    None,
    Unilateral,     // S12 = 0: K and MSG are unbounded
    NoTransmission, // S21 = 0: no gain at all
};

// The simultaneous conjugate match: the source and load reflections that match both ports.
struct ConjugateMatch {
    Complex gamma_s;
    Complex gamma_l;
    double gain = 0.0; // the maximum available gain, as a ratio
};

// The figures at one frequency. A figure that would be unbounded or undefined is none: K and
// MSG of a unilateral device, mu or mu' when their denominator is 0, a circle that is a line.
struct Stability {
    double f_ghz = 0.0;
    std::optional<double> k;             // Rollett's stability factor
    std::optional<double> delta_mag;     // |S11 S22 - S12 S21|
    std::optional<double> mu;            // the distance from the centre of the Smith chart to the
    std::optional<double> mu_prime;      // nearest unstable load (mu) or source (mu')
    bool stable = false;                 // unconditionally stable: mu > 1 (K > 1 and |Delta| < 1)
    std::optional<Circle> input_circle;  // in the source plane: |Gamma_out| = 1
    std::optional<Circle> output_circle; // in the load plane: |Gamma_in| = 1
    GainKind gain_kind = GainKind::MSG;
    std::optional<double> gain_db;       // MAG where stable, else MSG = |S21 / S12|
    std::optional<ConjugateMatch> match; // where stable
    Note note = Note::None;
};

[[nodiscard]] Stability stability(const TwoPortSample& sample);

// 10 log10(ratio); none unless the ratio is positive and the result finite.
[[nodiscard]] std::optional<double> ratio_db(double ratio);

// The impedance a reflection stands for, referred to `reference_ohm`; none at Gamma = 1.
[[nodiscard]] std::optional<Complex> impedance(Complex gamma, double reference_ohm);

} // namespace veltrane::match
