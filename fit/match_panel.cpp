// The Match panel of the measured-data window: its controls, and what it reads from them.

#include "fit/match_panel.h"
#include "fit/match_common.h"
#include "fit/window_common.h"

#include "fit/picture_painter.h"
#include "rf/touchstone.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <tuple>
#include <utility>
#include <variant>

namespace veltrane::fit {

PictureView::PictureView(const rf::Picture* picture, QSize hint, bool readable)
    : picture_(picture), hint_(hint), readable_(readable) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMinimumHeight(hint.height());
}

void PictureView::refresh() {
    if (readable_) {
        double smallest = 0;
        if (picture_ != nullptr && picture_->width > 0 && picture_->height > 0) {
            for (const rf::Operation& op : picture_->operations) {
                if (const auto* text = std::get_if<rf::Text>(&op); text && text->size > 0) {
                    smallest = smallest > 0 ? std::min(smallest, text->size) : text->size;
                }
            }
        }
        if (smallest > 0) {
            const double scale = QFontInfo(font()).pixelSize() / smallest;
            setMinimumSize(
                static_cast<int>(std::ceil(picture_->width * scale)),
                std::max(hint_.height(), static_cast<int>(std::ceil(picture_->height * scale))));
        } else {
            setMinimumSize(0, hint_.height());
        }
    }
    update();
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (picture_ == nullptr || picture_->width <= 0 || picture_->height <= 0) {
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setTransform(fit_transform(*picture_, QRectF(rect())));
    paint_picture(painter, *picture_);
}

MatchPanel::MatchPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("match_panel"));
    build();
    connect(&designer_, &QFutureWatcher<Designed>::finished, this, &MatchPanel::design_finished);
    connect(&parter_, &QFutureWatcher<Parts>::finished, this, &MatchPanel::parts_finished);
    connect(&library_reader_, &QFutureWatcher<LibraryRead>::finished, this,
            &MatchPanel::library_finished);
}

MatchPanel::~MatchPanel() {
    for (const auto& stop : {stop_design_, stop_parts_}) {
        if (stop) {
            stop->store(true);
        }
    }
    designer_.waitForFinished();
    parter_.waitForFinished();
    library_reader_.waitForFinished();
}

