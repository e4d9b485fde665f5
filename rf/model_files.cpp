#include "rf/model_files.h"
#include "model/units.h"

#include "rf/numbers.h"
#include "rf/response.h"

#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

namespace veltrane::rf {

namespace {

struct Element {
    std::string_view name;
    double LumpedModel::*value;
    std::string_view unit;
};

constexpr std::array<Element, 4> elements = {{
    {"Ls", &LumpedModel::ls_nh, "nH"},
    {"Cs", &LumpedModel::cs_pf, "pF"},
    {"Lp", &LumpedModel::lp_nh, "nH"},
    {"Cp", &LumpedModel::cp_pf, "pF"},
}};

std::string_view topology_layout(Topology topology) {
    return topology == Topology::ParallelSeries
               ? "Lp || Cp across RL, Ls and Cs in series in front"
               : "Ls and Cs in series with RL, Lp || Cp across both";
}

// The "! Ls = ..." lines (or "* Ls = ..." for SPICE): the model's values and, for standard
// values, the calculated ones beside them.
void describe_elements(std::string& out, const DescribedModel& described, std::string_view lead) {
    for (const Element& element : elements) {
        out += lead;
        out += element.name;
        out += " = ";
        out += shortest(described.model.*element.value);
        out += ' ';
        out += element.unit;
        if (described.exact) {
            out += " (calculated ";
            out += shortest(*described.exact.*element.value);
            out += ' ';
            out += element.unit;
            out += ')';
        }
        out += '\n';
    }
    out += lead;
    out += "RL = ";
    out += shortest(described.model.rl_ohm);
    out += " ohm\n";
}

// The SI value of `value` given in units of 10^`exponent` (nH: -9), as the double nearest to the
// decimal number the other files show (0.16 nH gives 1.6e-10 H, not 0.16 / 1e9).
double si_value(double value, int exponent) {
    const std::string text = shortest(value) + "e" + std::to_string(exponent);
    double si = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), si);
    return error == std::errc{} ? si : value * std::pow(10.0, exponent);
}

} // namespace

std::string touchstone_text(const DescribedModel& described, const std::vector<double>& f_ghz,
                            double z0_ohm) {
    std::string out;
    out.reserve(200 + f_ghz.size() * 64);
    out += "! Veltrane lumped model of a one-port, written by veltrane-calc\n";
    out += "! Topology: ";
    out += topology_name(described.model.topology);
    out += " (";
    out += topology_layout(described.model.topology);
    out += ")\n";
    if (described.series) {
        out += "! Standard values of the ";
        out += e_series_name(*described.series);
        out += " series in place of the calculated elements\n";
    }
    describe_elements(out, described, "! ");
    out += "# GHz S RI R ";
    append_shortest(out, z0_ohm);
    out += '\n';
    for (double f : f_ghz) {
        const Complex g = model_reflection(described.model, f, z0_ohm);
        append_shortest(out, f);
        out += ' ';
        append_shortest(out, g.real());
        out += ' ';
        append_shortest(out, g.imag());
        out += '\n';
    }
    return out;
}

std::string spice_text(const DescribedModel& described, const Result& calculation, Choice choice,
                       const Sweep& sweep) {
    const LumpedModel& m = described.model;
    std::string out;
    out += "* Veltrane lumped model of a one-port, written by veltrane-calc\n";
    out += "* Topology: ";
    out += topology_name(m.topology);
    out += " (";
    out += topology_layout(m.topology);
    out += ")\n*\n* Inputs: F1 = ";
    out += shortest(mhz_to_ghz(calculation.F1));
    out += " GHz, R1 + jX1 = ";
    out += shortest(calculation.R1);
    out += " + j(";
    out += shortest(calculation.X1);
    out += ") ohm\n*         F2 = ";
    out += shortest(mhz_to_ghz(calculation.F2));
    out += " GHz, R2 + jX2 = ";
    out += shortest(calculation.R2);
    out += " + j(";
    out += shortest(calculation.X2);
    out += ") ohm\n*         RL = ";
    out += shortest(calculation.RL);
    out += " ohm\n* Choices: F1 ";
    out += crossover_word(choice.f1);
    out += ", F2 ";
    out += crossover_word(choice.f2);
    out += ", ";
    out += topology_name(choice.topology);
    out += "\n* Band: FL = ";
    out += shortest(calculation.FL);
    out += " MHz, FH = ";
    out += shortest(calculation.FH);
    out += " MHz, F0 = ";
    out += shortest(calculation.F0);
    out += " MHz, Q0 = ";
    out += shortest(calculation.Qbp);
    out += "\n*\n";
    if (described.series) {
        out += "* Standard values of the ";
        out += e_series_name(*described.series);
        out += " series in place of the calculated elements:\n";
    } else {
        out += "* Elements:\n";
    }
    describe_elements(out, described, "*   ");
    bool negative = false;
    for (const Element& element : elements) {
        negative = negative || m.*element.value < 0;
    }
    if (negative) {
        out += "*\n* Negative values are written as calculated: no passive part has them, the\n"
               "* model holds only at and between the measured points.\n";
    }
    out += "*\n* Example of use (the impedance at the port is v(in) for a 1 A source; rshunt\n"
           "* gives every node a DC path, as the node between Ls and Cs has none):\n"
           "*   .options rshunt=1e12\n"
           "*   X1 in 0 veltrane_model\n"
           "*   I1 0 in AC 1\n"
           "*   .ac ";
    out += sweep.log ? "dec 100 " : "lin ";
    if (!sweep.log) {
        out += std::to_string(sweep.points);
        out += ' ';
    }
    // ngspice refuses an AC sweep that starts at 0 Hz.
    out += full_precision(sweep.start_ghz > 0 ? ghz_to_hz(sweep.start_ghz)

                                              : ghz_to_hz(sweep.stop_ghz) / sweep.points);
    out += ' ';
    out += full_precision(ghz_to_hz(sweep.stop_ghz));
    out += "\n*   .control\n*   run\n*   print vr(in) vi(in)\n*   quit\n*   .endc\n*\n";

    // Nodes: n1 between Ls and Cs, n2 after the series pair.
    const auto element_line = [&out](std::string_view name, std::string_view a, std::string_view b,
                                     double value) {
        out += name;
        out += ' ';
        out += a;
        out += ' ';
        out += b;
        out += ' ';
        out += full_precision(value);
        out += '\n';
    };
    out += ".subckt veltrane_model port ground\n";
    if (m.topology == Topology::ParallelSeries) {
        element_line("Ls", "port", "n1", si_value(m.ls_nh, -9));
        element_line("Cs", "n1", "n2", si_value(m.cs_pf, -12));
        element_line("Lp", "n2", "ground", si_value(m.lp_nh, -9));
        element_line("Cp", "n2", "ground", si_value(m.cp_pf, -12));
        element_line("RL", "n2", "ground", m.rl_ohm);
    } else {
        element_line("Ls", "port", "n1", si_value(m.ls_nh, -9));
        element_line("Cs", "n1", "n2", si_value(m.cs_pf, -12));
        element_line("RL", "n2", "ground", m.rl_ohm);
        element_line("Lp", "port", "ground", si_value(m.lp_nh, -9));
        element_line("Cp", "port", "ground", si_value(m.cp_pf, -12));
    }
    out += ".ends veltrane_model\n";
    return out;
}

} // namespace veltrane::rf
