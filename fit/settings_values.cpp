#include "fit/settings_values.h"

#include <QFileInfo>

namespace veltrane::fit {

QStringList recent_files(const QVariant& value) {
    QStringList recent;
    if (!value.canConvert<QStringList>()) {
        return recent;
    }
    for (const QString& path : value.toStringList()) {
        if (recent.size() == max_recent) {
            break;
        }
        if (!path.isEmpty() && path.size() <= longest_setting_path &&
            QFileInfo(path).isAbsolute() && !recent.contains(path)) {
            recent.append(path);
        }
    }
    return recent;
}

QString folder(const QVariant& value) {
    if (!value.canConvert<QString>()) {
        return {};
    }
    const QString path = value.toString();
    return path.size() <= longest_setting_path && QFileInfo(path).isAbsolute() ? path : QString();
}

std::optional<QString> field_text(const QVariant& value) {
    if (value.isNull() || !value.canConvert<QString>()) {
        return std::nullopt;
    }
    QString text = value.toString();
    if (text.size() > longest_field_text) {
        return std::nullopt;
    }
    return text;
}

} // namespace veltrane::fit
