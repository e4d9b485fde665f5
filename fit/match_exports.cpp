// The Match panel: the match as text, its files, and the panel's settings.

#include "fit/match_panel.h"
#include "fit/window_common.h"

#include "fit/picture_painter.h"
#include "io/safe_file.h"
#include "match/match_files.h"
#include "match/schematic.h"
#include "rf/svg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QSpinBox>

#include <algorithm>
#include <array>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

namespace veltrane::fit {

namespace {

// The longest part library folder kept across runs.
constexpr qsizetype max_folder_length = 4096;

} // namespace

QString MatchPanel::results_text() const {
    if (networks_.empty()) {
        return {};
    }
    views::MatchReport report;
    report.band = band_;
    report.source_ohm = designed_source_ohm_;
    report.source = designed_source_;
    report.bound = bound_;
    report.section = section_;
    report.bound_beaten = views::beaten(networks_, bound_);
    report.networks = networks_;
    report.no_better_than = no_better_than_;
    report.chosen = chosen_;
    report.standard = standard_;
    report.parts = parts_network_;
    report.series = standard_series_;
    report.yield = yield_;
    report.losses = designed_losses_;
    report.constraints = designed_constraints_;
    return QStringLiteral("\n") + qs(views::match_text(report));
}

std::optional<QString> MatchPanel::export_to(MatchExport kind, const QString& path) const {
    const match::Design* design = exported();
    if (design == nullptr || data_ == nullptr) {
        return QStringLiteral("Design a matching network first");
    }
    const match::Ladder& ladder = design->ladder;
    std::string bytes;
    switch (kind) {
    case MatchExport::NetworkTouchstone: {
        std::vector<double> f;
        std::copy_if(data_->f_ghz.begin(), data_->f_ghz.end(), std::back_inserter(f),
                     [](double v) { return v >= 0; });
        bytes = match::network_touchstone(ladder, designed_losses_, designed_source_ohm_, f,
                                          "veltrane-fit");
        break;
    }
    case MatchExport::NetworkSpice:
        bytes = match::network_spice(ladder, designed_losses_, designed_source_ohm_, band_,
                                     "veltrane-fit");
        break;
    case MatchExport::MatchedTouchstone:
        bytes = match::matched_touchstone(ladder, designed_losses_, designed_source_ohm_, all_load_,
                                          "veltrane-fit");
        break;
    case MatchExport::Svg:
    case MatchExport::Png: {
        rf::Picture picture;
        if (picture_source_) {
            picture = picture_source_();
        } else {
            picture = match::match_picture(
                {ladder, designed_losses_, designed_source_ohm_, all_load_, band_, bound_});
        }
        match::SchematicLayout layout = match::schematic_layout(
            ladder, designed_source_ohm_, name_.toStdString(), picture.width, designed_losses_);
        if (!designed_source_.resistive()) {
            layout.source_label = designed_source_.label();
        }
        const rf::Picture whole = match::with_schematic(std::move(picture), layout);
        if (kind == MatchExport::Svg) {
            bytes = rf::svg_text(whole);
        } else {
            const auto png = png_bytes(whole, 2);
            if (!png) {
                return QStringLiteral("Cannot write ") + path +
                       QStringLiteral(": the picture cannot be encoded as PNG");
            }
            bytes.assign(png->constData(), static_cast<std::size_t>(png->size()));
        }
        break;
    }
    }
    if (auto failed = write_file_safely(std::filesystem::path(file_name(path)), bytes)) {
        return qs(*failed);
    }
    return std::nullopt;
}

void MatchPanel::add_export_actions(QMenu* menu) {
    struct Kind {
        const char* title;
        const char* name;
        const char* filter;
        MatchExport kind;
    };
    static constexpr std::array<Kind, 5> kinds = {{
        {"Matching network as Touchstone t&wo-port\u2026", "match.s2p", "Touchstone (*.s2p)",
         MatchExport::NetworkTouchstone},
        {"Matching network as SP&ICE\u2026", "match.cir", "SPICE (*.cir *.sp *.lib)",
         MatchExport::NetworkSpice},
        {"&Matched input as Touchstone\u2026", "matched.s1p", "Touchstone (*.s1p)",
         MatchExport::MatchedTouchstone},
        {"Match picture with schematic as SV&G\u2026", "match.svg", "SVG (*.svg)",
         MatchExport::Svg},
        {"Match picture with schematic as P&NG\u2026", "match.png", "PNG (*.png)",
         MatchExport::Png},
    }};
    menu->addSeparator();
    for (const Kind& k : kinds) {
        menu->addAction(QString::fromUtf8(k.title), this, [this, k] {
            const QString path = QFileDialog::getSaveFileName(
                this, QString::fromUtf8(k.title).remove(QLatin1Char('&')).chopped(1),
                QString::fromLatin1(k.name), QString::fromLatin1(k.filter));
            if (path.isEmpty()) {
                return;
            }
            const auto failed = export_to(k.kind, path);
            show_message(failed ? *failed : QStringLiteral("Wrote ") + path);
        });
    }
}

void MatchPanel::save_settings(QSettings& settings) const {
    settings.setValue(QStringLiteral("match/source"),
                      source_file_ != nullptr ? typed_source_ : source_edit_->text());
    settings.setValue(QStringLiteral("match/elements"), elements_->value());
    settings.setValue(QStringLiteral("match/series"), series_box_->currentIndex());
    settings.setValue(QStringLiteral("match/inductor_q"), inductor_q_->text());
    settings.setValue(QStringLiteral("match/capacitor_q"), capacitor_q_->text());
    settings.setValue(QStringLiteral("match/inductor_srf"), inductor_srf_->text());
    settings.setValue(QStringLiteral("match/capacitor_esl"), capacitor_esl_->text());
    settings.setValue(QStringLiteral("match/capacitor_esr"), capacitor_esr_->text());
    settings.setValue(QStringLiteral("match/parts_folder"),
                      library_ != nullptr ? library_folder_ : QString());
    settings.setValue(QStringLiteral("match/tolerance"), tolerance_->text());
    settings.setValue(QStringLiteral("match/runs"), runs_->value());
    settings.setValue(QStringLiteral("match/target"), target_->text());
    settings.setValue(QStringLiteral("match/ladder_kind"), ladder_kind_->currentIndex());
    settings.setValue(QStringLiteral("match/first"), first_->currentIndex());
    settings.setValue(QStringLiteral("match/last"), last_->currentIndex());
    settings.setValue(QStringLiteral("match/dc_path"), dc_path_->isChecked());
    settings.setValue(QStringLiteral("match/dc_block"), dc_block_->isChecked());
    settings.setValue(QStringLiteral("match/l_range"), l_range_->text());
    settings.setValue(QStringLiteral("match/c_range"), c_range_->text());
}

void MatchPanel::restore_settings(const QSettings& settings) {
    const auto text = [&](const char* key, QLineEdit* edit) {
        // A field's text, not whatever a damaged file holds.
        if (const auto value = field_text(settings.value(QLatin1String(key)))) {
            edit->setText(*value);
        }
    };
    text("match/source", source_edit_);
    text("match/inductor_q", inductor_q_);
    text("match/capacitor_q", capacitor_q_);
    text("match/inductor_srf", inductor_srf_);
    text("match/capacitor_esl", capacitor_esl_);
    text("match/capacitor_esr", capacitor_esr_);
    // A folder's name, not whatever a damaged file holds; read off the event thread.
    if (const QVariant folder = settings.value(QStringLiteral("match/parts_folder"));
        folder.typeId() == QMetaType::QString && !folder.toString().isEmpty() &&
        folder.toString().size() <= max_folder_length) {
        set_library(folder.toString());
    }
    text("match/tolerance", tolerance_);
    text("match/target", target_);
    elements_->setValue(settings.value(QStringLiteral("match/elements"), 4).toInt());
    runs_->setValue(settings.value(QStringLiteral("match/runs"), 500).toInt());
    text("match/l_range", l_range_);
    text("match/c_range", c_range_);
    for (const auto& [key, box] :
         {std::pair{"match/ladder_kind", ladder_kind_}, std::pair{"match/first", first_},
          std::pair{"match/last", last_}}) {
        box->setCurrentIndex(
            std::clamp(settings.value(QLatin1String(key), 0).toInt(), 0, box->count() - 1));
    }
    dc_path_->setChecked(settings.value(QStringLiteral("match/dc_path"), false).toBool());
    dc_block_->setChecked(settings.value(QStringLiteral("match/dc_block"), false).toBool());
    const QSignalBlocker block(series_box_);
    series_box_->setCurrentIndex(std::clamp(
        settings.value(QStringLiteral("match/series"), 0).toInt(), 0, series_box_->count() - 1));
}

} // namespace veltrane::fit
