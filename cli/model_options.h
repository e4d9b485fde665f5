#pragma once

#include <optional>

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
    bool refine = false; // --refine (with --best-fit)
};

} // namespace veltrane::cli
