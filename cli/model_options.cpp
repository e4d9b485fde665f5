#include "cli/model_options.h"
#include "cli/calc_request.h"

#include "model/field_set.h"
#include "rf/numbers.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace veltrane::cli {

namespace {

using rf::read_number;

constexpr std::string_view rl_auto_text = "auto";

} // namespace

void add_model_options(CLI::App& app, ModelArgs& args) {
    const auto number = [](bool positive) {
        return CLI::Validator(
            [positive](std::string& text) -> std::string {
                const std::optional<double> value = read_number(text);
                if (!value || (positive ? !(*value > 0.0) : *value < 0.0)) {
                    return "\"" + text + "\" is not a " +
                           (positive ? "positive number" : "number of at least 0");
                }
                return {};
            },
            "");
    };
    args.z0_given = app.add_option("--z0", args.z0,
                                   "reference for reflections [ohm] (default: the data's, else 50)")
                        ->type_name("OHMS")
                        ->check(number(true));
    app.add_flag("--check", args.check, "print the model's impedance at F1 and F2")
        ->disable_flag_override();
    CLI::Option* all = app.add_flag("--all-choices", args.all_choices,
                                    "all eight choices and the RL ranges; no report")
                           ->disable_flag_override();
    CLI::Option* best = app.add_flag("--best-fit", args.best_fit,
                                     "calculate the model that fits the data best "
                                     "(--rl auto: search RL too)")
                            ->disable_flag_override();
    args.fmin_given =
        app.add_option("--fmin", args.fmin, "lowest frequency for --best-fit or --refine [GHz]")
            ->type_name("GHZ")
            ->check(number(false));
    args.fmax_given =
        app.add_option("--fmax", args.fmax, "highest frequency for --best-fit or --refine [GHz]")
            ->type_name("GHZ")
            ->check(number(false));
    app.add_flag("--allow-negative", args.allow_negative,
                 "let models with negative elements compete")
        ->disable_flag_override()
        ->needs(best);
    app.add_flag("--refine", args.refine,
                 "move Ls, Cs, Lp, Cp and RL of the best fit (or of the model calculated from "
                 "--touchstone) together to the smallest largest error")
        ->disable_flag_override();
    for (const char* choice : {"--f1-crossover", "--f2-crossover", "--topology"}) {
        all->excludes(app.get_option(choice));
        best->excludes(app.get_option(choice));
    }
    best->excludes(app.get_option("--f1"));
    best->excludes(app.get_option("--f2"));
    best->excludes(all);
    app.callback([&app, &args] {
        if (args.refine && args.all_choices) {
            throw CLI::ValidationError("--refine excludes --all-choices");
        }
        // The range is what the search or the refinement judges: it needs one of them.
        for (const CLI::Option* bound : {args.fmin_given, args.fmax_given}) {
            if (bound->count() > 0 && !args.best_fit && !args.refine) {
                throw CLI::ValidationError(bound->get_name() + " requires --best-fit or --refine");
            }
        }
        const CLI::Option* rl = app.get_option("--rl");
        if (rl->count() > 0 && rl->as<std::string>() == rl_auto_text && !args.best_fit) {
            throw CLI::ValidationError("--rl auto needs --best-fit");
        }
        if (args.fmin_given->count() > 0 && args.fmax_given->count() > 0 &&
            *read_number(args.fmin) > *read_number(args.fmax)) {
            throw CLI::ValidationError("--fmin is above --fmax");
        }
    });
}

void finish_model_options(const ModelArgs& args, CalcRequest& request) {
    ModelOptions& model = request.model;
    model.check = args.check;
    model.all_choices = args.all_choices;
    model.best_fit = args.best_fit;
    model.allow_negative = args.allow_negative;
    model.refine = args.refine;
    model.rl_auto = args.best_fit && request.fields.text(Field::RL) == rl_auto_text;
    if (args.z0_given->count() > 0) {
        request.z0_ohm = read_number(args.z0);
    }
    if (args.fmin_given->count() > 0) {
        model.fmin_ghz = read_number(args.fmin);
    }
    if (args.fmax_given->count() > 0) {
        model.fmax_ghz = read_number(args.fmax);
    }
}

} // namespace veltrane::cli