void MatchPanel::build() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    auto* band_box = new QGroupBox(QStringLiteral("Band and source"));
    auto* form = new QGridLayout(band_box);
    fl_edit_ = line_edit("match_fl_ghz", QStringLiteral("Band FL in GHz"),
                         QStringLiteral("Lower edge of the band to match, GHz; or drag FL on the "
                                        "return-loss plot"));
    fh_edit_ = line_edit("match_fh_ghz", QStringLiteral("Band FH in GHz"),
                         QStringLiteral("Upper edge of the band to match, GHz; or drag FH on the "
                                        "return-loss plot"));
    for (QLineEdit* edit : {fl_edit_, fh_edit_}) {
        connect(edit, &QLineEdit::editingFinished, this, [this] {
            const auto fl = field_number(fl_edit_);
            const auto fh = field_number(fh_edit_);
            if (fl && fh && (*fl != band_.fl_ghz || *fh != band_.fh_ghz)) {
                set_band({*fl, *fh}, true);
            }
        });
    }
    source_edit_ = line_edit("match_source_ohm", QStringLiteral("Source impedance in ohm"),
                             QStringLiteral("The source the network matches to, in ohm: a "
                                            "resistance (50) or an impedance (30+j20)"));
    source_edit_->setText(QStringLiteral("50"));
    connect(source_edit_, &QLineEdit::editingFinished, this, [this] { update_limits(); });
    source_kind_ = new QComboBox;
    source_kind_->setObjectName(QStringLiteral("match_source_kind"));
    source_kind_->setAccessibleName(QStringLiteral("Kind of source"));
    source_kind_->setToolTip(QStringLiteral(
        "A resistance or impedance typed in ohm, or the impedance measured at port 1 of a file"));
    source_kind_->addItem(QStringLiteral("resistance"));
    source_kind_->addItem(QStringLiteral("file\u2026"));
    connect(source_kind_, &QComboBox::activated, this, [this](int index) {
        if (index == 1) {
            pick_source_file();
        } else if (source_file_ != nullptr) {
            source_file_.reset();
            source_edit_->setReadOnly(false);
            source_edit_->setText(typed_source_);
        }
        update_limits();
    });
    elements_ = new QSpinBox;
    elements_->setObjectName(QStringLiteral("match_elements"));
    elements_->setAccessibleName(QStringLiteral("Largest number of elements"));
    elements_->setToolTip(QStringLiteral("Design the best ladder of every size from 1 to N"));
    elements_->setRange(1, match::max_elements);
    elements_->setValue(4);
    form->addWidget(new QLabel(QStringLiteral("FL")), 0, 0);
    form->addWidget(fl_edit_, 0, 1);
    form->addWidget(new QLabel(QStringLiteral("FH")), 0, 2);
    form->addWidget(fh_edit_, 0, 3);
    form->addWidget(new QLabel(QStringLiteral("GHz")), 0, 4);
    form->addWidget(new QLabel(QStringLiteral("Source")), 1, 0);
    form->addWidget(source_kind_, 1, 1);
    form->addWidget(source_edit_, 1, 2, 1, 2);
    form->addWidget(new QLabel(QStringLiteral("\u03a9")), 1, 4);
    form->addWidget(new QLabel(QStringLiteral("N")), 2, 0);
    form->addWidget(elements_, 2, 1);
    bound_label_ = new QLabel;
    bound_label_->setObjectName(QStringLiteral("match_bound"));
    bound_label_->setWordWrap(true);
    bound_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addWidget(bound_label_, 3, 0, 1, 5);
    layout->addWidget(band_box);

    auto* limits_box = new QGroupBox(QStringLiteral("Constraints"));
    auto* limits = new QGridLayout(limits_box);
    const auto combo = [](const char* name, const QString& accessible, const QString& tip,
                          std::initializer_list<const char*> items) {
        auto* box = new QComboBox;
        box->setObjectName(QString::fromLatin1(name));
        box->setAccessibleName(accessible);
        box->setToolTip(tip);
        for (const char* item : items) {
            box->addItem(QString::fromLatin1(item));
        }
        return box;
    };
    ladder_kind_ =
        combo("match_ladder_kind", QStringLiteral("Kind of ladder"),
              QStringLiteral("Low-pass: series L and shunt C only; high-pass: series C and shunt "
                             "L only"),
              {"any ladder", "low-pass", "high-pass"});
    first_ = combo("match_first", QStringLiteral("First element, at the source"),
                   QStringLiteral("The element at the source: in series or across the line"),
                   {"either", "series", "shunt"});
    last_ = combo("match_last", QStringLiteral("Last element, at the load"),
                  QStringLiteral("The element at the load: in series or across the line"),
                  {"either", "series", "shunt"});
    dc_path_ = new QCheckBox(QStringLiteral("DC path"));
    dc_path_->setObjectName(QStringLiteral("match_dc_path"));
    dc_path_->setToolTip(QStringLiteral("No series capacitor: DC passes from source to load"));
    dc_block_ = new QCheckBox(QStringLiteral("DC block"));
    dc_block_->setObjectName(QStringLiteral("match_dc_block"));
    dc_block_->setToolTip(QStringLiteral("At least one series capacitor"));
    l_range_ = line_edit("match_l_range", QStringLiteral("Inductors' range in nH"),
                         QStringLiteral("Every inductor within MIN:MAX nH; empty: any"));
    c_range_ = line_edit("match_c_range", QStringLiteral("Capacitors' range in pF"),
                         QStringLiteral("Every capacitor within MIN:MAX pF; empty: any"));
    l_range_->setPlaceholderText(QStringLiteral("MIN:MAX"));
    c_range_->setPlaceholderText(QStringLiteral("MIN:MAX"));
    limits->addWidget(ladder_kind_, 0, 0, 1, 2);
    limits->addWidget(dc_path_, 0, 2);
    limits->addWidget(dc_block_, 0, 3);
    limits->addWidget(new QLabel(QStringLiteral("First")), 1, 0);
    limits->addWidget(first_, 1, 1);
    limits->addWidget(new QLabel(QStringLiteral("Last")), 1, 2);
    limits->addWidget(last_, 1, 3);
    limits->addWidget(new QLabel(QStringLiteral("L nH")), 2, 0);
    limits->addWidget(l_range_, 2, 1);
    limits->addWidget(new QLabel(QStringLiteral("C pF")), 2, 2);
    limits->addWidget(c_range_, 2, 3);
    layout->addWidget(limits_box);

    auto* buttons = new QHBoxLayout;
    design_button_ = new QPushButton(QStringLiteral("&Design"));
    design_button_->setObjectName(QStringLiteral("match_design"));
    design_button_->setToolTip(QStringLiteral("Design the best ladder of each size 1..N over the "
                                              "band, on the measured data"));
    connect(design_button_, &QPushButton::clicked, this, &MatchPanel::start_design);
    cancel_button_ = new QPushButton(QStringLiteral("Cancel"));
    cancel_button_->setObjectName(QStringLiteral("match_cancel"));
    cancel_button_->setEnabled(false);
    connect(cancel_button_, &QPushButton::clicked, this, &MatchPanel::cancel_design);
    progress_ = new QProgressBar;
    progress_->setObjectName(QStringLiteral("match_progress"));
    progress_->setAccessibleName(QStringLiteral("Design progress"));
    progress_->setRange(0, slider_steps);
    progress_->setValue(0);
    buttons->addWidget(design_button_);
    buttons->addWidget(cancel_button_);
    buttons->addWidget(progress_, 1);
    layout->addLayout(buttons);

    sizes_ = new QListWidget;
    sizes_->setObjectName(QStringLiteral("match_sizes"));
    sizes_->setAccessibleName(QStringLiteral("Networks of 1 to N elements"));
    sizes_->setToolTip(QStringLiteral("Worst in-band return loss, smallest gain and the gap to "
                                      "the bound of each size; click one to choose it"));
    sizes_->setMinimumHeight(90);
    sizes_->setMaximumHeight(sizes_->fontMetrics().height() * 9);
    connect(sizes_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < static_cast<int>(networks_.size()) &&
            chosen_ != static_cast<std::size_t>(row)) {
            choose(row);
        }
    });
    designed_label_ = new QLabel;
    designed_label_->setObjectName(QStringLiteral("match_designed"));
    designed_label_->setWordWrap(true);
    layout->addWidget(designed_label_);
    layout->addWidget(sizes_, 1);
    chosen_label_ = new QLabel;
    chosen_label_->setObjectName(QStringLiteral("match_chosen"));
    chosen_label_->setWordWrap(true);
    chosen_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(chosen_label_);
    schematic_view_ = new PictureView(&schematic_, {360, 100}, true);
    schematic_view_->setObjectName(QStringLiteral("match_schematic"));
    schematic_view_->setAccessibleName(QStringLiteral("Schematic of the chosen network"));
    schematic_scroll_ = new QScrollArea;
    schematic_scroll_->setWidget(schematic_view_);
    schematic_scroll_->setWidgetResizable(true);
    schematic_scroll_->setFrameShape(QFrame::NoFrame);
    schematic_scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(schematic_scroll_);
    schematic_changed();

    build_parts_box(layout);

    message_ = new QLabel;
    message_->setObjectName(QStringLiteral("match_message"));
    message_->setWordWrap(true);
    message_->setStyleSheet(QStringLiteral("color: #a00000"));
    layout->addWidget(message_);
    update_limits();
}

