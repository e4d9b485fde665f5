// The compiled half of the Python module veltrane: the calculation, the Touchstone reader, the
// best fit and the matching networks on numpy arrays. Each function binds what the libraries
// and views/ already do; the package's Python half (veltrane/__init__.py) gives them their
// keyword arguments and objects. The GIL is released while a search runs; its progress callback
// runs with the GIL held, and an exception it raises (or Ctrl-C) stops the search and propagates.

#include "io/path_text.h"
#include "io/safe_file.h"
#include "match/bound.h"
#include "match/design.h"
#include "match/match_files.h"
#include "match/network.h"
#include "model/field_set.h"
#include "model/quantities.h"
#include "model/result.h"
#include "model/solve.h"
#include "output/calculate.h"
#include "output/report.h"
#include "rf/best_fit.h"
#include "rf/choices.h"
#include "rf/e_series.h"
#include "rf/fit.h"
#include "rf/model_impedance.h"
#include "rf/numbers.h"
#include "rf/refine.h"
#include "rf/svg.h"
#include "rf/touchstone.h"
#include "views/fit_json.h"
#include "views/match_json.h"
#include "views/match_run.h"
#include "views/match_view.h"
#include "views/model_summary.h"

#include <pybind11/complex.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

namespace py = pybind11;

namespace veltrane::python {

namespace {

using Complex = std::complex<double>;
using RealArray = py::array_t<double, py::array::c_style | py::array::forcecast>;
using ComplexArray = py::array_t<Complex, py::array::c_style | py::array::forcecast>;

// The calculation's message, or a search's: veltrane.Stop.
struct StopError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::vector<double> values_of(const RealArray& array) {
    return {array.data(), array.data() + array.size()};
}

std::vector<Complex> values_of(const ComplexArray& array) {
    return {array.data(), array.data() + array.size()};
}

void require_finite(double value, std::string_view name) {
    if (!std::isfinite(value)) {
        throw py::value_error(std::string{name} + ": " +
                              (std::isnan(value) ? "nan"
                               : value > 0       ? "inf"
                                                 : "-inf") +
                              " is not a finite number");
    }
}

py::object number_or_none(double value) {
    return std::isfinite(value) ? py::object(py::float_(value)) : py::none();
}

// The option word of the command line, or a ValueError in its words.
Crossover crossover_of(const std::string& word, std::string_view name) {
    if (word == "inductive") {
        return Crossover::Inductive;
    }
    if (word == "capacitive") {
        return Crossover::Capacitive;
    }
    throw py::value_error(std::string{name} + ": " + word + " not in {inductive,capacitive}");
}

Topology topology_of(const std::string& word) {
    if (word == "parallel-series") {
        return Topology::ParallelSeries;
    }
    if (word == "series-parallel") {
        return Topology::SeriesParallel;
    }
    throw py::value_error("topology: " + word + " not in {parallel-series,series-parallel}");
}

// Measured data as the searches take it: reflections at rising frequencies.
rf::PortData port_data(const RealArray& f_ghz, const ComplexArray& s, double reference_ohm) {
    rf::PortData data;
    data.source = "data";
    data.reference_ohm = reference_ohm;
    data.f_ghz = values_of(f_ghz);
    data.s = values_of(s);
    if (data.f_ghz.size() != data.s.size()) {
        throw py::value_error("the frequencies and the values differ in number (" +
                              std::to_string(data.f_ghz.size()) + " and " +
                              std::to_string(data.s.size()) + ")");
    }
    for (std::size_t i = 0; i < data.f_ghz.size(); ++i) {
        if (!std::isfinite(data.s[i].real()) || !std::isfinite(data.s[i].imag())) {
            throw py::value_error("the values must be finite numbers");
        }
        if (!std::isfinite(data.f_ghz[i]) || (i > 0 && !(data.f_ghz[i] > data.f_ghz[i - 1]))) {
            throw py::value_error("the frequencies must be finite and strictly rising");
        }
    }
    if (!(reference_ohm > 0) || !std::isfinite(reference_ohm)) {
        throw py::value_error("z0: a positive reference resistance expected");
    }
    return data;
}

// Progress of a search run without the GIL: the Python callback (if any) is told the share
// done; a false return stops the search, as do an exception it raises and a pending signal
// (Ctrl-C), which are raised again once the search has ended.
class Progress {
  public:
    explicit Progress(py::object callback) : callback_(std::move(callback)) {}

