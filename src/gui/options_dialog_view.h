// The options dialog in Qt 6, bound to the toolkit-free OptionsDialog logic: three folders with
// their browse buttons and "do not make" boxes, "Configuração padrão", "OK", "Cancelar",
// "Aplicar". The folder browse is Qt's folder picker.
#pragma once

#include <QDialog>
#include <array>
#include <functional>

#include "config/options_dialog.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace quarvel::gui {

class OptionsDialogView : public QDialog, public FolderBrowser {
  Q_OBJECT

 public:
  OptionsDialogView(OptionsDialog& logic, QWidget* parent);

  // The picker behind "Procurar"; this dialog's own (Qt's folder picker) unless replaced.
  void SetFolderBrowser(FolderBrowser* browser) { browser_ = browser; }
  // Replaces the modal error box (tests).
  void SetMessageBoxHandler(std::function<void(const QString&)> handler) {
    message_box_ = std::move(handler);
  }

  std::optional<std::string> BrowseForFolder(const std::string& prompt,
                                             const std::string& start_folder) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Puts the logic's state into the widgets without raising their change signals.
  void Refresh();
  // Runs a button's action; a settings file that cannot be written is reported, and false
  // returned.
  bool Run(const std::function<void()>& action);

  OptionsDialog& logic_;
  FolderBrowser* browser_ = this;
  std::function<void(const QString&)> message_box_;
  std::array<QLineEdit*, 3> edits_{};
  std::array<QCheckBox*, 3> checks_{};
  QPushButton* apply_ = nullptr;
};

}  // namespace quarvel::gui
