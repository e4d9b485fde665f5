#pragma once

// What the files of the Match panel share: the view of a picture, making and reading a field.

#include "format/text_number.h"
#include "rf/picture.h"

#include <QLineEdit>
#include <QSize>
#include <QString>
#include <QWidget>

#include <optional>
#include <string>

class QPaintEvent;

namespace veltrane::fit {

// A display list drawn as large as fits: the schematic and the yield's histogram. A readable
// view is never smaller than shows the picture's smallest text at the font's size (a long
// ladder's schematic then scrolls rather than shrinks).
class PictureView final : public QWidget {
  public:
    PictureView(const rf::Picture* picture, QSize hint, bool readable = false);
    [[nodiscard]] QSize sizeHint() const override { return hint_; }
    // Call when the picture has changed.
    void refresh();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const rf::Picture* picture_;
    QSize hint_;
    bool readable_ = false;
};

// A field named for the tests, with its accessible name and tip.
inline QLineEdit* line_edit(const char* name, const QString& accessible, const QString& tip) {
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(name));
    edit->setAccessibleName(accessible);
    edit->setToolTip(tip);
    return edit;
}

// The number in a field; nothing when it is empty.
inline std::optional<double> field_number(const QLineEdit* edit) {
    const std::string text = edit->text().trimmed().toStdString();
    if (text.empty()) {
        return std::nullopt;
    }
    return text_to_number(text);
}

} // namespace veltrane::fit