    bool operator()(double done) {
        py::gil_scoped_acquire gil;
        if (error_) {
            return false;
        }
        if (PyErr_CheckSignals() != 0) {
            error_.emplace();
            return false;
        }
        if (callback_.is_none()) {
            return true;
        }
        try {
            const py::object answer = callback_(done);
            return answer.is_none() || PyObject_IsTrue(answer.ptr()) == 1;
        } catch (py::error_already_set& error) {
            error_.emplace(std::move(error));
            return false;
        }
    }

    // With the GIL held: the exception that stopped the search, if one did.
    void raise_if_failed() {
        if (error_) {
            py::error_already_set error = std::move(*error_);
            error_.reset();
            throw error;
        }
    }

  private:
    py::object callback_;
    std::optional<py::error_already_set> error_;
};

// ---------------------------------------------------------------------------------------------
// The calculation.

struct Calculation {
    std::vector<std::string> texts; // the ten result fields, Ls first, as the window shows them
    Result state;                   // at full precision
    Choice choice;
    std::string report; // the text of Model.prt
};

std::vector<double> result_values(const Result& r) {
    return {r.Ls, r.Cs, r.Lp, r.Cp, r.Q1, r.Q2, r.Qbp, r.FL, r.FH, r.F0};
}

Calculation run_calculation(double f1_ghz, Complex z1, double f2_ghz, Complex z2, double rl_ohm,
                            const std::optional<std::string>& f1_crossover,
                            const std::optional<std::string>& f2_crossover,
                            const std::optional<std::string>& topology) {
    const std::tuple<Field, double, std::string_view> inputs[] = {
        {Field::F1, f1_ghz, "f1_ghz"}, {Field::R1, z1.real(), "z1"}, {Field::X1, z1.imag(), "z1"},
        {Field::F2, f2_ghz, "f2_ghz"}, {Field::R2, z2.real(), "z2"}, {Field::X2, z2.imag(), "z2"},
        {Field::RL, rl_ohm, "rl"}};
    MemoryFieldSet fields;
    for (const auto& [field, value, name] : inputs) {
        require_finite(value, name);
        // The shortest text that reads back as the same number: what the window reads is the
        // number given, to the last bit.
        fields.set_text(field, rf::shortest(value));
    }
    if (f1_crossover) {
        fields.select(crossover_of(*f1_crossover, "f1_crossover") == Crossover::Inductive
                          ? Option::F1Ind
                          : Option::F1Cap);
    }
    if (f2_crossover) {
        fields.select(crossover_of(*f2_crossover, "f2_crossover") == Crossover::Inductive
                          ? Option::F2Ind
                          : Option::F2Cap);
    }
    if (topology) {
        fields.select(topology_of(*topology) == Topology::ParallelSeries ? Option::ParSer
                                                                         : Option::SerPar);
    }
    MemoryReport report;
    Calculation calculation;
    if (calculate(fields, report, &calculation.state) == Outcome::Message) {
        throw StopError(fields.text(Field::Message));
    }
    for (const Field field : result_fields) {
        calculation.texts.push_back(fields.text(field));
    }
    calculation.choice = choice_of(fields);
    calculation.report = report.bytes();
    return calculation;
}

// ---------------------------------------------------------------------------------------------
// The Touchstone reader.

py::dict read_touchstone(const std::string& path) {
    auto read = rf::read_touchstone_file(path);
    if (const std::string* message = std::get_if<std::string>(&read)) {
        throw StopError(*message);
    }
    const rf::Network& network = std::get<rf::Network>(read);
    const auto n = static_cast<py::ssize_t>(network.f_ghz.size());
    const auto p = static_cast<py::ssize_t>(network.ports);
    ComplexArray values({n, p, p});
    std::copy(network.values.begin(), network.values.end(), values.mutable_data());
    py::dict out;
    out["f_ghz"] = RealArray(n, network.f_ghz.data());
    out["values"] = std::move(values);
    out["parameter"] = network.parameter == rf::Parameter::S   ? "S"
                       : network.parameter == rf::Parameter::Y ? "Y"
                                                               : "Z";
    out["reference_ohm"] = RealArray(p, network.reference_ohm.data());
    out["comments"] = network.comments;
    out["version"] = network.version;
    // Each port's reflection with the others terminated, as the calculation takes it, or why not.
    py::list ports;
    for (int port = 1; port <= network.ports; ++port) {
        auto reflection = rf::port_data(network, port);
        if (const std::string* message = std::get_if<std::string>(&reflection)) {
            ports.append(*message);
        } else {
            const rf::PortData& data = std::get<rf::PortData>(reflection);
            ports.append(py::make_tuple(data.reference_ohm, ComplexArray(n, data.s.data())));
        }
    }
    out["ports"] = std::move(ports);
    return out;
}

// ---------------------------------------------------------------------------------------------
// The best fit.

// As veltrane-calc's JSON has it, through Python's own reader.
py::dict candidate_dict(const rf::Candidate& c) {
    return py::module_::import("json").attr("loads")(views::candidate_json(c).dump());
}

py::dict best_fit(const RealArray& f_ghz, const ComplexArray& s, double reference_ohm,
                  std::optional<double> z0_ohm, std::optional<double> rl_ohm,
                  std::optional<double> fmin_ghz, std::optional<double> fmax_ghz,
                  bool allow_negative, bool refine, py::object callback) {
    const rf::PortData data = port_data(f_ghz, s, reference_ohm);
    for (const auto& [value, name] : {std::pair{z0_ohm, "z0"}, std::pair{rl_ohm, "rl"},
                                      std::pair{fmin_ghz, "fmin"}, std::pair{fmax_ghz, "fmax"}}) {
        if (value) {
            require_finite(*value, name);
        }
    }
    const double z0 = z0_ohm.value_or(reference_ohm);
    if (!(z0 > 0)) {
        throw py::value_error("z0: a positive reference resistance expected");
    }
    const rf::FrequencyRange range{fmin_ghz, fmax_ghz};
    const rf::BestFitOptions options{z0, fmin_ghz, fmax_ghz, rl_ohm, allow_negative};

    Progress progress{std::move(callback)};
    std::variant<rf::BestFit, std::string> found;
    std::optional<rf::Refined> refined;
    std::vector<std::string> warnings;
    {
        py::gil_scoped_release released;
        found = rf::best_fit(data, options, std::ref(progress));
        if (const rf::BestFit* fit = std::get_if<rf::BestFit>(&found)) {
            // What the calculation from the best pair says of its model, as veltrane-calc
            // calculates it: from the pair, or after refining from the refined model's points.
            const rf::Candidate& best = fit->best.front();
            std::optional<Result> state = best.state;
            Topology topology = best.choice.topology;
            if (refine) {
                std::vector<rf::LumpedModel> starts;
                for (const rf::Candidate& c : fit->best) {
                    starts.push_back(rf::LumpedModel::from(c.state, c.choice.topology));
                }
                refined = rf::refine(starts, data, z0, range);
                if (refined) {
                    const views::RefinedPoints points =
                        views::refined_points(refined->model, best.f1_ghz, best.f2_ghz);
                    const Choice choice = points.choice.value_or(best.choice);
                    auto solved = solve(points.inputs, choice);
                    state = std::holds_alternative<Result>(solved)
                                ? std::optional<Result>(std::get<Result>(solved))
                                : std::nullopt;
                    topology = choice.topology;
                }
            }
            if (state) {
                warnings = views::model_figures(*state, topology, &data, z0, range).warnings;
            }
        }
    }
    progress.raise_if_failed();
    if (const std::string* message = std::get_if<std::string>(&found)) {
        throw StopError(*message);
    }
    const rf::BestFit& fit = std::get<rf::BestFit>(found);
    py::list candidates;
    for (const rf::Candidate& c : fit.best) {
        candidates.append(candidate_dict(c));
    }
    py::dict out;
    out["candidates"] = std::move(candidates);
    out["positive_found"] = fit.positive_found;
    out["samples"] = fit.samples;
    out["thinned"] = fit.thinned;
    out["z0_ohm"] = z0;
    if (refined) {
        const rf::LumpedModel& m = refined->model;
        py::dict r;
        r["topology"] = std::string{rf::topology_word(m.topology)};
        r["ls_nh"] = number_or_none(m.ls_nh);
        r["cs_pf"] = number_or_none(m.cs_pf);
        r["lp_nh"] = number_or_none(m.lp_nh);
        r["cp_pf"] = number_or_none(m.cp_pf);
        r["rl_ohm"] = number_or_none(m.rl_ohm);
        r["max"] = number_or_none(refined->fit.max);
        r["rms"] = number_or_none(refined->fit.rms);
        r["at_ghz"] = number_or_none(refined->fit.at_ghz);
        out["refined"] = std::move(r);
    } else {
        out["refined"] = py::none();
    }
    out["warnings"] = warnings;
    return out;
}

// ---------------------------------------------------------------------------------------------
// Matching networks.

// A lumped model as Python hands it over: topology word, Ls, Cs, Lp, Cp, RL.
using ModelTuple = std::tuple<std::string, double, double, double, double, double>;

rf::LumpedModel lumped(const ModelTuple& t) {
    return {topology_of(std::get<0>(t)),
            std::get<1>(t),
            std::get<2>(t),
            std::get<3>(t),
            std::get<4>(t),
            std::get<5>(t)};
}

// A part's Q as (q, at_ghz), or none.
using QTuple = std::optional<std::pair<double, double>>;

match::Losses losses_of(const QTuple& inductor, const QTuple& capacitor) {
    match::Losses losses;
    for (const auto& [q, part, name] : {std::tuple{&inductor, &losses.inductor, "inductor_q"},
                                        std::tuple{&capacitor, &losses.capacitor, "capacitor_q"}}) {
        if (*q) {
            if (!((*q)->first > 0) || !((*q)->second > 0) || !std::isfinite((*q)->first) ||
                !std::isfinite((*q)->second)) {
                throw py::value_error(std::string{name} + ": Q and the frequency must be positive");
            }
            *part = match::PartQ{(*q)->first, (*q)->second};
        }
    }
    return losses;
}

// An element as Python hands it over: position word, kind word, value.
using ElementTuple = std::tuple<std::string, std::string, double>;

match::Ladder ladder_of(const std::vector<ElementTuple>& elements) {
    match::Ladder ladder;
    for (const auto& [position, kind, value] : elements) {
        if ((position != "series" && position != "shunt") || (kind != "L" && kind != "C") ||
            !(value > 0) || !std::isfinite(value)) {
            throw py::value_error("an element is (\"series\"|\"shunt\", \"L\"|\"C\", value > 0)");
        }
        ladder.push_back({position == "series" ? match::Position::Series : match::Position::Shunt,
                          kind == "L" ? match::Kind::L : match::Kind::C, value});
    }
    return ladder;
}

// The model's band FL..FH in GHz from its edges in MHz, or none.
std::optional<std::pair<double, double>> model_band(double fl_mhz, double fh_mhz) {
    Result state;
    state.FL = fl_mhz;
    state.FH = fh_mhz;
    const auto band = views::model_band(state);
    if (!band) {
        return std::nullopt;
    }
    return std::pair{band->fl_ghz, band->fh_ghz};
}

// The reflections of impedances referred to `reference_ohm`.
ComplexArray reflections(const std::vector<Complex>& z, double reference_ohm) {
    std::vector<Complex> s;
    for (const Complex& v : z) {
        s.push_back(rf::reflection(v, reference_ohm));
    }
    return ComplexArray(static_cast<py::ssize_t>(s.size()), s.data());
}

// --match-s2p, --match-s1p, --match-spice, --match-plot: the files of the chosen network.
using MatchFiles = std::tuple<std::optional<std::string>, std::optional<std::string>,
                              std::optional<std::string>, std::optional<std::string>>;

// --yield TOL:RUNS[:TARGET_DB] with --seed and --yield-dist.
using YieldTuple = std::optional<
    std::tuple<double, long, std::optional<double>, std::uint64_t, std::optional<std::string>>>;

// --dc-path, --dc-block, --lowpass, --highpass, --first, --last, --l-range, --c-range.
using Range = std::optional<std::pair<double, double>>;
using ConstraintTuple = std::tuple<bool, bool, bool, bool, std::optional<std::string>,
                                   std::optional<std::string>, Range, Range>;

match::Constraints constraints_of(const ConstraintTuple& t) {
    match::Constraints c;
    std::tie(c.dc_path, c.dc_block, c.lowpass, c.highpass, std::ignore, std::ignore, std::ignore,
             std::ignore) = t;
    for (const auto& [word, position, name] : {std::tuple{&std::get<4>(t), &c.first, "first"},
                                               std::tuple{&std::get<5>(t), &c.last, "last"}}) {
        if (*word) {
            if (**word != "series" && **word != "shunt") {
                throw py::value_error(std::string{name} + ": " + **word + " not in {series,shunt}");
            }
            *position = **word == "series" ? match::Position::Series : match::Position::Shunt;
        }
    }
    for (const auto& [given, range, name] : {std::tuple{&std::get<6>(t), &c.l_nh, "l_range"},
                                             std::tuple{&std::get<7>(t), &c.c_pf, "c_range"}}) {
        if (*given) {
            const auto [lo, hi] = **given;
            if (!(lo > 0) || !(hi >= lo) || !std::isfinite(hi)) {
                throw py::value_error(std::string{name} + ": (" + rf::readable(lo) + ", " +
                                      rf::readable(hi) + ") is not MIN:MAX with 0 < MIN <= MAX");
            }
            *range = match::Range{lo, hi};
        }
    }
    return c;
}

// Data given as impedances become reflections referred to `reference_ohm`; samples whose
// impedance is not finite are left out.
rf::PortData data_of(const RealArray& f_ghz, const ComplexArray& values, bool impedances,
                     double reference_ohm) {
    if (!impedances) {
        return port_data(f_ghz, values, reference_ohm);
    }
    const std::vector<double> f = values_of(f_ghz);
    const std::vector<Complex> z = values_of(values);
    if (f.size() != z.size()) {
        return port_data(f_ghz, values, reference_ohm); // tells the numbers differ
    }
    std::vector<double> kept_f;
    std::vector<Complex> s;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (std::isfinite(z[i].real()) && std::isfinite(z[i].imag())) {
            kept_f.push_back(f[i]);
            s.push_back(rf::reflection(z[i], reference_ohm));
        }
    }
    return port_data(RealArray(static_cast<py::ssize_t>(kept_f.size()), kept_f.data()),
                     ComplexArray(static_cast<py::ssize_t>(s.size()), s.data()), reference_ohm);
}

// The match as veltrane-calc --match runs it, on the data (when given) or the model's impedance
// over the band: its JSON "match" as text, the frequencies the load was given at, and the files.
py::dict design(const std::optional<RealArray>& f_ghz, const std::optional<ComplexArray>& values,
                bool impedances, double reference_ohm, std::pair<double, double> band_ghz,
                int elements, std::optional<double> source_ohm,
                std::optional<Complex> source_impedance,
                const std::optional<std::tuple<RealArray, ComplexArray, bool, double>>& source_data,
                const std::optional<std::string>& e_series, const QTuple& inductor_q,
                const QTuple& capacitor_q, const std::optional<std::string>& objective,
                const ConstraintTuple& constraints, const YieldTuple& yield,
                const std::optional<ModelTuple>& model, const MatchFiles& files,
                py::object callback) {
    views::MatchSettings settings;
    settings.band = match::Band{band_ghz.first, band_ghz.second};
    const match::Band& band = *settings.band;
    if (!(band.fl_ghz > 0) || !(band.fh_ghz > band.fl_ghz) || !std::isfinite(band.fh_ghz)) {
        throw py::value_error("band: FL must be above 0 and FH above FL");
    }
    if (elements < 1 || elements > match::max_elements) {
        throw py::value_error("n: " + std::to_string(elements) +
                              " is not a number of elements from 1 to 8");
    }
    settings.elements = elements;
    settings.source_ohm = source_ohm.value_or(reference_ohm);
    if (!(settings.source_ohm > 0) || !std::isfinite(settings.source_ohm)) {
        throw py::value_error("source: " + rf::readable(settings.source_ohm) +
                              " is not a positive resistance");
    }
    // A source that is not a resistance: fixed, or measured (its samples, as the data's).
    settings.source.impedance = source_impedance;
    if (source_data) {
        const auto& [f, values, impedances, reference] = *source_data;
        rf::PortData measured = data_of(f, values, impedances, reference);
        measured.source = "source";
        settings.source.data = std::make_shared<const rf::PortData>(std::move(measured));
    }
    if (e_series) {
        settings.e_series = rf::e_series_from_name(*e_series);
        if (!settings.e_series) {
            throw py::value_error("e_series: " + *e_series + " not in {E6,E12,E24,E48,E96,E192}");
        }
    }
    settings.losses = losses_of(inductor_q, capacitor_q);
    if (objective) {
        if (*objective != "gain" && *objective != "gamma") {
            throw py::value_error("objective: " + *objective + " not in {gain,gamma}");
        }
        settings.aim = *objective == "gain" ? match::DesignAim::Gain : match::DesignAim::Gamma;
    }
    settings.constraints = constraints_of(constraints);
    if (yield) {
        const auto& [tolerance, runs, target, seed, distribution] = *yield;
        if (!(tolerance > 0 && tolerance < 100) || runs < 1 || runs > 10'000'000 ||
            (target && !std::isfinite(*target))) {
            throw py::value_error(
                "yield_: TOL must lie between 0 and 100 % and RUNS from 1 to 10000000");
        }
        settings.yield = views::YieldSettings{tolerance, runs, target, seed};
        if (distribution) {
            if (*distribution != "uniform" && *distribution != "normal") {
                throw py::value_error("yield_dist: " + *distribution + " not in {uniform,normal}");
            }
            settings.yield->distribution = *distribution == "normal"
                                               ? match::YieldDistribution::Normal
                                               : match::YieldDistribution::Uniform;
        }
    }
    if (const auto problem = settings.validate()) {
        throw py::value_error(*problem);
    }
    // Values beyond the designer's ranges would give infinite or zero parts: a message, no file.
    if (const auto problem = views::match_range_problem(
            settings.losses, settings.source_ohm, settings.band, "inductor_q", "capacitor_q")) {
        throw StopError(*problem);
    }

    std::optional<rf::PortData> data;
    if (f_ghz && values) {
        data = data_of(*f_ghz, *values, impedances, reference_ohm);
    }
    views::MatchSubject subject;
    subject.data = data ? &*data : nullptr;
    if (model) {
        subject.model = lumped(*model);
    }
    auto prepared = views::match_setup(settings, subject);
    if (const auto* failure = std::get_if<views::MatchFailure>(&prepared)) {
        throw StopError(failure->message);
    }
    const views::MatchSetup& setup = std::get<views::MatchSetup>(prepared);

    Progress progress{std::move(callback)};
    views::MatchReport report;
    {
        py::gil_scoped_release released;
        report = views::run_match(settings, setup, std::ref(progress));
    }
    progress.raise_if_failed();
    if (report.stopped) {
        throw StopError(std::string{rf::best_fit_stopped});
    }
    if (!report.chosen) {
        throw StopError(views::no_network_message(settings));
    }
    py::dict out;
    out["json"] = views::match_json(report).dump();
    out["samples"] = setup.load.f_ghz.size();
    const std::vector<double>& f = data ? data->f_ghz : setup.load.f_ghz;
    out["f_ghz"] = RealArray(static_cast<py::ssize_t>(f.size()), f.data());

    // The files, as veltrane-calc writes them.
    const auto& [s2p, s1p, spice, plot] = files;
    py::list written;
    py::list messages;
    for (const views::MatchFile& file :
         views::match_files({s2p, s1p, spice, plot}, report, subject.data, {})) {
        if (auto failure = write_file_safely(path_from_utf8(file.path), file.bytes)) {
            messages.append(*failure);
        } else {
            written.append(file.path);
        }
    }
    py::dict written_files;
    written_files["written"] = std::move(written);
    written_files["messages"] = std::move(messages);
    out["files"] = std::move(written_files);
    return out;
}

void require_positive_frequencies(const std::vector<double>& f_ghz) {
    for (const double f : f_ghz) {
        if (!(f > 0) || !std::isfinite(f)) {
            throw py::value_error("the frequencies must be finite and above 0");
        }
    }
}

// The ladder's S-parameters (n x 2 x 2, S11 S12 / S21 S22), both ports referred to `z0_ohm`.
ComplexArray network_s(const std::vector<ElementTuple>& elements, const QTuple& inductor_q,
                       const QTuple& capacitor_q, const RealArray& f_ghz, double z0_ohm) {
    const match::Ladder ladder = ladder_of(elements);
    const match::Losses losses = losses_of(inductor_q, capacitor_q);
    const std::vector<double> f = values_of(f_ghz);
    require_positive_frequencies(f);
    require_finite(z0_ohm, "z0");
    const auto n = static_cast<py::ssize_t>(f.size());
    ComplexArray out({n, py::ssize_t{2}, py::ssize_t{2}});
    Complex* s = out.mutable_data();
    for (std::size_t i = 0; i < f.size(); ++i) {
        const match::SParameters p =
            match::s_parameters(match::chain_matrix(ladder, f[i], losses), z0_ohm);
        s[4 * i] = p.s11;
        s[4 * i + 1] = p.s12;
        s[4 * i + 2] = p.s21;
        s[4 * i + 3] = p.s22;
    }
    return out;
}

// The matched input's reflection against `source_ohm` with the ladder in front of the load.
ComplexArray matched(const std::vector<ElementTuple>& elements, const QTuple& inductor_q,
                     const QTuple& capacitor_q, const RealArray& f_ghz, const ComplexArray& z_load,
                     double source_ohm) {
    match::Load load;
    load.f_ghz = values_of(f_ghz);
    load.z_ohm = values_of(z_load);
    if (load.f_ghz.size() != load.z_ohm.size()) {
        throw py::value_error("the frequencies and the impedances differ in number");
    }
    require_positive_frequencies(load.f_ghz);
    require_finite(source_ohm, "source");
    const std::vector<Complex> gamma = views::matched_curve(
        ladder_of(elements), losses_of(inductor_q, capacitor_q), load, source_ohm);
    return ComplexArray(static_cast<py::ssize_t>(gamma.size()), gamma.data());
}

// The model's impedance at each frequency (GHz, above 0).
ComplexArray model_impedance(const ModelTuple& model, const RealArray& f_ghz) {
    const rf::LumpedModel m = lumped(model);
    const std::vector<double> f = values_of(f_ghz);
    require_positive_frequencies(f);
    std::vector<Complex> z;
    for (const double x : f) {
        z.push_back(rf::impedance(m, x));
    }
    return ComplexArray(static_cast<py::ssize_t>(z.size()), z.data());
}

} // namespace

} // namespace veltrane::python

