// The measured-data window: exports.

#include "fit/fit_window.h"
#include "fit/window_common.h"

#include "fit/picture_painter.h"
#include "io/safe_file.h"
#include "rf/sweep.h"
#include "views/model_exports.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QStatusBar>

#include <algorithm>
#include <cmath>

namespace veltrane::fit {

std::optional<QString> FitWindow::export_to(Export kind, const QString& path) {
    const ChoiceRow* row = chosen_row();
    const Result* state = row != nullptr ? std::get_if<Result>(&row->outcome) : nullptr;
    std::string bytes;
    if (kind == Export::Svg || kind == Export::Png) {
        if (!data_) {
            return QStringLiteral("Nothing to draw: open a file first");
        }
    } else if (state == nullptr || !view_ || view_->message) {
        return QStringLiteral("The chosen row gives no model to export");
    }
    views::ModelExportInput input;
    if (state != nullptr) {
        input.described =
            views::described_model(rf::LumpedModel::from(*state, chosen_.topology), series_);
        input.calculation = state;
        input.choice = chosen_;
        input.sweep = rf::default_sweep(*state);
    }
    input.z0_ohm = z0_ohm_;
    switch (kind) {
    case Export::Touchstone:
        std::copy_if(data_->f_ghz.begin(), data_->f_ghz.end(), std::back_inserter(input.f_ghz),
                     [](double v) { return v >= 0; });
        bytes = views::model_export_bytes(views::ModelExport::Touchstone, input);
        break;
    case Export::Spice:
        bytes = views::model_export_bytes(views::ModelExport::Spice, input);
        break;
    case Export::Svg: {
        const rf::Picture picture = export_picture();
        input.picture = &picture;
        bytes = views::model_export_bytes(views::ModelExport::Picture, input);
        break;
    }
    case Export::Png: {
        const auto png = png_bytes(export_picture(), 2);
        if (!png) {
            return QStringLiteral("Cannot write ") + path +
                   QStringLiteral(": the picture cannot be encoded as PNG");
        }
        bytes.assign(png->constData(), static_cast<std::size_t>(png->size()));
        break;
    }
    case Export::Report:
        bytes = view_->report;
        break;
    }
    if (auto failed = write_file_safely(std::filesystem::path(file_name(path)), bytes)) {
        return qs(*failed);
    }
    return std::nullopt;
}

void FitWindow::export_with_dialog(Export kind) {
    struct Kind {
        const char* title;
        const char* name;
        const char* filter;
    };
    static constexpr std::array<Kind, 5> kinds = {{
        {"Export the model as Touchstone", "model.s1p", "Touchstone (*.s1p)"},
        {"Export the model as SPICE", "model.cir", "SPICE (*.cir *.sp *.lib)"},
        {"Export the picture as SVG", "model.svg", "SVG (*.svg)"},
        {"Export the picture as PNG", "model.png", "PNG (*.png)"},
        {"Save the report", "Model.prt", "Report (*.prt)"},
    }};
    const Kind& k = kinds[static_cast<std::size_t>(kind)];
    const QString path = QFileDialog::getSaveFileName(
        this, QString::fromLatin1(k.title),
        QDir(last_folder_).filePath(QString::fromLatin1(k.name)), QString::fromLatin1(k.filter));
    if (path.isEmpty()) {
        return;
    }
    last_folder_ = QFileInfo(path).absolutePath();
    QSettings settings;
    settings.setValue(QStringLiteral("folder"), last_folder_);
    store(settings);
    if (const auto failed = export_to(kind, path)) {
        show_message(*failed);
    } else {
        statusBar()->showMessage(QStringLiteral("Wrote ") + path, 5000);
    }
}

} // namespace veltrane::fit
