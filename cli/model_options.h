#pragma once

#include <optional>
#include <string>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace veltrane::cli {

// What the command line asks beyond the calculation itself: the model checked against its points
// and the data, all eight choices at once, or the best-fitting model searched in the data.
struct ModelOptions {
    bool check = false;       // --check: the check lines even without data or --z0
    bool all_choices = false; // --all-choices
    bool best_fit = false;    // --best-fit
    std::optional<double> fmin_ghz;
    std::optional<double> fmax_ghz;
    bool rl_auto = false; // --rl auto (with --best-fit): RL searched
    bool allow_negative = false;
    bool refine = false; // --refine (with --best-fit, or a calculation from data)
};

struct CalcRequest;

// The texts of the model options as the parser leaves them.
struct ModelArgs {
    std::string z0, fmin, fmax;
    bool check = false, all_choices = false, best_fit = false, allow_negative = false;
    bool refine = false;
    CLI::Option* z0_given = nullptr;
    CLI::Option* fmin_given = nullptr;
    CLI::Option* fmax_given = nullptr;
};

// Adds --z0, --check, --all-choices, --best-fit, --fmin, --fmax, --allow-negative and --refine
// to `app`, with their exclusions against the options already there (the field and choice
// options), and a check after parsing that throws CLI::ValidationError for a combination that
// cannot be used.
void add_model_options(CLI::App& app, ModelArgs& args);

// Moves the parsed values into the request.
void finish_model_options(const ModelArgs& args, CalcRequest& request);

} // namespace veltrane::cli
