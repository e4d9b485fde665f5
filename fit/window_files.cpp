// The measured-data window: files in (open, drop, recent files, reading on a worker thread) and the
// settings it keeps.

#include "fit/fit_window.h"
#include "fit/window_common.h"

#include "fit/match_panel.h"

#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMetaObject>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace veltrane::fit {

void FitWindow::restore_settings() {
    QSettings settings;
    restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray());
    split_->restoreState(settings.value(QStringLiteral("split")).toByteArray());
    lower_split_->restoreState(settings.value(QStringLiteral("lower_split")).toByteArray());
    recent_ = recent_files(settings.value(QStringLiteral("recent")));
    last_folder_ = folder(settings.value(QStringLiteral("folder")));
    if (settings.value(QStringLiteral("geometry")).isNull()) {
        resize(1200, 820);
    }
    fill_recent_menu();
    match_->restore_settings(settings);
    show_match_->setChecked(settings.value(QStringLiteral("match_shown"), false).toBool());
}

void FitWindow::save_settings() {
    QSettings settings;
    settings.clear(); // keys the window does not know (a damaged or foreign file) are not kept
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("split"), split_->saveState());
    settings.setValue(QStringLiteral("lower_split"), lower_split_->saveState());
    settings.setValue(QStringLiteral("recent"), recent_);
    settings.setValue(QStringLiteral("folder"), last_folder_);
    match_->save_settings(settings);
    settings.setValue(QStringLiteral("match_shown"), show_match_->isChecked());
    store(settings);
}

void FitWindow::store(QSettings& settings) {
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        statusBar()->showMessage(QStringLiteral("Cannot save the settings in ") +
                                 QDir::toNativeSeparators(settings.fileName()));
    }
}

void FitWindow::closeEvent(QCloseEvent* event) {
    stop_search(); // quitting never waits for a search
    save_settings();
    QMainWindow::closeEvent(event);
}

void FitWindow::fill_recent_menu() {
    recent_menu_->clear();
    for (const QString& path : recent_) {
        recent_menu_
            ->addAction(QFileInfo(path).fileName(), this, [this, path] { open_file(path, 1); })
            ->setToolTip(path);
    }
    recent_menu_->setEnabled(!recent_.isEmpty());
}

void FitWindow::add_recent(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    recent_.removeAll(absolute);
    recent_.prepend(absolute);
    while (recent_.size() > max_recent) {
        recent_.removeLast();
    }
    fill_recent_menu();
    QSettings settings;
    settings.setValue(QStringLiteral("recent"), recent_);
    store(settings);
}

void FitWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile()) {
        event->acceptProposedAction();
    }
}

void FitWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile()) {
        event->acceptProposedAction();
        open_file(urls.front().toLocalFile(), 1);
    }
}

void FitWindow::drop_read() {
    if (reading_) {
        const std::lock_guard lock(reading_->mutex);
        reading_->window = nullptr;
    }
    reading_.reset();
}

void FitWindow::open_file(const QString& path, int port) {
    drop_read(); // the newer request wins at once
    statusBar()->showMessage(QStringLiteral("Reading ") + path + QStringLiteral("\u2026"));
    const std::string name = file_name(path);
    const std::string legend = QFileInfo(path).fileName().toStdString();
    const views::MatchAhead ahead = match_->ahead();
    const auto read_and_take = [name, legend, port, ahead]() -> ReadResult {
        auto read = rf::read_touchstone_file(name);
        if (auto* text = std::get_if<std::string>(&read)) {
            return std::move(*text);
        }
        auto& network = std::get<rf::Network>(read);
        network.source = legend;
        auto taken = rf::port_data(network, port);
        if (auto* text = std::get_if<std::string>(&taken)) {
            return std::move(*text);
        }
        auto data = std::make_shared<const rf::PortData>(std::get<rf::PortData>(std::move(taken)));
        Prepared prepared = prepare(*data, ahead);
        if (!prepared.start) {
            return name + ": no samples";
        }
        return std::make_shared<Opened>(
            Opened{std::move(network), std::move(data), std::move(prepared)});
    };
    const auto ticket = std::make_shared<ReadTicket>();
    ticket->window = this;
    reading_ = ticket;
    const auto read = [ticket, name, read_and_take, path, port] {
        ReadResult result;
        // Nothing may leave the reading thread: an exception there would end the program.
        try {
            result = read_and_take();
        } catch (const std::bad_alloc&) {
            result = "Not enough memory to read " + name;
        } catch (const std::exception& error) {
            result = "Cannot read " + name + ": " + error.what();
        } catch (...) {
            result = "Cannot read " + name;
        }
        // The window is told while it cannot go away: it drops the ticket under the same lock
        // before it is destroyed, and an event posted to it dies with it.
        const std::lock_guard lock(ticket->mutex);
        if (FitWindow* window = ticket->window) {
            QMetaObject::invokeMethod(
                window,
                [window, ticket, path, port, result = std::move(result)]() mutable {
                    if (window->reading_ == ticket) {
                        window->reading_.reset();
                        window->file_read(path, port, std::move(result));
                    }
                },
                Qt::QueuedConnection);
        }
    };
    try {
        std::thread(read).detach();
    } catch (const std::system_error& error) {
        reading_.reset();
        statusBar()->clearMessage();
        show_message(QStringLiteral("Cannot read ") + path + QStringLiteral(": ") +
                     QString::fromLocal8Bit(error.what()));
        emit refused();
    }
}

