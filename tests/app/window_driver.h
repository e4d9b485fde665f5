#pragma once

// Drives the calculator window as a user does: real key presses into the fields, mouse clicks
// on options and commands. Each test works in a temporary current directory.

#include "app/main_window.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace veltrane::test {

inline const QStringList result_names = {"Ls_txt", "Cs_txt", "Lp_txt", "Cp_txt", "Q1_txt",
                                         "Q2_txt", "Q0_txt", "FL_txt", "FH_txt", "F0_txt"};

// The road of one calculation: the default texts with RL 2.0, F1 Inductive, F2 Capacitive,
// Parallel/Series.
inline const QStringList road_results = {"0.159", "79.711", "0.164",   "74.513",  "1.000",
                                         "0.905", "1.347",  "1000.00", "2067.97", "1438.04"};

class WindowDriver {
  public:
    WindowDriver() : window_(std::make_unique<app::MainWindow>()) {
        window_->show();
        exposed_ = QTest::qWaitForWindowExposed(window_.get(), 5000);
        window_->activateWindow();
        active_ = QTest::qWaitForWindowActive(window_.get(), 5000);
    }

    [[nodiscard]] bool ready() const { return exposed_ && active_; }
    [[nodiscard]] app::MainWindow& window() { return *window_; }

    [[nodiscard]] QLineEdit* field(const QString& name) const {
        return window_->findChild<QLineEdit*>(name);
    }
    [[nodiscard]] QRadioButton* option(const QString& name) const {
        return window_->findChild<QRadioButton*>(name);
    }
    [[nodiscard]] QPushButton* command(const QString& name) const {
        return window_->findChild<QPushButton*>(name);
    }

    // Clicks into the field, selects all, deletes it and types `text`.
    void type(const QString& name, const QString& text) {
        QLineEdit* edit = field(name);
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    void click_option(const QString& name) { QTest::mouseClick(option(name), Qt::LeftButton); }
    void calculate() { QTest::mouseClick(command(QStringLiteral("Calc")), Qt::LeftButton); }
    void about() { QTest::mouseClick(command(QStringLiteral("AboutModel")), Qt::LeftButton); }

    [[nodiscard]] QStringList results() const {
        QStringList texts;
        for (const QString& name : result_names) {
            texts << field(name)->text();
        }
        return texts;
    }

    [[nodiscard]] QLineEdit* message() const { return field(QStringLiteral("model_text")); }

    // Sets up and runs the road calculation.
    void run_road() {
        type(QStringLiteral("RL_txt"), QStringLiteral("2.0"));
        click_option(QStringLiteral("F1_ind"));
        click_option(QStringLiteral("F2_cap"));
        click_option(QStringLiteral("ParSer"));
        calculate();
    }

  private:
    std::unique_ptr<app::MainWindow> window_;
    bool exposed_ = false;
    bool active_ = false;
};

// Makes a fresh temporary directory the current one for the lifetime of the object.
class TemporaryWorkingDirectory {
  public:
    TemporaryWorkingDirectory() : previous_(QDir::currentPath()) {
        QDir::setCurrent(directory_.path());
    }
    ~TemporaryWorkingDirectory() { QDir::setCurrent(previous_); }
    TemporaryWorkingDirectory(const TemporaryWorkingDirectory&) = delete;
    TemporaryWorkingDirectory& operator=(const TemporaryWorkingDirectory&) = delete;

    [[nodiscard]] bool valid() const { return directory_.isValid(); }
    [[nodiscard]] QString path() const { return directory_.path(); }

  private:
    QString previous_;
    QTemporaryDir directory_;
};

// What each test function of the window tests starts from: a fresh window whose current folder
// is a temporary one, so that Model.prt lands there. Opened in init(), closed in cleanup().
class WindowUnderTest {
  public:
    // Opens the folder and the window; false when either could not be had.
    [[nodiscard]] bool open() {
        directory_ = std::make_unique<TemporaryWorkingDirectory>();
        if (!directory_->valid()) {
            return false;
        }
        driver_ = std::make_unique<WindowDriver>();
        return driver_->ready();
    }
    void close() {
        driver_.reset();
        directory_.reset();
    }
    [[nodiscard]] WindowDriver* operator->() const { return driver_.get(); }
    [[nodiscard]] WindowDriver& operator*() const { return *driver_; }
    [[nodiscard]] const TemporaryWorkingDirectory& directory() const { return *directory_; }

  private:
    std::unique_ptr<TemporaryWorkingDirectory> directory_;
    std::unique_ptr<WindowDriver> driver_;
};

} // namespace veltrane::test
