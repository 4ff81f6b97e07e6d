// The main window in Qt 6: the JPEG banner, the read-only log, the link, the four buttons and
// the tray icon, bound to the toolkit-free MainWindow logic through WindowShell.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "app/application.h"
#include "app/window_shell.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSystemTrayIcon;
class QToolButton;

namespace quarvel::gui {

class OptionsDialogView;

class MainWindowView : public QWidget, public WindowShell {
  Q_OBJECT

 public:
  explicit MainWindowView(const ApplicationConfig& config, QWidget* parent = nullptr);
  ~MainWindowView() override;

  Application& App() { return *app_; }
  OptionsDialogView& OptionsView() { return *options_view_; }

  // A second start asked this instance to come forward.
  void BringForward();

  // Replaces the modal message boxes (tests): called with the text instead of showing a box.
  void SetMessageBoxHandler(std::function<void(const QString&)> handler) {
    message_box_ = std::move(handler);
  }
  // Replaces the modal options dialog (tests): called instead of showing it.
  void SetOptionsDialogHandler(std::function<void()> handler) { options_dialog_ = std::move(handler); }

  // WindowShell
  void SetCaption(const std::string& caption) override;
  void ButtonsChanged() override;
  void AddTrayIcon() override;
  void RemoveTrayIcon() override;
  void Beep() override;
  void ShowOptionsDialog() override;
  void OpenUrl(const std::string& url) override;
  bool WindowVisible() const override;
  void ShowWindow() override;
  void HideWindow() override;
  void ShowErrorBox(const std::string& text) override;
  void ReportException(const std::string& text) override;
  void Terminate() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildWidgets();
  // The log's least size: the text it shows at the stock font, measured in the current font.
  void SizeLogToFont();
  void ShowLog(const std::string* added, bool rebuilt);
  void ShowMessage(const QString& text);

  std::unique_ptr<Application> app_;
  QLabel* banner_ = nullptr;
  QPlainTextEdit* log_view_ = nullptr;
  QLabel* link_ = nullptr;
  QToolButton* configure_ = nullptr;
  QPushButton* activate_ = nullptr;
  QPushButton* deactivate_ = nullptr;
  QPushButton* close_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  OptionsDialogView* options_view_ = nullptr;
  std::function<void(const QString&)> message_box_;
  std::function<void()> options_dialog_;
  bool shown_once_ = false;
  bool terminating_ = false;
};

}  // namespace quarvel::gui