void FitWindow::file_read(const QString& path, int port, ReadResult result) {
    statusBar()->clearMessage();
    if (auto* text = std::get_if<std::string>(&result)) {
        show_message(qs(*text));
        emit refused();
        return;
    }
    Opened& opened = *std::get<std::shared_ptr<Opened>>(result);
    forget_search();
    // The data shown until now stay until the Match panel has let go of them too.
    const std::shared_ptr<const rf::PortData> shown = data_;
    auto network = std::exchange(network_, std::move(opened.network));
    data_ = std::move(opened.data);
    path_ = path;
    add_recent(path);
    {
        const QSignalBlocker block(port_);
        port_->setRange(1, network_->ports);
        port_->setValue(port);
        port_->setEnabled(network_->ports > 1);
    }
    take_port(port, std::move(opened.prepared));
    let_go(std::move(network), shown);
    emit loaded();
}

FitWindow::Prepared FitWindow::prepare(const rf::PortData& data, const views::MatchAhead& ahead) {
    Prepared prepared;
    prepared.start = start(data);
    if (!prepared.start) {
        return prepared;
    }
    prepared.curve = finite_curve(data);
    if (auto judged = thinned(data, max_judged_samples)) {
        prepared.judged = std::make_shared<const rf::PortData>(std::move(*judged));
    }
    // More cannot be told apart on the charts.
    if (auto chart = chart_samples(data, chart_buckets)) {
        prepared.chart = std::make_shared<const rf::PortData>(std::move(*chart));
    }
    const views::ChosenModel shown =
        views::chosen_model(prepared.start->evaluation, prepared.start->choice);
    prepared.match = views::match_prepared(data, ahead, shown.model, shown.band);
    return prepared;
}

void FitWindow::take_port(int port, std::optional<Prepared> prepared) {
    if (!network_) {
        return;
    }
    if (!data_ || data_->port != port) {
        auto taken = rf::port_data(*network_, port);
        if (auto* text = std::get_if<std::string>(&taken)) {
            show_message(qs(*text));
            return;
        }
        forget_search();
        data_ = std::make_shared<const rf::PortData>(std::get<rf::PortData>(std::move(taken)));
        prepared.reset();
    }
    if (!prepared) {
        prepared = prepare(*data_, match_->ahead());
    }
    if (!prepared->start) {
        show_message(qs(data_->source) + QStringLiteral(": no samples at port ") +
                     QString::number(port));
        return;
    }
    Start& first = *prepared->start;
    z0_ohm_ = data_->reference_ohm;
    let_go(std::exchange(curve_, std::move(prepared->curve)),
           std::exchange(judged_, std::move(prepared->judged)),
           std::exchange(drawn_, std::move(prepared->chart)),
           std::exchange(zoomed_drawn_, nullptr));
    setWindowTitle(QFileInfo(path_).fileName() + QStringLiteral(", port ") + QString::number(port) +
                   QStringLiteral(" \u2014 Veltrane measured data"));
    f_ghz_ = first.f_ghz;
    rl_ohm_ = first.rl_ohm;
    chosen_ = first.choice;
    evaluation_ = std::move(first.evaluation);
    best_button_->setEnabled(!searching_);
    const views::ChosenModel shown = views::chosen_model(evaluation_, chosen_);
    match_->set_data(data_.get(), QFileInfo(path_).fileName(), shown.model, shown.band,
                     std::move(prepared->match));
    show_evaluation();
    start_quick_fit();
}

} // namespace veltrane::fit
