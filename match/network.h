#pragma once

#include <complex>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace veltrane::match {

using Complex = std::complex<double>;

// Where an element of a ladder sits: in the line, or across it to ground.
enum class Position { Series, Shunt };
// Lumped parts, and lossless TEM lines: a line in series with the signal (always at
// Position::Series), and a stub open or shorted at its far end.
enum class Kind { L, C, Line, OpenStub, ShortStub };

// One part of a matching ladder; `value` in nH for an inductor, pF for a capacitor, and the
// electrical length in degrees at `at_ghz` for a line or stub, whose characteristic impedance is
// `z0_ohm`. `part`, when not -1, is a real part of the library that Losses::parts carries: the
// element's impedance is then the part's measured one, and `value` its nominal value.
struct Element {
    Position position = Position::Series;
    Kind kind = Kind::L;
    double value = 0.0;
    int part = -1;
    double z0_ohm = 0.0;
    double at_ghz = 0.0;
    friend bool operator==(const Element&, const Element&) = default;
};

// A line or a stub (not a lumped part).
[[nodiscard]] constexpr bool is_line(Kind kind) {
    return kind == Kind::Line || kind == Kind::OpenStub || kind == Kind::ShortStub;
}

// A line's or stub's electrical length at `f_ghz` (radians): value * pi/180 * f / at_ghz, 0 when
// `at_ghz` is not positive.
[[nodiscard]] double line_theta(const Element& element, double f_ghz);

// The elements from the source to the load.
using Ladder = std::vector<Element>;

[[nodiscard]] std::string_view position_name(Position position); // "series", "shunt"
// "L", "C", "line", "open stub", "short stub"
[[nodiscard]] std::string_view kind_name(Kind kind);
[[nodiscard]] std::string_view unit_name(Kind kind); // "nH", "pF", "deg"

// A part's quality factor `q` stated at `at_ghz`.
struct PartQ {
    double q = 0.0;
    double at_ghz = 0.0;
};

// Finite Q of the parts. An inductor has a series resistance that grows as sqrt(f) (skin
// effect): Q(f) = q * sqrt(f / at_ghz). A capacitor has a constant loss tangent 1/q: a parallel
// conductance omega*C/q, the same Q at every frequency. No value: the part is lossless.
struct PartLibrary; // match/parts.h

// A shared, read-only part library. Its copies and its end are out of line: GCC 12 warns of an
// uninitialised count when a shared_ptr inside an aggregate (Losses) is inlined into arrays.
class PartsHandle {
  public:
    PartsHandle() noexcept;
    PartsHandle(std::shared_ptr<const PartLibrary> library) noexcept; // NOLINT: implicit
    PartsHandle(const PartsHandle& other) noexcept;
    PartsHandle(PartsHandle&& other) noexcept;
    PartsHandle& operator=(const PartsHandle& other) noexcept;
    PartsHandle& operator=(PartsHandle&& other) noexcept;
    ~PartsHandle();
    explicit operator bool() const { return library_ != nullptr; }
    const PartLibrary& operator*() const { return *library_; }
    const PartLibrary* operator->() const { return library_.get(); }

  private:
    std::shared_ptr<const PartLibrary> library_;
};

//
// Parasitics, beside the Q model: an inductor self-resonates at `inductor_srf_ghz` through a
// parallel capacitance Cp = 1 / ((2 pi f_srf)^2 L) across its (lossy) inductance, so that its
// impedance stays proportional to L; a capacitor has a series inductance `capacitor_esl_nh` and
// resistance `capacitor_esr_ohm` in series with its (lossy) capacitance, the same for every C.
struct Losses {
    std::optional<PartQ> inductor;
    std::optional<PartQ> capacitor;
    std::optional<double> inductor_srf_ghz{};
    std::optional<double> capacitor_esl_nh{};
    std::optional<double> capacitor_esr_ohm{};
    // The measured parts an element's `part` indexes (none: every element is ideal or Q model).
    PartsHandle parts{};
    [[nodiscard]] bool lossless() const { return !inductor && !capacitor && !capacitor_esr_ohm; }
    [[nodiscard]] bool parasitics() const {
        return inductor_srf_ghz || capacitor_esl_nh || capacitor_esr_ohm;
    }
    // A capacitor's series impedance ESR + j w ESL at `f_ghz` (ohm), 0 without them.
    [[nodiscard]] Complex capacitor_series(double f_ghz) const;
};

