#include "views/rl_scale.h"

#include "rf/best_fit.h"
#include "rf/choices.h"
#include "rf/numbers.h"

#include <algorithm>
#include <cmath>

namespace veltrane::views {

std::optional<RlScale> rl_scale(Topology topology, const DataPoint& p1, const DataPoint& p2) {
    const auto range =
        rf::rl_range(topology, p1.z_ohm.real(), p1.z_ohm.imag(), p2.z_ohm.real(), p2.z_ohm.imag());
    const double widen = 1 + rf::rl_search_max_q * rf::rl_search_max_q;
    RlScale scale;
    if (range && range->min_ohm && *range->min_ohm > 0 && !range->max_ohm) {
        scale.lo_ohm = *range->min_ohm;
        scale.hi_ohm = scale.lo_ohm * widen;
        scale.text = "RL \u2265 " + rf::readable(scale.lo_ohm) + " \u03a9";
    } else if (range && range->max_ohm && *range->max_ohm > 0) {
        scale.hi_ohm = *range->max_ohm;
        scale.lo_ohm =
            range->min_ohm && *range->min_ohm > 0 ? *range->min_ohm : scale.hi_ohm / widen;
        scale.text = "0 < RL \u2264 " + rf::readable(scale.hi_ohm) + " \u03a9";
    }
    if (!(scale.lo_ohm > 0) || !(scale.hi_ohm > scale.lo_ohm) || !std::isfinite(scale.hi_ohm)) {
        return std::nullopt;
    }
    scale.text += " for " + std::string(rf::topology_name(topology));
    return scale;
}

double rl_position(const RlScale& scale, double rl_ohm) {
    const double t = std::log(rl_ohm / scale.lo_ohm) / std::log(scale.hi_ohm / scale.lo_ohm);
    return std::clamp(std::isfinite(t) ? t : 0.0, 0.0, 1.0);
}

double rl_at(const RlScale& scale, double position) {
    return scale.lo_ohm * std::pow(scale.hi_ohm / scale.lo_ohm, position);
}

} // namespace veltrane::views
