#pragma once

#include "cli/calc_request.h"
#include "model/result.h"
#include "rf/best_fit.h"
#include "rf/fit.h"
#include "rf/model_check.h"
#include "rf/refine.h"
#include "views/model_summary.h"

#include <nlohmann/json.hpp>

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::cli {

// What the model adds to one calculation's output.
class ModelReport {
  public:
    explicit ModelReport(const CalcRequest& request);

    // --best-fit on the request's data: searches it, prints the best candidates (text) or keeps
    // them for the JSON object, and sets F1, F2, the choices and (searched) RL of the best one.
    // Returns the message when there is nothing to calculate. A text-mode search that runs
    // longer than a second shows its progress on `err`, on one line it clears at the end.
    [[nodiscard]] std::optional<std::string> prepare_best_fit(CalcRequest& request,
                                                              std::ostream& out, std::ostream& err);

    // --refine, after prepare_best_fit (if asked) and the points: moves Ls, Cs, Lp, Cp and RL of
    // the best candidates, or of the model calculated from the points, together to the smallest
    // largest error over the range, prints the refined model (text) or keeps it for the JSON
    // object, and gives the calculation F1 and F2 (the best pair's, or the request's) with the
    // refined model's own impedances there, its RL and its choices. A calculation that ends in
    // a message is left to give it.
    void refine(CalcRequest& request, std::ostream& out);

    // After a successful calculation: the check and, with data, the fit.
    void calculated(const Result& state, const FieldSet& fields);

    // The text lines that follow the result lines.
    void print_lines(std::ostream& out) const;

    // JSON members before the calculation's own ("best_fit") and after them ("check", "fit").
    void add_json_before(nlohmann::ordered_json& object) const;
    void add_json_after(nlohmann::ordered_json& object) const;

  private:
    const CalcRequest& request_;
    double z0_ohm_;
    bool shown_; // the check lines belong in the output
    std::optional<rf::BestFit> best_fit_;
    // The check, and with data the fits (the range's, with --fmin or --fmax, is what the
    // search judged) and the warnings.
    std::optional<views::ModelFigures> figures_;
    std::optional<rf::Refined> refined_;
};

} // namespace veltrane::cli
