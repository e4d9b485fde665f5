#include "cli/exports.h"

#include "model/units.h"
#include "views/model_exports.h"

#include "cli/exports_json.h"
#include "io/path_text.h"
#include "io/safe_file.h"
#include "io/same_file.h"
#include "model/solve.h"
#include "rf/model_files.h"
#include "rf/numbers.h"
#include "rf/picture.h"
#include "rf/svg.h"
#include "views/people_text.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <ostream>
#include <system_error>

namespace veltrane::cli {

namespace {

struct PathOption {
    std::string_view name;
    std::string ExportOptions::*word;
    std::string_view placeholder;
    std::string_view help;
};

constexpr std::array<PathOption, 3> path_options = {{
    {"--s1p", &ExportOptions::s1p, "FILE", "write the model as a Touchstone file"},
    {"--spice", &ExportOptions::spice, "FILE", "write the model as a SPICE subcircuit"},
    {"--plot", &ExportOptions::plot, "FILE.svg", "draw Smith chart and return loss (SVG)"},
}};

constexpr std::string_view sweep_option = "--sweep";
constexpr std::string_view e_series_option = "--e-series";
constexpr std::string_view sweep_data_word = "data";

// |Gamma| of the model's impedance z against the measured point zp: the power-wave reflection
// (z - zp) / (z + conj(zp)), 0 where the model meets the point.
double mismatch(rf::Complex z, rf::Complex zp) {
    const double g = std::abs((z - zp) / (z + std::conj(zp)));
    return std::isfinite(g) ? g : 1.0;
}

// The figures of `model`; its band is the calculation's own unless `recompute_band`.
ModelFigures figures(const rf::LumpedModel& model, const Result& state, bool recompute_band) {
    ModelFigures f;
    f.model = model;
    f.z1 = rf::impedance(model, mhz_to_ghz(state.F1));
    f.z2 = rf::impedance(model, mhz_to_ghz(state.F2));
    f.gamma1 = mismatch(f.z1, {state.R1, state.X1});
    f.gamma2 = mismatch(f.z2, {state.R2, state.X2});
    if (!recompute_band) {
        f.band = state;
        return f;
    }
    // The band rule of the calculation, applied to the standard values of the resonating pair.
    Result rounded = state;
    rounded.Ls = model.ls_nh;
    rounded.Cs = model.cs_pf;
    rounded.Lp = model.lp_nh;
    rounded.Cp = model.cp_pf;
    auto banded = with_band(rounded, model.topology);
    if (auto* band = std::get_if<Result>(&banded)) {
        f.band = *band;
    } else {
        f.band_message = std::get<std::string>(banded);
    }
    return f;
}

std::string complex_text(rf::Complex z) {
    const bool finite = std::isfinite(z.real()) && std::isfinite(z.imag());
    if (!finite) {
        return "-";
    }
    return views::complex_text(z, views::Typography::Ascii);
}

// A figure of a finite number, or null (the impedance of a model with an element 0 at F1 may
// not exist).
nlohmann::ordered_json number_json(double value) {
    return std::isfinite(value) ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json figures_json(const ModelFigures& f) {
    nlohmann::ordered_json o;
    o["Ls_nH"] = number_json(f.model.ls_nh);
    o["Cs_pF"] = number_json(f.model.cs_pf);
    o["Lp_nH"] = number_json(f.model.lp_nh);
    o["Cp_pF"] = number_json(f.model.cp_pf);
    o["Z1_ohm"] = {number_json(f.z1.real()), number_json(f.z1.imag())};
    o["gamma1"] = number_json(f.gamma1);
    o["Z2_ohm"] = {number_json(f.z2.real()), number_json(f.z2.imag())};
    o["gamma2"] = number_json(f.gamma2);
    if (f.band) {
        o["FL_MHz"] = number_json(f.band->FL);
        o["FH_MHz"] = number_json(f.band->FH);
        o["F0_MHz"] = number_json(f.band->F0);
        o["Q0"] = number_json(f.band->Qbp);
        o["band_message"] = nullptr;
    } else {
        o["FL_MHz"] = nullptr;
        o["FH_MHz"] = nullptr;
        o["F0_MHz"] = nullptr;
        o["Q0"] = nullptr;
        o["band_message"] = f.band_message;
    }
    const auto fit_json = [](const std::optional<rf::FitStats>& fit) {
        nlohmann::ordered_json j;
        j["max"] = fit ? number_json(fit->max) : nlohmann::ordered_json(nullptr);
        j["rms"] = fit ? number_json(fit->rms) : nlohmann::ordered_json(nullptr);
        j["at_ghz"] = fit ? number_json(fit->at_ghz) : nlohmann::ordered_json(nullptr);
        j["points"] = fit ? fit->points : 0;
        return j;
    };
    if (f.band_fit || f.range_fit) {
        o["fit_band"] = fit_json(f.band_fit);
        o["fit_range"] = fit_json(f.range_fit);
    }
    return o;
}

} // namespace

void add_export_options(CLI::App& app, ExportOptions& words) {
    app.add_option(std::string(sweep_option), words.sweep,
                   "frequencies of the files in GHz (default: 401 points, F/2 to 2F; data: the "
                   "measured file's own)")
        ->type_name("START:STOP:POINTS[:log]|data");
    for (const PathOption& option : path_options) {
        app.add_option(std::string(option.name), words.*option.word, std::string(option.help))
            ->type_name(std::string(option.placeholder));
    }
    app.add_option(std::string(e_series_option), words.e_series,
                   "use the nearest standard values for Ls, Cs, Lp, Cp")
        ->type_name("E6|E12|E24|E48|E96|E192")
        ->check(CLI::IsMember({"E6", "E12", "E24", "E48", "E96", "E192"}).description(""));
}

std::variant<ExportRequest, std::string> export_request(const CLI::App& app,
                                                        const ExportOptions& words,
                                                        const std::optional<std::string>& report) {
    ExportRequest request;
    if (app.count(std::string(sweep_option)) > 0 && words.sweep == sweep_data_word) {
        if (app.count("--touchstone") == 0) {
            return std::string(sweep_option) + ": data needs --touchstone";
        }
        request.sweep_data = true;
    } else if (app.count(std::string(sweep_option)) > 0) {
        auto sweep = rf::parse_sweep(words.sweep);
        if (const std::string* error = std::get_if<std::string>(&sweep)) {
            return std::string(sweep_option) + ": " + *error;
        }
        request.sweep = std::get<rf::Sweep>(sweep);
    }
    if (app.count(std::string(e_series_option)) > 0) {
        request.e_series = rf::e_series_from_name(words.e_series);
    }
    // Each output file once: two outputs on one path would leave only the last.
    std::vector<std::pair<std::string_view, std::string>> outputs;
    if (report) {
        outputs.emplace_back("the report", *report);
    }
    for (const PathOption& option : path_options) {
        if (app.count(std::string(option.name)) == 0) {
            continue;
        }
        const std::string& path = words.*option.word;
        if (path.empty()) {
            return std::string(option.name) + ": the file name is empty";
        }
        for (const auto& [other_name, other_path] : outputs) {
            if (same_file(path_from_utf8(path), path_from_utf8(other_path))) {
                return std::string(option.name) + ": " + path + " is also " +
                       std::string(other_name) + "'s file";
            }
        }
        outputs.emplace_back(option.name, path);
        (option.name == "--s1p"     ? request.s1p
         : option.name == "--spice" ? request.spice
                                    : request.plot) = path;
    }
    return request;
}

ExportOutcome run_exports(const ExportRequest& request, const ExportContext& context) {
    ExportOutcome outcome;
    const Choice choice = choice_of(context.fields);
    const rf::LumpedModel exact = rf::LumpedModel::from(context.state, choice.topology);
    const rf::DescribedModel described = views::described_model(exact, request.e_series);
    if (request.e_series) {
        outcome.comparison =
            StandardComparison{*request.e_series, figures(exact, context.state, false),
                               figures(described.model, context.state, true)};
        if (context.data != nullptr) {
            for (ModelFigures* f :
                 {&outcome.comparison->calculated, &outcome.comparison->standard}) {
                f->band_fit = rf::fit(f->model, *context.data, context.z0_ohm, context.state.FL,
                                      context.state.FH, context.range);
                f->range_fit =
                    rf::fit_range(f->model, *context.data, context.z0_ohm, context.range);
            }
        }
    }
    rf::Sweep sweep = request.sweep ? *request.sweep : rf::default_sweep(context.state);
    std::vector<double> f_ghz;
    if (request.sweep_data && context.data != nullptr && context.data->f_ghz.size() >= 2) {
        f_ghz = context.data->f_ghz;
        sweep = {f_ghz.front(), f_ghz.back(), static_cast<long>(f_ghz.size()), false};
    } else if (request.s1p || request.plot) {
        f_ghz = rf::sweep_frequencies(sweep);
    }

    const auto write = [&outcome](const std::string& path, const std::string& bytes) {
        if (auto failure = write_file_safely(std::filesystem::path(path), bytes)) {
            outcome.failures.push_back(*failure);
        } else {
            outcome.written.push_back(path);
        }
    };
    views::ModelExportInput input{described, &context.state, choice, {},
                                  sweep,     context.z0_ohm, nullptr};
    if (request.s1p) {
        input.f_ghz = f_ghz;
        write(*request.s1p, views::model_export_bytes(views::ModelExport::Touchstone, input));
    }
    if (request.spice) {
        write(*request.spice, views::model_export_bytes(views::ModelExport::Spice, input));
    }
    if (request.plot) {
        rf::PlotInput plot;
        plot.model = exact;
        if (request.e_series) {
            plot.standard = described.model;
            plot.standard_name = std::string(rf::e_series_name(*request.e_series));
        }
        plot.calculation = &context.state;
        plot.f_ghz = std::move(f_ghz);
        plot.log_frequency = sweep.log;
        plot.z0_ohm = context.z0_ohm;
        plot.data = context.data;
        plot.search_range = context.range;
        const rf::Picture picture = rf::model_picture(plot);
        input.picture = &picture;
        write(*request.plot, views::model_export_bytes(views::ModelExport::Picture, input));
    }
    return outcome;
}

void print_comparison(const StandardComparison& comparison, std::ostream& out) {
    const ModelFigures& a = comparison.calculated;
    const ModelFigures& b = comparison.standard;
    const auto band_value = [](const ModelFigures& f, double Result::*member) {
        return f.band ? rf::readable((*f.band).*member) : std::string("-");
    };
    std::vector<std::array<std::string, 3>> rows = {
        {std::string(rf::e_series_name(comparison.series)) + " values", "calculated", "standard"},
        {"Ls nH", rf::readable(a.model.ls_nh), rf::readable(b.model.ls_nh)},
        {"Cs pF", rf::readable(a.model.cs_pf), rf::readable(b.model.cs_pf)},
        {"Lp nH", rf::readable(a.model.lp_nh), rf::readable(b.model.lp_nh)},
        {"Cp pF", rf::readable(a.model.cp_pf), rf::readable(b.model.cp_pf)},
        {"Z at F1 ohm", complex_text(a.z1), complex_text(b.z1)},
        {"|Gamma| at F1", rf::readable(a.gamma1, 3), rf::readable(b.gamma1, 3)},
        {"Z at F2 ohm", complex_text(a.z2), complex_text(b.z2)},
        {"|Gamma| at F2", rf::readable(a.gamma2, 3), rf::readable(b.gamma2, 3)},
        {"FL MHz", band_value(a, &Result::FL), band_value(b, &Result::FL)},
        {"FH MHz", band_value(a, &Result::FH), band_value(b, &Result::FH)},
        {"F0 MHz", band_value(a, &Result::F0), band_value(b, &Result::F0)},
        {"Q0", band_value(a, &Result::Qbp), band_value(b, &Result::Qbp)},
    };
    if (a.band_fit || a.range_fit) {
        const auto stat = [](const std::optional<rf::FitStats>& fit, double rf::FitStats::*member) {
            return fit ? rf::readable((*fit).*member) : std::string("-");
        };
        rows.push_back({"FL..FH largest", stat(a.band_fit, &rf::FitStats::max),
                        stat(b.band_fit, &rf::FitStats::max)});
        rows.push_back({"FL..FH RMS", stat(a.band_fit, &rf::FitStats::rms),
                        stat(b.band_fit, &rf::FitStats::rms)});
        rows.push_back({"range largest", stat(a.range_fit, &rf::FitStats::max),
                        stat(b.range_fit, &rf::FitStats::max)});
        rows.push_back({"range RMS", stat(a.range_fit, &rf::FitStats::rms),
                        stat(b.range_fit, &rf::FitStats::rms)});
    }
    std::array<std::size_t, 3> width{};
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            width[i] = std::max(width[i], row[i].size());
        }
    }
    out << '\n';
    for (const auto& row : rows) {
        std::string line = row[0];
        line.append(width[0] - row[0].size(), ' ');
        for (std::size_t i = 1; i < row.size(); ++i) {
            line.append(2 + width[i] - row[i].size(), ' ');
            line += row[i];
        }
        out << line << '\n';
    }
    if (!b.band) {
        out << "Standard values give no band: " << b.band_message << '\n';
    }
}

void add_export_json(nlohmann::ordered_json& object, const ExportRequest& request,
                     const ExportOutcome* outcome) {
    if (request.e_series) {
        if (outcome != nullptr && outcome->comparison) {
            nlohmann::ordered_json e;
            e["series"] = std::string(rf::e_series_name(outcome->comparison->series));
            e["calculated"] = figures_json(outcome->comparison->calculated);
            e["standard"] = figures_json(outcome->comparison->standard);
            object["e_series"] = std::move(e);
        } else {
            object["e_series"] = nullptr;
        }
    }
    if (request.s1p || request.spice || request.plot) {
        nlohmann::ordered_json files;
        files["written"] = outcome != nullptr ? outcome->written : std::vector<std::string>{};
        files["messages"] = outcome != nullptr ? outcome->failures : std::vector<std::string>{};
        object["exports"] = std::move(files);
    }
}

} // namespace veltrane::cli
