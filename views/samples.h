#pragma once

// Moving along measured samples and drawing large data: what a front end does with the samples
// themselves, without Qt.

#include "rf/port_data.h"
#include "views/chart_pointing.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace veltrane::views {

// The sample `delta` samples away from `f_ghz` in the rising frequencies `f_ghz_samples`: from a
// frequency between two samples one step forward reaches the next sample above it, one step back
// the one below. Stops at the first and the last sample; nothing without samples.
[[nodiscard]] std::optional<double> step_sample(const std::vector<double>& f_ghz_samples,
                                                double f_ghz, int delta);

// At most about `max_samples` of the data for drawing: every n-th sample and the last one.
// Nothing when the data have no more than `max_samples`, so that they are drawn whole.
[[nodiscard]] std::optional<rf::PortData> thinned(const rf::PortData& data,
                                                  std::size_t max_samples);

// The samples a chart draws of large data: the data cut into `buckets` runs of consecutive
// samples, each giving its smallest and its largest |reflection| (and its first sample that is
// not finite, where the curve breaks) in their order, the first and the last sample kept. A
// narrow dip or peak survives, which every n-th sample would miss. Nothing when the data have no
// more than twice `buckets` samples, so that they are drawn whole.
[[nodiscard]] std::optional<rf::PortData> chart_samples(const rf::PortData& data,
                                                        std::size_t buckets);

// The samples with a finite reflection, as the charts draw and point into them.
[[nodiscard]] Curve finite_curve(const rf::PortData& data);

} // namespace veltrane::views
