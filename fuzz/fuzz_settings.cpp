// Fuzz target: the measured-data window's settings file as anything may have left it. The bytes
// are the file; every key is read as the window reads it. The recent files must come out as at
// most eight distinct absolute paths of a sane length, the folder absolute or empty, a field's
// text short, whatever the file holds.

#include "check.h"
#include "fit/settings_values.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include <unistd.h>

using namespace veltrane::fuzzref;
namespace fit = veltrane::fit;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    // A new name each time: QSettings keeps files it has read by name.
    static long count = 0;
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("veltrane-fuzz-settings-" + std::to_string(::getpid()) + "-" +
                               std::to_string(count++ % 100000) + ".conf"))
                                 .string();
    {
        QFile file(QString::fromStdString(path));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return 0;
        }
        file.write(reinterpret_cast<const char*>(bytes), static_cast<qint64>(size));
    }
    {
        const QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
        const QStringList recent = fit::recent_files(settings.value(QStringLiteral("recent")));
        FUZZ_REQUIRE(recent.size() <= fit::max_recent, "too many recent files");
        for (qsizetype i = 0; i < recent.size(); ++i) {
            const QString& p = recent[i];
            FUZZ_REQUIRE(!p.isEmpty() && p.size() <= fit::longest_setting_path &&
                             QFileInfo(p).isAbsolute() && recent.indexOf(p) == i,
                         "a recent file that should not be there: ", p.toStdString());
        }
        const QString folder = fit::folder(settings.value(QStringLiteral("folder")));
        FUZZ_REQUIRE(folder.isEmpty() || QFileInfo(folder).isAbsolute(), "folder ",
                     folder.toStdString());
        for (const QString& key : settings.allKeys()) {
            const auto text = fit::field_text(settings.value(key));
            FUZZ_REQUIRE(!text || text->size() <= fit::longest_field_text, "a long field text");
            (void)fit::recent_files(settings.value(key));
        }
    }
    std::filesystem::remove(path);
    return 0;
}
