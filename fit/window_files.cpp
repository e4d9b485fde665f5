// The measured-data window: files in (open, drop, recent files, reading on a worker thread) and the
// settings it keeps.

#include "fit/fit_window.h"
#include "fit/window_common.h"

#include "fit/match_panel.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>

namespace veltrane::fit {

void FitWindow::restore_settings() {
    QSettings settings;
    restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray());
    split_->restoreState(settings.value(QStringLiteral("split")).toByteArray());
    lower_split_->restoreState(settings.value(QStringLiteral("lower_split")).toByteArray());
    recent_ = settings.value(QStringLiteral("recent")).toStringList();
    last_folder_ = settings.value(QStringLiteral("folder")).toString();
    if (settings.value(QStringLiteral("geometry")).isNull()) {
        resize(1200, 820);
    }
    fill_recent_menu();
    match_->restore_settings(settings);
    show_match_->setChecked(settings.value(QStringLiteral("match_shown"), false).toBool());
}

void FitWindow::save_settings() {
    QSettings settings;
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("split"), split_->saveState());
    settings.setValue(QStringLiteral("lower_split"), lower_split_->saveState());
    settings.setValue(QStringLiteral("recent"), recent_);
    settings.setValue(QStringLiteral("folder"), last_folder_);
    match_->save_settings(settings);
    settings.setValue(QStringLiteral("match_shown"), show_match_->isChecked());
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
    QSettings().setValue(QStringLiteral("recent"), recent_);
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

void FitWindow::open_file(const QString& path, int port) {
    if (reader_.isRunning()) {
        reader_.waitForFinished(); // one read at a time; the newer request wins
    }
    reading_path_ = path;
    reading_port_ = port;
    statusBar()->showMessage(QStringLiteral("Reading ") + path + QStringLiteral("\u2026"));
    const std::string name = file_name(path);
    const std::string legend = QFileInfo(path).fileName().toStdString();
    const auto read_and_take = [name, legend, port]() -> ReadResult {
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
        auto data = std::get<rf::PortData>(std::move(taken));
        auto first = start(data);
        if (!first) {
            return name + ": no samples";
        }
        return std::make_shared<Opened>(
            Opened{std::move(network), std::move(data), std::move(first)});
    };
    reader_.setFuture(QtConcurrent::run([name, read_and_take]() -> ReadResult {
        // Nothing may leave a worker thread: an exception there would end the program.
        try {
            return read_and_take();
        } catch (const std::bad_alloc&) {
            return "Not enough memory to read " + name;
        } catch (const std::exception& error) {
            return "Cannot read " + name + ": " + error.what();
        } catch (...) {
            return "Cannot read " + name;
        }
    }));
}

void FitWindow::file_read(const QString& path, int port) {
    statusBar()->clearMessage();
    ReadResult result = reader_.result();
    if (auto* text = std::get_if<std::string>(&result)) {
        show_message(qs(*text));
        emit refused();
        return;
    }
    Opened& opened = *std::get<std::shared_ptr<Opened>>(result);
    forget_search();
    network_ = std::move(opened.network);
    data_ = std::move(opened.data);
    auto first = std::move(opened.start);
    path_ = path;
    add_recent(path);
    {
        const QSignalBlocker block(port_);
        port_->setRange(1, network_->ports);
        port_->setValue(port);
        port_->setEnabled(network_->ports > 1);
    }
    take_port(port, std::move(first));
    emit loaded();
}

void FitWindow::take_port(int port, std::optional<Start> first) {
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
        data_ = std::get<rf::PortData>(std::move(taken));
    }
    if (!first) {
        first = start(*data_);
    }
    if (!first) {
        show_message(qs(data_->source) + QStringLiteral(": no samples at port ") +
                     QString::number(port));
        return;
    }
    z0_ohm_ = data_->reference_ohm;
    curve_ = finite_curve(*data_);
    setWindowTitle(QFileInfo(path_).fileName() + QStringLiteral(", port ") + QString::number(port) +
                   QStringLiteral(" \u2014 Veltrane measured data"));
    // The chart draws at most max_drawn_samples of the data: more cannot be told apart on it.
    drawn_ = thinned(*data_, max_drawn_samples);
    f_ghz_ = first->f_ghz;
    rl_ohm_ = first->rl_ohm;
    chosen_ = first->choice;
    evaluation_ = std::move(first->evaluation);
    best_button_->setEnabled(!searching_);
    match_->set_data(&*data_, QFileInfo(path_).fileName());
    show_evaluation();
    start_quick_fit();
}

} // namespace veltrane::fit
