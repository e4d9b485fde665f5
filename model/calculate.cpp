#include "model/calculate.h"

#include "model/state.h"
#include "model/text_number.h"
#include "output/display.h"
#include "output/format_number.h"

#include <cmath>
#include <string>
#include <utility>

namespace veltrane {

namespace {

// A calculation that cannot go on: the message for model_text.
struct Stop {
    std::string message;
};

[[noreturn]] void stop(std::string message) {
    throw Stop{std::move(message)};
}

constexpr std::string_view out_of_range = "Out of range: please change inputs";

// A double whose every operation is checked: a division by zero or a result that is not finite
// ends the calculation. Where a fault has a cause the user can name, the calculation tests that
// operand first and says so; these checks catch the rest (overflow, underflow into a divisor).
class Real {
  public:
    constexpr Real(double value) : value_(value) {} // NOLINT(google-explicit-constructor)
    [[nodiscard]] constexpr double value() const { return value_; }

    friend Real operator+(Real a, Real b) { return checked(a.value_ + b.value_); }
    friend Real operator-(Real a, Real b) { return checked(a.value_ - b.value_); }
    friend Real operator*(Real a, Real b) { return checked(a.value_ * b.value_); }
    friend Real operator/(Real a, Real b) {
        if (b.value_ == 0.0) {
            stop(std::string(out_of_range));
        }
        return checked(a.value_ / b.value_);
    }
    friend Real operator-(Real a) { return Real(-a.value_); }

