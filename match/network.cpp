#include "match/network.h"

#include "match/parts.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace veltrane::match {

namespace {

constexpr double two_pi = 2 * std::numbers::pi;

// Admittance of a capacitor's branch (S): omega*C with C in pF and f in GHz, plus its loss.
Complex capacitor_admittance(double c_pf, double f_ghz, const Losses& losses) {
    const double b = two_pi * f_ghz * c_pf / 1000;
    const double g = losses.capacitor ? b / losses.capacitor->q : 0.0;
    return {g, b};
}

// Impedance of an inductor's branch (ohm): omega*L with L in nH and f in GHz, plus its loss,
// across its parallel capacitance when it self-resonates.
Complex inductor_impedance(double l_nh, double f_ghz, const Losses& losses) {
    const double x = two_pi * f_ghz * l_nh;
    double r = 0.0;
    if (losses.inductor) {
        r = two_pi * std::sqrt(f_ghz * losses.inductor->at_ghz) * l_nh / losses.inductor->q;
    }
    if (losses.inductor_srf_ghz) {
        // omega Cp (S) with Cp = 1 / (omega_srf^2 L): GHz and nH need no factor.
        const double w_srf = two_pi * *losses.inductor_srf_ghz;
        const double b = two_pi * f_ghz / (w_srf * w_srf * l_nh);
        const Complex z{r, x};
        return z / (1.0 + Complex{0, b} * z);
    }
    return {r, x};
}

// Impedance of a capacitor's branch (ohm), its series inductance and resistance included.
Complex capacitor_impedance(double c_pf, double f_ghz, const Losses& losses) {
    const Complex z = 1.0 / capacitor_admittance(c_pf, f_ghz, losses);
    return losses.capacitor_esl_nh || losses.capacitor_esr_ohm ? z + losses.capacitor_series(f_ghz)
                                                               : z;
}

// `x` kept at least `pole_guard` from 0, its sign kept: a stub's pole stays finite.
constexpr double pole_guard = 1e-12;
double off_zero(double x) {
    return std::abs(x) < pole_guard ? std::copysign(pole_guard, x) : x;
}

// A line's characteristic impedance, positive and finite whatever the element says.
double line_z0(const Element& e) {
    return std::isfinite(e.z0_ohm) && e.z0_ohm > 0 ? e.z0_ohm : 1.0;
}

// A stub's input admittance (S) at `f_ghz`: open j tan/Z0, shorted -j cot/Z0.
Complex stub_admittance(const Element& e, double f_ghz) {
    const double theta = line_theta(e, f_ghz);
    const double z0 = line_z0(e);
    if (e.kind == Kind::OpenStub) {
        return {0.0, std::sin(theta) / (z0 * off_zero(std::cos(theta)))};
    }
    return {0.0, -std::cos(theta) / (z0 * off_zero(std::sin(theta)))};
}

// A stub's input impedance (ohm) at `f_ghz`: open -j Z0 cot, shorted j Z0 tan.
Complex stub_impedance(const Element& e, double f_ghz) {
    const double theta = line_theta(e, f_ghz);
    const double z0 = line_z0(e);
    if (e.kind == Kind::OpenStub) {
        return {0.0, -z0 * std::cos(theta) / off_zero(std::sin(theta))};
    }
    return {0.0, z0 * std::sin(theta) / off_zero(std::cos(theta))};
}

// m * n
Abcd times(const Abcd& m, const Abcd& n) {
    return {m.a * n.a + m.b * n.c, m.a * n.b + m.b * n.d, m.c * n.a + m.d * n.c,
            m.c * n.b + m.d * n.d};
}

// A measured part's impedance, scaled as its value strays from the nominal (the yield varies
// it): an inductor's in proportion, a capacitor's inversely. At the nominal value, the file's.
Complex measured_impedance(const Element& element, double f_ghz, const Losses& losses) {
    const Complex z = losses.parts->impedance(element.part, f_ghz);
    const double nominal = losses.parts->parts[static_cast<std::size_t>(element.part)].value;
    if (element.value == nominal) {
        return z;
    }
    return element.kind == Kind::L ? z * (element.value / nominal) : z * (nominal / element.value);
}

} // namespace

double line_theta(const Element& element, double f_ghz) {
    if (!(element.at_ghz > 0) || !std::isfinite(element.value) || !std::isfinite(f_ghz)) {
        return 0.0;
    }
    return element.value * std::numbers::pi / 180 * f_ghz / element.at_ghz;
}