void MatchPanel::show_message(const QString& text) {
    message_->setText(text);
    emit message_changed(text);
}

QString MatchPanel::message() const {
    return message_->text();
}

void MatchPanel::set_picture_source(std::function<rf::Picture()> source) {
    picture_source_ = std::move(source);
}

double MatchPanel::source_ohm() const {
    const auto z = views::typed_impedance(source_edit_->text().toStdString());
    return source_file_ == nullptr && z && z->imag() == 0 && z->real() > 0 ? z->real() : 50.0;
}

std::optional<views::MatchSource> MatchPanel::source() const {
    views::MatchSource source;
    if (source_file_ != nullptr) {
        source.data = source_file_;
        return source;
    }
    const auto z = views::typed_impedance(source_edit_->text().toStdString());
    if (!z || !(z->real() > 0)) {
        return std::nullopt;
    }
    if (z->imag() != 0) {
        source.impedance = *z;
    }
    return source;
}

void MatchPanel::pick_source_file() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Measured source"), QString(),
        QStringLiteral("Touchstone files (*.s1p *.s2p *.s3p *.s4p *.ts);;All files (*)"));
    source_file_.reset();
    if (!path.isEmpty()) {
        const std::string name = QDir::toNativeSeparators(path).toStdString();
        auto network = rf::read_touchstone_file(name);
        if (auto* read = std::get_if<rf::Network>(&network)) {
            auto data = rf::port_data(*read, 1);
            if (auto* port = std::get_if<rf::PortData>(&data)) {
                port->source = QFileInfo(path).fileName().toStdString();
                source_file_ = std::make_shared<const rf::PortData>(std::move(*port));
            } else {
                show_message(qs(std::get<std::string>(data)));
            }
        } else {
            show_message(qs(std::get<std::string>(network)));
        }
    }
    const QSignalBlocker block(source_kind_);
    source_kind_->setCurrentIndex(source_file_ != nullptr ? 1 : 0);
    if (source_file_ != nullptr) {
        if (!source_edit_->isReadOnly()) {
            typed_source_ = source_edit_->text();
        }
        source_edit_->setText(qs(source_file_->source + " port 1"));
    } else if (source_edit_->isReadOnly()) {
        source_edit_->setText(typed_source_);
    }
    source_edit_->setReadOnly(source_file_ != nullptr);
}

