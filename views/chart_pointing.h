#pragma once

// From picture coordinates back to what the charts show, for pointing into them: the reflection
// under a point of the Smith chart, the frequency under a point of the return-loss plot, the
// place on the data curve nearest a point. No Qt.

#include "rf/model_impedance.h"
#include "rf/picture.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace veltrane::views {

// The maps between the charts and picture coordinates live with the picture.
using rf::plot_frequency;
using rf::plot_x;
using rf::plot_y;
using rf::return_loss_db;
using rf::smith_point;
using rf::smith_reflection;

// The measured curve as the charts draw it: frequencies (rising) and reflections against z0.
struct Curve {
    std::vector<double> f_ghz;
    std::vector<rf::Complex> g;
};

// Where a pointer at `p` falls on the curve, within `reach` picture units: on the Smith chart,
// the nearest point of the curve between two samples; on the plot, the frequency under it. A
// place within `snap` units of a sample is that sample's frequency exactly.
[[nodiscard]] std::optional<double> frequency_at(const rf::ChartFrame& frame, const Curve& curve,
                                                 rf::Point p, double reach, double snap);

// A draggable handle for a point picked on the data: a filled disc on the Smith chart and on
// the return-loss curve, with its label on both when `label_on_chart` (no model names them).
struct Handle {
    std::string label; // "F1"
    double f_ghz = 0.0;
    rf::Complex g; // the data's reflection there against z0
    rf::Colour colour;
};
void add_handles(rf::Picture& picture, const rf::ChartFrame& frame, std::span<const Handle> handles,
                 bool label_on_chart, double text_size = 11);

// The handle under `p` (index into `handles`), within `reach` units of its disc on either chart
// or of its line on the plot.
[[nodiscard]] std::optional<std::size_t>
handle_at(const rf::ChartFrame& frame, std::span<const Handle> handles, rf::Point p, double reach);

// What the read-out says at a frequency under the pointer: the data's and the model's
// impedance, |Gamma|, return loss and VSWR against z0, and |Gamma_model - Gamma_data|.
struct Reading {
    double f_ghz = 0.0;
    rf::Complex data;
    std::optional<rf::Complex> model; // none without a model
};
[[nodiscard]] std::string reading_text(const Reading& reading, double z0_ohm);
// The lines for one reflection: "45.2 + j3.1 Ω   |Γ| 0.052   RL 25.6 dB   VSWR 1.11".
[[nodiscard]] std::string reflection_text(rf::Complex g, double z0_ohm);
// (1 + |Gamma|) / (1 - |Gamma|); nothing from |Gamma| = 1 up.
[[nodiscard]] std::optional<double> vswr(rf::Complex g);

} // namespace veltrane::views
