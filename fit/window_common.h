#pragma once

// What the files of the measured-data window share: text conversions and the window's constants.

#include "fit/settings_values.h"
#include "rf/numbers.h"
#include "rf/picture.h"

#include <QFile>
#include <QString>
#include <QThreadPool>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>

namespace veltrane::fit {

inline QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

inline QString number(double value, int digits = 6) {
    return qs(rf::readable(value, digits));
}

// Lets `things` go on a pool thread: freeing the samples of a large file takes the event thread
// milliseconds.
template <class... T> void let_go(T&&... things) {
    auto kept = std::make_shared<std::tuple<std::decay_t<T>...>>(std::forward<T>(things)...);
    QThreadPool::globalInstance()->start([kept = std::move(kept)]() mutable { kept.reset(); });
}

inline std::string file_name(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// Steps of the RL slider (logarithmic) and of the progress bar.
inline constexpr int slider_steps = 4000;
// Samples the quick best fit on opening data runs on.
inline constexpr std::size_t quick_fit_samples = 25;
// Points on the model's curve when the data have more samples than this.
inline constexpr std::size_t max_model_points = 2001;
// Large data are judged on at most this many of their samples (every n-th).
inline constexpr std::size_t max_judged_samples = 20000;
// The charts draw large data as this many runs of samples, each its lowest and highest |Γ|; four
// times as many while a chart is zoomed.
inline constexpr std::size_t chart_buckets = 1000;
inline constexpr std::size_t zoomed_chart_buckets = 10000;

inline constexpr rf::Colour f1_colour{210, 95, 0};
inline constexpr rf::Colour f2_colour{125, 0, 170};

} // namespace veltrane::fit
