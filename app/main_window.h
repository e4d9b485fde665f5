#pragma once

#include "model/field_set.h"

#include <QWidget>

#include <array>
#include <memory>

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace veltrane::app {

class AboutWindow;

// The calculator window Z_MODEL: input fields, crossover and topology options, result fields,
// the message field and the commands CALCULATE and ABOUT. It is the field set the calculation
// reads and writes.
class MainWindow final : public QWidget, public FieldSet {
    Q_OBJECT

  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    [[nodiscard]] std::string text(Field field) const override;
    void set_text(Field field, std::string_view text) override;
    [[nodiscard]] bool is_selected(Option option) const override;
    void set_message_visible(bool visible) override;

    // The About window once ABOUT has run, else nullptr.
    [[nodiscard]] AboutWindow* about_window() const { return about_.get(); }

  public slots:
    // CALCULATE: runs the calculation on this window and writes the report file.
    void calculate_command();
    // ABOUT: shows the one About window, creating it the first time.
    void about_command();

  private:
    std::array<QLineEdit*, field_count> fields_{};
    std::array<QRadioButton*, option_count> options_{};
    std::unique_ptr<AboutWindow> about_;
};

} // namespace veltrane::app
