#include "rf/model_check.h"
#include "model/units.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

namespace veltrane::rf {

namespace {

bool finite(Complex z) {
    return std::isfinite(z.real()) && std::isfinite(z.imag());
}

} // namespace

ModelCheck check_model(const Result& state, Topology topology) {
    const LumpedModel model = LumpedModel::from(state, topology);
    ModelCheck check;
    check.z1 = impedance(model, mhz_to_ghz(state.F1));
    check.z2 = impedance(model, mhz_to_ghz(state.F2));
    const Complex point1(state.R1, state.X1);
    const Complex point2(state.R2, state.X2);
    const double error1 = std::abs(check.z1 - point1);
    const double error2 = std::abs(check.z2 - point2);
    if (!finite(check.z1) || !finite(check.z2) || !std::isfinite(error1) ||
        !std::isfinite(error2)) {
        check.z1 = finite(check.z1) ? check.z1 : Complex{};
        check.z2 = finite(check.z2) ? check.z2 : Complex{};
        check.max_error_ohm = 0.0;
        check.unreliable = true;
        return check;
    }
    check.max_error_ohm = std::max(error1, error2);
    check.unreliable = error1 > unreliable_relative * std::abs(point1) ||
                       error2 > unreliable_relative * std::abs(point2);
    return check;
}

std::optional<std::string> negative_note(const Result& state) {
    const std::array<std::pair<std::string_view, double>, 4> elements = {
        {{"Ls", state.Ls}, {"Cs", state.Cs}, {"Lp", state.Lp}, {"Cp", state.Cp}}};
    std::array<std::string_view, 4> negative{};
    std::size_t count = 0;
    for (const auto& [name, value] : elements) {
        if (value < 0.0) {
            negative[count++] = name;
        }
    }
    if (count == 0) {
        return std::nullopt;
    }
    std::string note{negative[0]};
    for (std::size_t i = 1; i < count; ++i) {
        note += i + 1 == count ? " and " : ", ";
        note += negative[i];
    }
    note += count == 1 ? " is negative: no passive part has this value"
                       : " are negative: no passive part has these values";
    return note;
}

} // namespace veltrane::rf
