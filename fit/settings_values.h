#pragma once
// What the measured-data window takes from its settings file, which may be damaged or written
// by anyone: values checked as they are read (Qt Core only, so that it can be fuzzed alone).

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace veltrane::fit {

// The most recent files the window keeps, and the longest path it takes from the settings.
inline constexpr qsizetype max_recent = 8;
inline constexpr qsizetype longest_setting_path = 4096;
// The longest text a field of the Match panel takes from the settings.
inline constexpr qsizetype longest_field_text = 64;

// The recent files `value` holds, as far as they can be: distinct, non-empty absolute paths of
// at most longest_setting_path characters, the first max_recent of them, whatever the length of
// the stored list.
[[nodiscard]] QStringList recent_files(const QVariant& value);

// The last folder: an absolute path of a sane length, else empty.
[[nodiscard]] QString folder(const QVariant& value);

// A field's text: a string of at most longest_field_text characters, else none.
[[nodiscard]] std::optional<QString> field_text(const QVariant& value);

} // namespace veltrane::fit
