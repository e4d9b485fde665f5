// Stability and gain of a measured two-port: Rollett's K with |Delta|, Edwards and Sinsky's mu
// and mu', the stability circles, the simultaneous conjugate match and the maximum available or
// stable gain. Every division is guarded: a figure that would not be finite is left out.

#include "match/amplifier.h"

#include "rf/numbers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace veltrane::match {

namespace {

bool finite(Complex value) {
    return std::isfinite(value.real()) && std::isfinite(value.imag());
}

// |x|^2
double mag2(Complex x) {
    return std::norm(x);
}

std::optional<double> finite_or_none(double value) {
    return std::isfinite(value) ? std::optional<double>{value} : std::nullopt;
}

// (P - D)(P + D)^-1 for a 2x2 matrix P (row by row) and a diagonal D, with P and D scaled by
// 2^-e first (which leaves the result as it is). None when P + D is singular or a value does not
// come out finite.
std::optional<std::array<Complex, 4>> bilinear_scaled(std::array<Complex, 4> p,
                                                      std::array<double, 2> d, int e) {
    for (Complex& value : p) {
        value = {std::ldexp(value.real(), -e), std::ldexp(value.imag(), -e)};
    }
    d = {std::ldexp(d[0], -e), std::ldexp(d[1], -e)};
    const Complex a11 = p[0] + d[0], a12 = p[1], a21 = p[2], a22 = p[3] + d[1];
    const Complex det = a11 * a22 - a12 * a21;
    if (det == Complex{} || !finite(det)) {
        return std::nullopt;
    }
    // (P - D) adj(P + D) / det
    const Complex b11 = p[0] - d[0], b12 = p[1], b21 = p[2], b22 = p[3] - d[1];
    std::array<Complex, 4> n = {(b11 * a22 - b12 * a21) / det, (-b11 * a12 + b12 * a11) / det,
                                (b21 * a22 - b22 * a21) / det, (-b21 * a12 + b22 * a11) / det};
    for (const Complex& value : n) {
        if (!finite(value)) {
            return std::nullopt;
        }
    }
    return n;
}

// bilinear_scaled as it is, or, when values that large overflow, scaled so that the largest
// entry is near 1.
std::optional<std::array<Complex, 4>> bilinear(const std::array<Complex, 4>& p,
                                               std::array<double, 2> d) {
    if (auto n = bilinear_scaled(p, d, 0)) {
        return n;
    }
    double largest = std::max(d[0], d[1]);
    for (const Complex& value : p) {
        largest = std::max({largest, std::abs(value.real()), std::abs(value.imag())});
    }
    return bilinear_scaled(p, d, std::ilogb(largest));
}

// The circle |Gamma| = 1 at the other port maps to, from the denominator |S_ii|^2 - |Delta|^2
// and the numerator of its centre, S_ii - Delta S_jj*.
std::optional<Circle> circle(double denominator, Complex numerator, double product) {
    if (denominator == 0.0) {
        return std::nullopt;
    }
    const Circle c{std::conj(numerator) / denominator, product / std::abs(denominator)};
    if (!finite(c.centre) || !std::isfinite(c.radius)) {
        return std::nullopt;
    }
    return c;
}

// The root of B x^2 ... of the conjugate match: 2 C* / (B + sqrt(B^2 - 4 |C|^2)), the form of
// (B - sqrt(B^2 - 4 |C|^2)) / (2 C) that needs no division by C (which is 0 for a matched port).
std::optional<Complex> matching_gamma(double b, Complex c) {
    const double denominator = b + std::sqrt(std::max(b * b - 4 * mag2(c), 0.0));
    if (!(denominator > 0.0)) {
        return std::nullopt;
    }
    const Complex gamma = 2.0 * std::conj(c) / denominator;
    return finite(gamma) ? std::optional<Complex>{gamma} : std::nullopt;
}

} // namespace