bool MatchPanel::attach_source() {
    load_.source_z_ohm.clear();
    if (designed_source_.resistive() || load_.f_ghz.empty()) {
        return true;
    }
    auto samples = views::source_samples(designed_source_, load_.f_ghz);
    if (const auto* problem = std::get_if<std::string>(&samples)) {
        show_message(qs(*problem));
        return false;
    }
    load_.source_z_ohm = std::move(std::get<std::vector<rf::Complex>>(samples));
    return true;
}

std::variant<match::Constraints, QString> MatchPanel::constraints() const {
    match::Constraints c;
    c.lowpass = ladder_kind_->currentIndex() == 1;
    c.highpass = ladder_kind_->currentIndex() == 2;
    c.dc_path = dc_path_->isChecked();
    c.dc_block = dc_block_->isChecked();
    for (const auto& [box, position] : {std::pair{first_, &c.first}, std::pair{last_, &c.last}}) {
        if (box->currentIndex() > 0) {
            *position = box->currentIndex() == 1 ? match::Position::Series : match::Position::Shunt;
        }
    }
    for (const auto& [edit, range, unit] :
         {std::tuple{l_range_, &c.l_nh, "nH"}, std::tuple{c_range_, &c.c_pf, "pF"}}) {
        const std::string text = edit->text().trimmed().toStdString();
        if (text.empty()) {
            continue;
        }
        *range = views::part_range(text);
        if (!*range) {
            return QStringLiteral("A part's range must be MIN:MAX in ") + QLatin1String(unit) +
                   QStringLiteral(" with 0 < MIN <= MAX");
        }
    }
    return c;
}

void MatchPanel::schematic_changed() {
    schematic_view_->refresh();
    // As high as the schematic, with room for the scroll bar a long ladder needs.
    schematic_scroll_->setFixedHeight(
        schematic_view_->minimumHeight() +
        schematic_scroll_->horizontalScrollBar()->sizeHint().height());
}

} // namespace veltrane::fit
