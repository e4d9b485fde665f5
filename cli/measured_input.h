#pragma once

#include "model/field_set.h"
#include "rf/port_data.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::cli {

// One impedance point taken from measured data in place of typed R and X.
struct MeasuredPoint {
    std::string_view label; // "F1" or "F2"
    double f_ghz = 0.0;
    double r_ohm = 0.0;
    double x_ohm = 0.0;
    bool interpolated = false;
};

struct MeasuredInput {
    std::optional<rf::PortData> data;   // present once the file was read
    std::vector<MeasuredPoint> points;  // the points found, F1 first
    std::optional<std::string> message; // why the calculation cannot run
};

// Reads the Touchstone file `path` and takes `port`: the data, or the message why not.
[[nodiscard]] MeasuredInput read_measured_data(const std::string& path, int port);

// Finds the impedance at F1 and F2 of `input.data` (the texts of the fields, in GHz, read as the
// window reads them) and types each point found into R1, X1 or R2, X2 as the shortest text that
// reads back to the same double. Sets `input.message` when a point cannot be found.
void take_points(MeasuredInput& input, FieldSet& fields);

// Both: reads the Touchstone file `path`, takes `port`, and finds the impedance at F1 and F2 (the
// texts of the fields, in GHz, read as the window reads them). Each point found is typed into
// R1, X1 or R2, X2 as the shortest text that reads back to the same double.
[[nodiscard]] MeasuredInput take_measured_points(const std::string& path, int port,
                                                 FieldSet& fields);

// "F1 = 2.45 GHz: 48.1234 + j12.3456 ohm, measured" (6 significant digits).
[[nodiscard]] std::string point_line(const MeasuredPoint& point);

// "points" of the JSON output: frequency, R and X at full precision, and whether interpolated.
[[nodiscard]] nlohmann::ordered_json points_json(const std::vector<MeasuredPoint>& points);

} // namespace veltrane::cli
