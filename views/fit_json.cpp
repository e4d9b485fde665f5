#include "views/fit_json.h"

#include "rf/choices.h"

#include <cmath>

namespace veltrane::views {

namespace {

using Json = nlohmann::ordered_json;

Json number_or_null(double value) {
    return std::isfinite(value) ? Json(value) : Json(nullptr);
}

} // namespace

Json candidate_json(const rf::Candidate& c) {
    Json object = Json::object();
    object["f1_ghz"] = c.f1_ghz;
    object["f2_ghz"] = c.f2_ghz;
    object["f1_crossover"] = rf::crossover_word(c.choice.f1);
    object["f2_crossover"] = rf::crossover_word(c.choice.f2);
    object["topology"] = rf::topology_word(c.choice.topology);
    object["rl_ohm"] = number_or_null(c.rl_ohm);
    object["ls_nh"] = number_or_null(c.state.Ls);
    object["cs_pf"] = number_or_null(c.state.Cs);
    object["lp_nh"] = number_or_null(c.state.Lp);
    object["cp_pf"] = number_or_null(c.state.Cp);
    object["f0_mhz"] = number_or_null(c.state.F0);
    object["fl_mhz"] = number_or_null(c.state.FL);
    object["fh_mhz"] = number_or_null(c.state.FH);
    object["max"] = number_or_null(c.max_error);
    object["rms"] = number_or_null(c.rms_error);
    object["at_ghz"] = number_or_null(c.at_ghz);
    object["positive"] = c.positive;
    return object;
}

} // namespace veltrane::views