// The load as samples: impedance (ohm) at rising frequencies (GHz, > 0). A source that is not
// the resistance the functions below are given (a fixed complex impedance, or measured) has its
// impedance at the same samples in `source_z_ohm`, each with a positive real part; empty, the
// source is that resistance.
struct Load {
    std::vector<double> f_ghz;
    std::vector<Complex> z_ohm;
    std::vector<Complex> source_z_ohm = {};

    [[nodiscard]] bool complex_source() const { return !source_z_ohm.empty(); }
};

// The power-wave reflection at a source of impedance `z_source` looking into `z`:
// (z - conj(z_source)) / (z + z_source); with a resistive source, reflection(). Its magnitude
// squared is the share of the available power not taken by `z`.
[[nodiscard]] Complex source_reflection(Complex z, Complex z_source);

// The impedance of an element's branch at `f_ghz` > 0 (ohm), losses included: the impedance in
// series with the line, or the impedance of the branch to ground. A stub's is its input
// impedance (open: -j Z0 cot(theta), shorted: j Z0 tan(theta)), kept finite where it has a pole
// (|cos| or |sin| below 1e-12 counts as 1e-12); a line is no branch: 0.
[[nodiscard]] Complex branch_impedance(const Element& element, double f_ghz, const Losses& losses);

// Chain matrix of a two-port: V1 = A V2 + B I2, I1 = C V2 + D I2.
struct Abcd {
    Complex a{1.0, 0.0}, b{0.0, 0.0}, c{0.0, 0.0}, d{1.0, 0.0};
};

// A series line's chain matrix [cos, j Z0 sin; j sin / Z0, cos] at electrical length `theta`.
[[nodiscard]] Abcd line_matrix(double z0_ohm, double theta);

// The ladder's chain matrix at `f_ghz` > 0, from the source side (port 1) to the load side.
[[nodiscard]] Abcd chain_matrix(const Ladder& ladder, double f_ghz, const Losses& losses);

// Scattering parameters of a two-port with both ports referred to `z0_ohm`.
struct SParameters {
    Complex s11, s21, s12, s22;
};
[[nodiscard]] SParameters s_parameters(const Abcd& m, double z0_ohm);

// The impedance seen into port 1 with port 2 loaded by `z_load`.
[[nodiscard]] Complex input_impedance(const Abcd& m, Complex z_load);

// Reflection of `z` referred to the real `r_ohm`.
[[nodiscard]] Complex reflection(Complex z, double r_ohm);

// Power delivered to `z_load` over the power available from a source of `source_ohm` (0..1).
[[nodiscard]] double transducer_gain(const Abcd& m, Complex z_load, double source_ohm);

// The same from a source of complex impedance `z_source` (positive real part): with I2 the
// load's current, Vs = (A Z_L + B + Z_s (C Z_L + D)) I2, so
// G_T = 4 Re(Z_s) Re(Z_L) / |A Z_L + B + Z_s (C Z_L + D)|^2.
[[nodiscard]] double transducer_gain(const Abcd& m, Complex z_load, Complex z_source);

// Return loss (dB) of a reflection magnitude and gain in dB, both finite for any input: a
// magnitude below 1e-15 counts as 1e-15, a gain below 1e-30 as 1e-30.
[[nodiscard]] double return_loss_db(double gamma);
[[nodiscard]] double gain_db(double gain);

// What a network does to the load over the samples.
struct Figures {
    double worst_gamma = 0.0; // largest |Gamma_in| referred to the source (power waves)
    double worst_rl_db = 0.0; // its return loss
    double at_ghz = 0.0;      // where it is largest
    double gain_db = 0.0;     // smallest transducer gain over the samples (dB)
};

// The load's impedance at `f_ghz`: its real and imaginary parts interpolated linearly between
// the samples either side, the nearest end's outside them. No samples: 0.
[[nodiscard]] Complex load_at(const Load& load, double f_ghz);

// The impedance looking into the ladder from each point on the way from the load to the source
// at `f_ghz`: the load's own first, then `steps` points along each element (from the load's end)
// as its reactance (series) or susceptance (shunt) grows from nothing to its own, or as a line
// grows from no length to its own (a turn about Z0 at constant |Gamma|), the last the
// network's input. `joints` indexes the load's point and the point after each element.
struct ElementPath {
    double f_ghz = 0.0;
    std::vector<Complex> z_ohm;
    std::vector<std::size_t> joints;
};
[[nodiscard]] ElementPath element_path(const Ladder& ladder, const Losses& losses, Complex z_load,
                                       double f_ghz, int steps = 24);

// The figures of `ladder` between the source (the load's source samples, else `source_ohm`) and
// the load.
[[nodiscard]] Figures evaluate(const Ladder& ladder, const Load& load, double source_ohm,
                               const Losses& losses);

} // namespace veltrane::match