PYBIND11_MODULE(_veltrane, m) {
    using namespace veltrane;
    using namespace veltrane::python;
    m.doc() = "The compiled half of veltrane; use the package veltrane.";
    py::register_exception<StopError>(m, "Stop");

    py::class_<Calculation>(m, "Calculation")
        .def_readonly("texts", &Calculation::texts)
        .def_property_readonly("values",
                               [](const Calculation& c) { return result_values(c.state); })
        .def_property_readonly("inputs",
                               [](const Calculation& c) {
                                   // As the calculation used them (RL moved off a limit it
                                   // equalled, say).
                                   const Result& r = c.state;
                                   return std::vector<double>{r.F1, r.R1, r.X1, r.F2,
                                                              r.R2, r.X2, r.RL};
                               })
        .def_property_readonly(
            "topology",
            [](const Calculation& c) { return std::string{rf::topology_word(c.choice.topology)}; })
        .def_property_readonly(
            "f1_crossover",
            [](const Calculation& c) { return std::string{rf::crossover_word(c.choice.f1)}; })
        .def_property_readonly(
            "f2_crossover",
            [](const Calculation& c) { return std::string{rf::crossover_word(c.choice.f2)}; })
        .def_readonly("report", &Calculation::report);

    m.def("calculate", &run_calculation, py::arg("f1_ghz"), py::arg("z1"), py::arg("f2_ghz"),
          py::arg("z2"), py::arg("rl"), py::arg("f1_crossover"), py::arg("f2_crossover"),
          py::arg("topology"));
    m.def("result_quantities", [] {
        std::vector<std::tuple<std::string, std::string, std::string>> out;
        for (const Field field : result_fields) {
            const Quantity& q = quantity(field);
            out.emplace_back(q.symbol, unit_symbol(q.unit), q.meaning);
        }
        return out;
    });
    m.def("read_touchstone", &read_touchstone, py::arg("path"));
    m.def("best_fit", &best_fit, py::arg("f_ghz"), py::arg("s"), py::arg("reference_ohm"),
          py::arg("z0"), py::arg("rl"), py::arg("fmin"), py::arg("fmax"), py::arg("allow_negative"),
          py::arg("refine"), py::arg("progress"));
    m.def("design", &design, py::arg("f_ghz"), py::arg("values"), py::arg("impedances"),
          py::arg("reference_ohm"), py::arg("band"), py::arg("n"), py::arg("source"),
          py::arg("source_impedance"), py::arg("source_data"),
          py::arg("e_series"), py::arg("inductor_q"), py::arg("capacitor_q"), py::arg("objective"),
          py::arg("constraints"), py::arg("yield_"), py::arg("model"), py::arg("files"),
          py::arg("progress"));
    m.def("model_band", &model_band, py::arg("fl_mhz"), py::arg("fh_mhz"));
    m.def("network_s", &network_s, py::arg("elements"), py::arg("inductor_q"),
          py::arg("capacitor_q"), py::arg("f_ghz"), py::arg("z0"));
    m.def("matched", &matched, py::arg("elements"), py::arg("inductor_q"), py::arg("capacitor_q"),
          py::arg("f_ghz"), py::arg("z_load"), py::arg("source"));
    m.def("model_impedance", &model_impedance, py::arg("model"), py::arg("f_ghz"));
    m.def(
        "reflection",
        [](const ComplexArray& z, double z0_ohm) { return reflections(values_of(z), z0_ohm); },
        py::arg("z"), py::arg("z0"));
}