  private:
    static Real checked(double value) {
        if (!std::isfinite(value)) {
            stop(std::string(out_of_range));
        }
        return Real(value);
    }
    double value_;
};

Real square_root(Real x) {
    if (x.value() < 0.0) {
        stop(std::string(out_of_range));
    }
    return std::sqrt(x.value());
}

// Divisor and square-root argument checks that name what to change.
void require_nonzero(double divisor, std::string_view message) {
    if (divisor == 0.0) {
        stop(std::string(message));
    }
}

void require_not_negative(double argument, std::string_view message) {
    if (argument < 0.0) {
        stop(std::string(message));
    }
}

void show_message(FieldSet& fields, std::string_view message) {
    fields.set_message_visible(true);
    fields.set_text(Field::Message, message);
}

// The user's name for an input field in messages.
std::string input_label(Field field) {
    const std::string_view name = field_name(field);
    return std::string(name.substr(0, name.find('_')));
}

double read_input(const FieldSet& fields, Field field) {
    const std::optional<double> number = text_to_number(fields.text(field));
    if (!number) {
        stop(input_label(field) + " is too large");
    }
    return *number;
}

double read_frequency(const FieldSet& fields, Field field) {
    const double mhz = read_input(fields, field) * 1000; // GHz typed, MHz held
    if (!std::isfinite(mhz)) {
        stop(input_label(field) + " is too large");
    }
    return mhz;
}

// Ls, Cs, Lp, Cp that present Xs1, Bp1 at F1 and Xs2, Bp2 at F2. All four are referred to F1;
// F2 enters only through the frequency ratio.
void synthesise_elements(State& s) {
    require_nonzero(s.F1, "F1 must not be 0");
    const Real r = Real(s.F2) / s.F1;
    const Real D = r * r - 1;
    if (D.value() == 0.0) {
        stop(r.value() > 0 ? "F1 and F2 must differ" : "F1 and F2 must have the same sign");
    }
    const Real XL1 = (r * s.Xs2 - s.Xs1) / D;
    Real XC1 = (r * s.Xs2 - r * r * s.Xs1) / D;
    const Real BC1 = (r * s.Bp2 - s.Bp1) / D;
    Real BL1 = (r * s.Bp2 - r * r * s.Bp1) / D;
    // The two terms that end up in a denominator.
    if (BL1.value() == 0.0) {
        BL1 = 1e-17;
    }
    if (XC1.value() == 0.0) {
        XC1 = 1e-17;
    }
    const Real pi = s.pi;
    s.Lp = (Real(1000) / (BL1 * 2 * pi * s.F1)).value();       // nH
    s.Ls = (Real(1000) * XL1 / (Real(2) * pi * s.F1)).value(); // nH
    s.Cp = (Real(1e6) * BC1 / (Real(2) * pi * s.F1)).value();  // pF
    s.Cs = (Real(1e6) / (XC1 * 2 * pi * s.F1)).value();        // pF
}

enum class Resonator { Parallel, Series };

// Realisability of the resonating pair, its resonance, the band FL..FH geometrically centred
// on it, the mean frequency F0 and the bandpass Q.
void compute_band(State& s, Resonator pair) {
    const double L = pair == Resonator::Parallel ? s.Lp : s.Ls;
    const double C = pair == Resonator::Parallel ? s.Cp : s.Cs;
    const Real P = Real(L) * C;
    if (P.value() < 0.0) {
        stop("Please change topology");
    }
    const Real pi = s.pi;
    const Real root_P = std::sqrt(P.value());
    require_nonzero(root_P.value(), "No resonance: please change inputs");
    const Real Fr = Real(std::sqrt(1e9)) / ((Real(2) * pi) * root_P); // MHz
    s.FH = s.F2;
    s.FL = s.F1;
    const Real F1F2 = Real(s.F1) * s.F2;
    require_not_negative(F1F2.value(), "F1 and F2 must have the same sign");
    const Real Fg = std::sqrt(F1F2.value());
    if (Fr.value() > Fg.value()) {
        s.FH = (Fr * Fr / s.F1).value();
    }
    if (Fr.value() < Fg.value()) {
        s.FL = (Fr * Fr / s.F2).value();
    }
    s.F0 = square_root(Real(s.FL) * s.FH).value();
    const Real W = Real(s.F0) * 2 * pi * 1e-6 * s.RL;
    if (pair == Resonator::Parallel) {
        s.Qbp = (W * std::fabs(s.Cp)).value();
    } else {
        s.Qbp = (Real(1) / (W * std::fabs(s.Cs))).value();
    }
}

// Shunt pair across RL with a series pair in front.
void solve_parallel_series(State& s, const FieldSet& fields) {
    if (s.RL == s.R1) {
        s.RL = s.R1 + 1e-8;
    }
    if (s.RL == s.R2) {
        s.RL = s.R2 + 1e-8;
    }
    double Rmax = s.R1;
    if (s.R2 > s.R1) {
        Rmax = s.R2;
    }
    if (s.RL < Rmax) {
        stop("RL must be >" + format_number(Rmax, Pattern::Report));
    }

    struct Point {
        double R, X;
        Option inductive;
        std::string_view r_must_be_positive;
    };
    auto solve_point = [&](const Point& p, double& Q, double& Bp, double& Xs) {
        double sign = +1;
        require_nonzero(p.R, p.r_must_be_positive);
        const Real ratio = Real(s.RL) / p.R - 1;
        require_not_negative(ratio.value(), p.r_must_be_positive);
        Q = std::sqrt(ratio.value());
        if (fields.is_selected(p.inductive)) {
            sign = -1;
        }
        Real RQ = Real(p.R) * Q;
        if (RQ.value() == 0.0) {
            RQ = 1e-17;
        }
        Bp = (Real(sign) * Q / s.RL).value();
        Xs = (Real(p.X) + Real(sign) * RQ).value();
    };
    solve_point({s.R1, s.X1, Option::F1Ind, "R1 must be > 0"}, s.par_ser.q1, s.Bp1, s.Xs1);
    solve_point({s.R2, s.X2, Option::F2Ind, "R2 must be > 0"}, s.par_ser.q2, s.Bp2, s.Xs2);

    synthesise_elements(s);
    compute_band(s, Resonator::Parallel);
}

// Series pair in series with RL with a shunt pair across both.
void solve_series_parallel(State& s, const FieldSet& fields) {
    // Parallel equivalent of a measured point: conductance Gp and susceptance B.
    struct Parallel {
        Real Gp, B;
    };
    auto parallel_equivalent = [](double R, double& X, std::string_view r_must_be_positive) {
        if (X == 0.0) {
            X = 1e-17;
        }
        require_nonzero(R, r_must_be_positive);
        const Real Qx = std::fabs((Real(X) / R).value());
        const Real Gp = (Real(1) / R) / (Real(1) + Qx * Qx);
        const Real B = ((-Qx * Qx) / X) / (Real(1) + Qx * Qx);
        return Parallel{Gp, B};
    };
    const Parallel p1 = parallel_equivalent(s.R1, s.X1, "R1 must be > 0");
    const Parallel p2 = parallel_equivalent(s.R2, s.X2, "R2 must be > 0");

    if (s.RL == (Real(1) / p1.Gp).value()) {
        s.RL = (Real(1) / p1.Gp - 1e-8).value();
    }
    if (s.RL == (Real(1) / p2.Gp).value()) {
        s.RL = (Real(1) / p2.Gp - 1e-8).value();
    }
    Real Gmax = p1.Gp;
    if (p2.Gp.value() > p1.Gp.value()) {
        Gmax = p2.Gp;
    }
    const Real limit = Real(1) / Gmax;
    if (limit.value() < s.RL) {
        stop("RL must be <" + format_number(limit.value(), Pattern::Report));
    }

    auto section_q = [&](Real Gp, std::string_view r_must_be_positive) {
        require_nonzero(s.RL, "RL must be > 0");
        const Real argument = (Real(1) / s.RL) / Gp - 1;
        if (argument.value() < 0.0) {
            if (s.RL < 0.0) {
                stop("RL must be > 0");
            }
            if (Gp.value() < 0.0) {
                stop(std::string(r_must_be_positive));
            }
            stop("Please change RL"); // RL a rounding error above the limit
        }
        return Real(std::sqrt(argument.value()));
    };
    auto sign_of = [&](Option inductive) { return fields.is_selected(inductive) ? -1.0 : +1.0; };

    const Real Q1 = section_q(p1.Gp, "R1 must be > 0");
    const Real dB1 = p1.Gp * Q1;
    const double s1 = sign_of(Option::F1Ind);
    s.Xs1 = ((Real(-s1) * Q1) * s.RL).value();
    s.Bp1 = (p1.B - dB1 * s1).value();
    const Real Q2 = section_q(p2.Gp, "R2 must be > 0");
    const Real dB2 = p2.Gp * Q2;
    const double s2 = sign_of(Option::F2Ind);
    s.Xs2 = ((Real(-s2) * Q2) * s.RL).value();
    s.Bp2 = (p2.B - dB2 * s2).value();
    s.ser_par = {Q1.value(), Q2.value()};

    synthesise_elements(s);
    compute_band(s, Resonator::Series);
}

// Nothing that is not a finite number may reach a field or the report.
void require_finite_results(const State& s) {
    for (double v : {s.Ls, s.Cs, s.Lp, s.Cp, s.par_ser.q1, s.par_ser.q2, s.ser_par.q1, s.ser_par.q2,
                     s.Qbp, s.FL, s.FH, s.F0, s.RL}) {
        if (!std::isfinite(v)) {
            stop(std::string(out_of_range));
        }
    }
}

} // namespace

Outcome calculate(FieldSet& fields, ReportSink& report) {
    State s;
    try {
        s.pi = 4 * std::atan(1.0);
        fields.set_message_visible(false);
        clear_results(fields); // the quantities start at 0 with the state

        s.F1 = read_frequency(fields, Field::F1);
        s.F2 = read_frequency(fields, Field::F2);
        s.R1 = read_input(fields, Field::R1);
        s.X1 = read_input(fields, Field::X1);
        s.R2 = read_input(fields, Field::R2);
        s.X2 = read_input(fields, Field::X2);
        s.RL = read_input(fields, Field::RL);

        if (!fields.is_selected(Option::F1Ind) && !fields.is_selected(Option::F1Cap)) {
            stop("Please F1 crossover");
        }
        if (!fields.is_selected(Option::F2Ind) && !fields.is_selected(Option::F2Cap)) {
            stop("Please F2 crossover");
        }
        if (fields.is_selected(Option::ParSer)) {
            solve_parallel_series(s, fields);
        } else if (!fields.is_selected(Option::SerPar)) {
            stop("Please select topology");
        } else {
            solve_series_parallel(s, fields);
        }
        require_finite_results(s);
    } catch (const Stop& halt) {
        show_message(fields, halt.message);
        return Outcome::Message;
    }

    display_results(s, fields);
    if (auto failure = report.write(report_text(s, fields))) {
        show_message(fields, *failure);
        return Outcome::ReportFailed;
    }
    return Outcome::Results;
}

} // namespace veltrane
