// The error message box of both windows: a caption, the message and one OK button. Built in one
// place so that the windows and the tests that measure it show the same box.
#pragma once

#include <QMessageBox>
#include <memory>

namespace quarvel::gui {

std::unique_ptr<QMessageBox> MakeErrorBox(QWidget* parent, const QString& caption,
                                          const QString& text);

// Shows the box modally; returns when it is closed.
void ShowErrorBox(QWidget* parent, const QString& caption, const QString& text);

}  // namespace quarvel::gui