Abcd line_matrix(double z0_ohm, double theta) {
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    return {{c, 0.0}, {0.0, z0_ohm * s}, {0.0, s / z0_ohm}, {c, 0.0}};
}

Complex Losses::capacitor_series(double f_ghz) const {
    return {capacitor_esr_ohm.value_or(0.0), two_pi * f_ghz * capacitor_esl_nh.value_or(0.0)};
}

PartsHandle::PartsHandle() noexcept = default;
PartsHandle::PartsHandle(std::shared_ptr<const PartLibrary> library) noexcept
    : library_(std::move(library)) {}
PartsHandle::PartsHandle(const PartsHandle& other) noexcept = default;
PartsHandle::PartsHandle(PartsHandle&& other) noexcept = default;
PartsHandle& PartsHandle::operator=(const PartsHandle& other) noexcept = default;
PartsHandle& PartsHandle::operator=(PartsHandle&& other) noexcept = default;
PartsHandle::~PartsHandle() = default;

std::string_view position_name(Position position) {
    return position == Position::Series ? "series" : "shunt";
}

std::string_view kind_name(Kind kind) {
    switch (kind) {
    case Kind::L:
        return "L";
    case Kind::C:
        return "C";
    case Kind::Line:
        return "line";
    case Kind::OpenStub:
        return "open stub";
    case Kind::ShortStub:
        return "short stub";
    }
    return "C";
}

std::string_view unit_name(Kind kind) {
    return kind == Kind::L ? "nH" : kind == Kind::C ? "pF" : "deg";
}

Complex branch_impedance(const Element& element, double f_ghz, const Losses& losses) {
    if (element.kind == Kind::Line) {
        return {};
    }
    if (is_line(element.kind)) {
        return stub_impedance(element, f_ghz);
    }
    if (element.part >= 0 && losses.parts) {
        return measured_impedance(element, f_ghz, losses);
    }
    if (element.kind == Kind::L) {
        return inductor_impedance(element.value, f_ghz, losses);
    }
    return capacitor_impedance(element.value, f_ghz, losses);
}

Abcd chain_matrix(const Ladder& ladder, double f_ghz, const Losses& losses) {
    Abcd m;
    for (const Element& element : ladder) {
        if (element.kind == Kind::Line) {
            m = times(m, line_matrix(line_z0(element), line_theta(element, f_ghz)));
            continue;
        }
        // A stub is a branch like a part: in series, its impedance; across, its admittance.
        const bool stub = is_line(element.kind);
        const bool measured = element.part >= 0 && losses.parts;
        if (element.position == Position::Series) {
            const Complex z = stub       ? stub_impedance(element, f_ghz)
                              : measured ? measured_impedance(element, f_ghz, losses)
                              : element.kind == Kind::L
                                  ? inductor_impedance(element.value, f_ghz, losses)
                                  : capacitor_impedance(element.value, f_ghz, losses);
            // m * [1 z; 0 1]
            m.b += m.a * z;
            m.d += m.c * z;
        } else {
            const bool series_parts = losses.capacitor_esl_nh || losses.capacitor_esr_ohm;
            const Complex y =
                stub                      ? stub_admittance(element, f_ghz)
                : measured                ? 1.0 / measured_impedance(element, f_ghz, losses)
                : element.kind == Kind::L ? 1.0 / inductor_impedance(element.value, f_ghz, losses)
                : series_parts            ? 1.0 / capacitor_impedance(element.value, f_ghz, losses)
                                          : capacitor_admittance(element.value, f_ghz, losses);
            // m * [1 0; y 1]
            m.a += m.b * y;
            m.c += m.d * y;
        }
    }
    return m;
}

SParameters s_parameters(const Abcd& m, double z0_ohm) {
    const Complex b = m.b / z0_ohm;
    const Complex c = m.c * z0_ohm;
    const Complex denominator = m.a + b + c + m.d;
    return {(m.a + b - c - m.d) / denominator, 2.0 / denominator,
            2.0 * (m.a * m.d - m.b * m.c) / denominator, (-m.a + b - c + m.d) / denominator};
}

Complex input_impedance(const Abcd& m, Complex z_load) {
    return (m.a * z_load + m.b) / (m.c * z_load + m.d);
}

