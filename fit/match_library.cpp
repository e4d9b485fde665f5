// The Match panel's "Parts and yield" box: standard values, the parts' Q and parasitics, the part
// library of measured parts (read off the event thread) and the yield.

#include "fit/match_common.h"
#include "fit/match_panel.h"
#include "fit/window_common.h"

#include "match/parts.h"
#include "views/match_run.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>
#include <memory>
#include <new>
#include <tuple>
#include <utility>

namespace veltrane::fit {

void MatchPanel::build_parts_box(QVBoxLayout* layout) {
    auto* parts_box = new QGroupBox(QStringLiteral("Parts and yield"));
    auto* parts = new QGridLayout(parts_box);
    series_box_ = new QComboBox;
    series_box_->setObjectName(QStringLiteral("match_series"));
    series_box_->setAccessibleName(QStringLiteral("Standard values of the network"));
    series_box_->setToolTip(QStringLiteral("Round the chosen network to standard values one part "
                                           "at a time, re-optimising the others"));
    series_box_->addItem(QStringLiteral("exact"));
    for (const rf::ESeries series : {rf::ESeries::E6, rf::ESeries::E12, rf::ESeries::E24,
                                     rf::ESeries::E48, rf::ESeries::E96, rf::ESeries::E192}) {
        series_box_->addItem(qs(rf::e_series_name(series)), static_cast<int>(series));
    }
    connect(series_box_, &QComboBox::currentIndexChanged, this, [this] { start_parts(); });
    inductor_q_ = line_edit("match_inductor_q", QStringLiteral("Inductor Q"),
                            QStringLiteral("Inductor Q at the band's centre, growing as the "
                                           "square root of frequency; empty: lossless"));
    capacitor_q_ = line_edit("match_capacitor_q", QStringLiteral("Capacitor Q"),
                             QStringLiteral("Capacitor Q (constant loss tangent); empty: "
                                            "lossless"));
    inductor_srf_ =
        line_edit("match_inductor_srf", QStringLiteral("Inductor self-resonance in GHz"),
                  QStringLiteral("Every inductor self-resonates at this frequency "
                                 "(GHz) through a parallel capacitance; empty: none"));
    capacitor_esl_ =
        line_edit("match_capacitor_esl", QStringLiteral("Capacitor series inductance in nH"),
                  QStringLiteral("Every capacitor has this series inductance (nH); "
                                 "empty: none"));
    capacitor_esr_ =
        line_edit("match_capacitor_esr", QStringLiteral("Capacitor series resistance in ohm"),
                  QStringLiteral("Every capacitor has this series resistance (ohm); "
                                 "empty: none"));
    for (const auto& [edit, words] :
         {std::pair{inductor_q_, "the parts' Q"}, std::pair{capacitor_q_, "the parts' Q"},
          std::pair{inductor_srf_, "the parasitics"}, std::pair{capacitor_esl_, "the parasitics"},
          std::pair{capacitor_esr_, "the parasitics"}}) {
        connect(edit, &QLineEdit::editingFinished, this, [this, words = words] {
            const auto asked = losses();
            if (const auto* problem = std::get_if<QString>(&asked)) {
                show_message(*problem);
            } else if (!networks_.empty()) {
                show_message(QStringLiteral("Design again to include ") + QLatin1String(words));
            }
        });
    }
    tolerance_ = line_edit("match_tolerance", QStringLiteral("Tolerance in percent"),
                           QStringLiteral("Every part varied uniformly within \u00b1 this "
                                          "percentage for the yield; 0: no yield"));
    tolerance_->setText(QStringLiteral("2"));
    runs_ = new QSpinBox;
    runs_->setObjectName(QStringLiteral("match_runs"));
    runs_->setAccessibleName(QStringLiteral("Yield runs"));
    runs_->setRange(0, 100000);
    runs_->setValue(500);
    target_ = line_edit("match_target_db", QStringLiteral("Yield target return loss in dB"),
                        QStringLiteral("Worst in-band return loss a network must reach; empty: "
                                       "the nominal figure less 1 dB"));
    for (QLineEdit* edit : {tolerance_, target_}) {
        connect(edit, &QLineEdit::editingFinished, this, [this] { start_parts(); });
    }
    connect(runs_, &QSpinBox::editingFinished, this, [this] { start_parts(); });
    parts->addWidget(new QLabel(QStringLiteral("Values")), 0, 0);
    parts->addWidget(series_box_, 0, 1);
    parts->addWidget(new QLabel(QStringLiteral("Q of L")), 0, 2);
    parts->addWidget(inductor_q_, 0, 3);
    parts->addWidget(new QLabel(QStringLiteral("Q of C")), 0, 4);
    parts->addWidget(capacitor_q_, 0, 5);
    int row = 1;
    for (const auto& [label, edit] :
         {std::pair{"SRF of L GHz", inductor_srf_}, std::pair{"ESL of C nH", capacitor_esl_},
          std::pair{"ESR of C \u03a9", capacitor_esr_}}) {
        parts->addWidget(new QLabel(QString::fromUtf8(label)), 1, row - 1);
        parts->addWidget(edit, 1, row);
        row += 2;
    }
    parts->addWidget(new QLabel(QStringLiteral("\u00b1 %")), 2, 0);
    parts->addWidget(tolerance_, 2, 1);
    parts->addWidget(new QLabel(QStringLiteral("Runs")), 2, 2);
    parts->addWidget(runs_, 2, 3);
    parts->addWidget(new QLabel(QStringLiteral("Target dB")), 2, 4);
    parts->addWidget(target_, 2, 5);
    library_button_ = new QPushButton(QStringLiteral("Part &library\u2026"));
    library_button_->setObjectName(QStringLiteral("match_library"));
    library_button_->setToolTip(QStringLiteral("A folder holding parts.csv and the measured "
                                               "two-ports of real parts: the chosen network is "
                                               "also built of those parts"));
    connect(library_button_, &QPushButton::clicked, this, [this] { pick_library(); });
    library_clear_ = new QPushButton(QStringLiteral("No library"));
    library_clear_->setObjectName(QStringLiteral("match_library_clear"));
    library_clear_->setEnabled(false);
    connect(library_clear_, &QPushButton::clicked, this, [this] { set_library({}); });
    library_label_ = new QLabel(QStringLiteral("No part library"));
    library_label_->setObjectName(QStringLiteral("match_library_name"));
    library_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    parts->addWidget(library_button_, 3, 0, 1, 2);
    parts->addWidget(library_label_, 3, 2, 1, 3);
    parts->addWidget(library_clear_, 3, 5);
    histogram_picture_ = views::histogram_picture({}, 360, 110);
    histogram_view_ = new PictureView(&histogram_picture_, {360, 110});
    histogram_view_->setObjectName(QStringLiteral("match_histogram"));
    histogram_view_->setAccessibleName(QStringLiteral("Yield histogram"));
    parts->addWidget(histogram_view_, 4, 0, 1, 6);
    layout->addWidget(parts_box);
}

std::variant<match::Losses, QString> MatchPanel::losses() const {
    match::Losses losses;
    const double centre = std::sqrt(band_.fl_ghz * band_.fh_ghz);
    for (const auto& [edit, part] :
         {std::pair{inductor_q_, &losses.inductor}, std::pair{capacitor_q_, &losses.capacitor}}) {
        if (edit->text().trimmed().isEmpty()) {
            continue;
        }
        const auto q = field_number(edit);
        if (!q || !(*q > 0) || !std::isfinite(*q)) {
            return QStringLiteral("A part's Q must be a positive number, or empty");
        }
        *part = match::PartQ{*q, centre};
    }
    views::MatchSettings settings;
    for (const auto& [edit, parasitic] : {std::pair{inductor_srf_, &losses.inductor_srf_ghz},
                                          std::pair{capacitor_esl_, &losses.capacitor_esl_nh},
                                          std::pair{capacitor_esr_, &losses.capacitor_esr_ohm}}) {
        if (edit->text().trimmed().isEmpty()) {
            continue;
        }
        const auto value = field_number(edit);
        // Not a number: the views' sentence for a value below its range.
        *parasitic = value && std::isfinite(*value) ? *value : -1.0;
    }
    settings.losses = losses;
    if (const auto problem = settings.validate()) {
        return qs(*problem);
    }
    if (const auto problem =
            views::match_range_problem(losses, source_ohm(), std::nullopt, "Q of L", "Q of C")) {
        return qs(*problem);
    }
    return losses;
}

void MatchPanel::pick_library() {
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Part library (a folder holding parts.csv)"), library_folder_);
    if (!folder.isEmpty()) {
        set_library(folder);
    }
}

void MatchPanel::set_library(const QString& folder) {
    ++library_generation_;
    library_folder_ = folder;
    library_.reset();
    if (folder.isEmpty()) {
        library_label_->setText(QStringLiteral("No part library"));
        library_clear_->setEnabled(false);
        if (!networks_.empty()) {
            show_message(QStringLiteral("Design again to leave out the part library"));
        }
        emit library_read();
        return;
    }
    library_label_->setText(QStringLiteral("Reading ") + QDir::toNativeSeparators(folder) +
                            QStringLiteral("\u2026"));
    library_clear_->setEnabled(true);
    library_reader_.setFuture(QtConcurrent::run([folder, generation = library_generation_] {
        LibraryRead read;
        read.generation = generation;
        read.folder = folder;
        // Nothing may leave a worker thread.
        try {
            auto library = match::read_parts(QDir::toNativeSeparators(folder).toStdString());
            if (auto* parts = std::get_if<match::PartLibrary>(&library)) {
                read.library = std::make_shared<const match::PartLibrary>(std::move(*parts));
            } else {
                read.failure = std::get<std::string>(std::move(library));
            }
        } catch (const std::bad_alloc&) {
            read.failure = "Not enough memory for the part library";
        } catch (...) {
            read.failure = "The part library could not be read";
        }
        return read;
    }));
}

void MatchPanel::library_finished() {
    LibraryRead read = library_reader_.result();
    if (read.generation != library_generation_) {
        return; // another folder was picked since
    }
    library_ = std::move(read.library);
    if (library_ == nullptr) {
        library_label_->setText(QStringLiteral("No part library"));
        library_clear_->setEnabled(false);
        show_message(qs(read.failure));
    } else {
        library_label_->setText(QFileInfo(read.folder).fileName() + QStringLiteral(": ") +
                                QString::number(library_->parts.size()) +
                                QStringLiteral(" measured parts"));
        library_label_->setToolTip(QDir::toNativeSeparators(read.folder));
        show_message(networks_.empty() ? QString()
                                       : QStringLiteral("Design again to use the part library"));
    }
    emit library_read();
}

} // namespace veltrane::fit