std::variant<TwoPortData, std::string> two_port_data(const rf::Network& network) {
    if (network.ports != 2) {
        return network.source + " has " + std::to_string(network.ports) +
               (network.ports == 1 ? " port" : " ports") +
               ": the amplifier's figures need a two-port (.s2p)";
    }
    TwoPortData data;
    data.source = network.source;
    const double r1 = network.reference_ohm.at(0);
    const double r2 = network.reference_ohm.at(1);
    data.reference1_ohm = r1;
    data.reference2_ohm = r2;
    data.samples.reserve(network.f_ghz.size());
    for (std::size_t i = 0; i < network.f_ghz.size(); ++i) {
        TwoPortSample sample;
        sample.f_ghz = network.f_ghz[i];
        const std::array<Complex, 4> p = {network.at(i, 1, 1), network.at(i, 1, 2),
                                          network.at(i, 2, 1), network.at(i, 2, 2)};
        if (network.parameter == rf::Parameter::S) {
            sample.s11 = p[0];
            sample.s12 = p[1];
            sample.s21 = p[2];
            sample.s22 = p[3];
        } else {
            // With G = diag(R1, R2): S = F (Z - G)(Z + G)^-1 F^-1, F = diag(1 / sqrt(R)); for Y,
            // S = -F^-1 (Y - G^-1)(Y + G^-1)^-1 F.
            const bool z = network.parameter == rf::Parameter::Z;
            const auto n = z ? bilinear(p, {r1, r2}) : bilinear(p, {1 / r1, 1 / r2});
            if (!n) {
                return network.source + ": no S-parameters at " + rf::shortest(sample.f_ghz) +
                       " GHz (the " + (z ? "Z" : "Y") + " matrix plus the references is singular)";
            }
            const double ratio = z ? std::sqrt(r2 / r1) : std::sqrt(r1 / r2);
            const double sign = z ? 1.0 : -1.0;
            sample.s11 = sign * (*n)[0];
            sample.s12 = sign * ratio * (*n)[1];
            sample.s21 = sign / ratio * (*n)[2];
            sample.s22 = sign * (*n)[3];
        }
        data.samples.push_back(sample);
    }
    return data;
}

Stability stability(const TwoPortSample& sample) {
    const Complex s11 = sample.s11, s12 = sample.s12, s21 = sample.s21, s22 = sample.s22;
    Stability out;
    out.f_ghz = sample.f_ghz;
    const Complex delta = s11 * s22 - s12 * s21;
    const double product = std::abs(s12 * s21); // |S12 S21|
    out.delta_mag = finite_or_none(std::abs(delta));
    if (s21 == Complex{}) {
        out.note = Note::NoTransmission;
    } else if (s12 == Complex{}) {
        out.note = Note::Unilateral;
    }

    // 1 - |S11|^2 - |S22|^2 + |Delta|^2 = 2 K |S12 S21|
    const double a = 1 - mag2(s11) - mag2(s22) + mag2(delta);
    if (product > 0.0) {
        out.k = finite_or_none(a / (2 * product));
    }
    // mu = (1 - |S11|^2) / (|S22 - Delta S11*| + |S12 S21|), mu' the same with the ports swapped.
    const double mu_num = 1 - mag2(s11);
    const double mu_den = std::abs(s22 - delta * std::conj(s11)) + product;
    const double mu2_num = 1 - mag2(s22);
    const double mu2_den = std::abs(s11 - delta * std::conj(s22)) + product;
    if (mu_den > 0.0) {
        out.mu = finite_or_none(mu_num / mu_den);
    }
    if (mu2_den > 0.0) {
        out.mu_prime = finite_or_none(mu2_num / mu2_den);
    }
    // mu > 1, compared without the division (mu is unbounded when its denominator is 0).
    out.stable = std::isfinite(mu_num) && std::isfinite(mu_den) && mu_num > mu_den;

    out.input_circle = circle(mag2(s11) - mag2(delta), s11 - delta * std::conj(s22), product);
    out.output_circle = circle(mag2(s22) - mag2(delta), s22 - delta * std::conj(s11), product);

    if (out.stable) {
        out.gain_kind = GainKind::MAG;
        const auto gamma_s =
            matching_gamma(1 + mag2(s11) - mag2(s22) - mag2(delta), s11 - delta * std::conj(s22));
        const auto gamma_l =
            matching_gamma(1 + mag2(s22) - mag2(s11) - mag2(delta), s22 - delta * std::conj(s11));
        // MAG = |S21 / S12| (K - sqrt(K^2 - 1)) = 2 |S21|^2 / (A + sqrt(A^2 - 4 |S12 S21|^2)),
        // the second form also holding for a unilateral device (|S21|^2 / A).
        const double gain_den = a + std::sqrt(std::max(a * a - 4 * product * product, 0.0));
        const double gain = gain_den > 0.0 ? 2 * mag2(s21) / gain_den : 0.0;
        if (gamma_s && gamma_l && gain_den > 0.0 && std::isfinite(gain)) {
            out.match = ConjugateMatch{*gamma_s, *gamma_l, gain};
            out.gain_db = ratio_db(gain);
        }
    } else if (product > 0.0) {
        out.gain_db = ratio_db(std::abs(s21) / std::abs(s12));
    }
    return out;
}

std::optional<double> ratio_db(double ratio) {
    if (!(ratio > 0.0) || !std::isfinite(ratio)) {
        return std::nullopt;
    }
    return finite_or_none(10 * std::log10(ratio));
}

std::optional<Complex> impedance(Complex gamma, double reference_ohm) {
    const Complex z = reference_ohm * (1.0 + gamma) / (1.0 - gamma);
    if (!finite(z)) { // Gamma = 1: an open circuit
        return std::nullopt;
    }
    return z;
}

} // namespace veltrane::match