Complex reflection(Complex z, double r_ohm) {
    return (z - r_ohm) / (z + r_ohm);
}

double transducer_gain(const Abcd& m, Complex z_load, double source_ohm) {
    const Complex v = m.a * z_load + m.b + source_ohm * (m.c * z_load + m.d);
    return 4 * source_ohm * z_load.real() / std::norm(v);
}

Complex source_reflection(Complex z, Complex z_source) {
    return (z - std::conj(z_source)) / (z + z_source);
}

double transducer_gain(const Abcd& m, Complex z_load, Complex z_source) {
    const Complex v = m.a * z_load + m.b + z_source * (m.c * z_load + m.d);
    return 4 * z_source.real() * z_load.real() / std::norm(v);
}

double return_loss_db(double gamma) {
    return -20 * std::log10(std::max(gamma, 1e-15));
}

double gain_db(double gain) {
    return 10 * std::log10(std::max(gain, 1e-30));
}

Figures evaluate(const Ladder& ladder, const Load& load, double source_ohm, const Losses& losses) {
    Figures figures;
    double smallest_gain = 1.0;
    bool first = true;
    for (std::size_t i = 0; i < load.f_ghz.size(); ++i) {
        const Abcd m = chain_matrix(ladder, load.f_ghz[i], losses);
        const Complex z_in = input_impedance(m, load.z_ohm[i]);
        double gamma = 0.0;
        double gain = 0.0;
        if (load.complex_source()) {
            gamma = std::abs(source_reflection(z_in, load.source_z_ohm[i]));
            gain = transducer_gain(m, load.z_ohm[i], load.source_z_ohm[i]);
        } else {
            gamma = std::abs(reflection(z_in, source_ohm));
            gain = transducer_gain(m, load.z_ohm[i], source_ohm);
        }
        if (first || gamma > figures.worst_gamma) {
            figures.worst_gamma = gamma;
            figures.at_ghz = load.f_ghz[i];
        }
        if (first || gain < smallest_gain) {
            smallest_gain = gain;
        }
        first = false;
    }
    figures.worst_rl_db = return_loss_db(figures.worst_gamma);
    figures.gain_db = gain_db(smallest_gain);
    return figures;
}

Complex load_at(const Load& load, double f_ghz) {
    const auto& f = load.f_ghz;
    const std::size_t n = std::min(f.size(), load.z_ohm.size());
    if (n == 0) {
        return {};
    }
    const auto above =
        std::upper_bound(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(n), f_ghz);
    if (above == f.begin()) {
        return load.z_ohm.front();
    }
    const auto i = static_cast<std::size_t>(above - f.begin());
    if (i == n) {
        return load.z_ohm[n - 1];
    }
    const double t = (f_ghz - f[i - 1]) / (f[i] - f[i - 1]);
    return load.z_ohm[i - 1] + t * (load.z_ohm[i] - load.z_ohm[i - 1]);
}

ElementPath element_path(const Ladder& ladder, const Losses& losses, Complex z_load, double f_ghz,
                         int steps) {
    steps = std::max(steps, 1);
    ElementPath path;
    path.f_ghz = f_ghz;
    path.z_ohm.push_back(z_load);
    path.joints.push_back(0);
    Complex z = z_load;
    for (auto e = ladder.rbegin(); e != ladder.rend(); ++e) {
        if (e->kind == Kind::Line) {
            // The line grows from the load's end: a turn about Z0 at constant |Gamma|.
            const Complex before = z;
            const double theta = line_theta(*e, f_ghz);
            for (int k = 1; k <= steps; ++k) {
                const double t = static_cast<double>(k) / steps;
                z = input_impedance(line_matrix(line_z0(*e), t * theta), before);
                path.z_ohm.push_back(z);
            }
            path.joints.push_back(path.z_ohm.size() - 1);
            continue;
        }
        const Complex branch = branch_impedance(*e, f_ghz, losses);
        const Complex before = z;
        for (int k = 1; k <= steps; ++k) {
            const double t = static_cast<double>(k) / steps;
            if (e->position == Position::Series) {
                z = before + t * branch;
            } else {
                // 1 / (1/before + t/branch), written so that a short before stays a short.
                z = before * branch / (branch + t * before);
            }
            path.z_ohm.push_back(z);
        }
        path.joints.push_back(path.z_ohm.size() - 1);
    }
    return path;
}

} // namespace veltrane::match
