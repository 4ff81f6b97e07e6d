// The error message box of both windows.
#include "gui/error_box.h"

namespace quarvel::gui {

std::unique_ptr<QMessageBox> MakeErrorBox(QWidget* parent, const QString& caption,
                                          const QString& text) {
  return std::make_unique<QMessageBox>(QMessageBox::Critical, caption, text, QMessageBox::Ok,
                                       parent);
}

void ShowErrorBox(QWidget* parent, const QString& caption, const QString& text) {
  MakeErrorBox(parent, caption, text)->exec();
}

}  // namespace quarvel::gui
