#include "cli/measured_input.h"

#include "format/text_number.h"
#include "rf/interpolate.h"
#include "rf/model_impedance.h"
#include "rf/numbers.h"
#include "rf/touchstone.h"
#include "views/people_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <new>
#include <utility>
#include <variant>

namespace veltrane::cli {

namespace {

struct PointFields {
    std::string_view label;
    Field f;
    Field r;
    Field x;
};
constexpr std::array<PointFields, 2> point_fields = {{
    {"F1", Field::F1, Field::R1, Field::X1},
    {"F2", Field::F2, Field::R2, Field::X2},
}};

} // namespace

MeasuredInput read_measured_data(const std::string& path, int port) {
    MeasuredInput input;
    auto network = rf::read_touchstone_file(path);
    if (auto* message = std::get_if<std::string>(&network)) {
        input.message = std::move(*message);
        return input;
    }
    try {
        auto data = rf::port_data(std::get<rf::Network>(network), port);
        if (auto* message = std::get_if<std::string>(&data)) {
            input.message = std::move(*message);
            return input;
        }
        input.data = std::move(std::get<rf::PortData>(data));
    } catch (const std::bad_alloc&) {
        input.message = "Not enough memory for the data of " + path;
    }
    return input;
}

MeasuredInput take_measured_points(const std::string& path, int port, FieldSet& fields) {
    MeasuredInput input = read_measured_data(path, port);
    if (input.data) {
        take_points(input, fields);
    }
    return input;
}

void take_points(MeasuredInput& input, FieldSet& fields) {
    input.points.clear();
    for (const PointFields& point : point_fields) {
        const std::optional<double> f_ghz = text_to_number(fields.text(point.f));
        if (!f_ghz) {
            input.message = std::string{point.label} + " is too large";
            return;
        }
        auto found = rf::impedance_at(*input.data, *f_ghz, point.label);
        if (auto* message = std::get_if<std::string>(&found)) {
            input.message = std::move(*message);
            return;
        }
        const rf::ImpedancePoint& at = std::get<rf::ImpedancePoint>(found);
        const rf::Complex z = at.z_ohm;
        input.points.push_back({point.label, *f_ghz, z.real(), z.imag(), at.interpolated});
        fields.set_text(point.r, rf::shortest(z.real()));
        fields.set_text(point.x, rf::shortest(z.imag()));
    }
}

std::string point_line(const MeasuredPoint& point) {
    std::string line = std::string{point.label} + " = " + rf::shortest(point.f_ghz) + " GHz: ";
    // A reactance of -0 reads "+ j0" here, as it always has.
    line += views::impedance_text({point.r_ohm, point.x_ohm + 0.0}, views::Typography::Ascii);
    line += point.interpolated ? ", interpolated" : ", measured";
    return line;
}

nlohmann::ordered_json points_json(const std::vector<MeasuredPoint>& points) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const MeasuredPoint& point : points) {
        list.push_back({{"f_ghz", point.f_ghz},
                        {"r", point.r_ohm},
                        {"x", point.x_ohm},
                        {"interpolated", point.interpolated}});
    }
    return list;
}

} // namespace veltrane::cli
