// The main window's event handlers.
#include "app/main_window.h"

#include <exception>

#include "app/conduit_check.h"
#include "config/settings.h"
#include "dbf/errors.h"

namespace quarvel {

std::string VersionText(const FileVersion& version) {
  std::string text = std::to_string(version.major) + "." + std::to_string(version.minor);
  if (version.release != 0 || version.build != 0) {
    text += "." + std::to_string(version.release) + "." + std::to_string(version.build);
  }
  return text;
}

MainWindow::MainWindow(AppState& state, Log& log, SyncControl& control, SessionHandler& session,
                       WindowShell& shell, TableCreator create_handheld_tables,
                       HotSyncRootRule root_rule, FileVersion version)
    : state_(state),
      log_(log),
      control_(control),
      session_(session),
      shell_(shell),
      create_handheld_tables_(std::move(create_handheld_tables)),
      root_rule_(std::move(root_rule)),
      version_(version) {
  control_.SetStatusHandler([this](int32_t status_code, int32_t param) {
    Guarded([&] { session_.OnHotSyncStatus(status_code, param); });
  });
}

void MainWindow::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ++escaped_errors_;
    shell_.ReportException(dbase::DescribeError(error));
  }
}

void MainWindow::SetButtons(const ButtonStates& states) {
  buttons_ = states;
  shell_.ButtonsChanged();
}

void MainWindow::Create() {
  shell_.AddTrayIcon();
  caption_ = std::string(kApplicationTitle) + " versão " + VersionText(version_);
  shell_.SetCaption(caption_);
  control_.SetEnabled(false);
  log_.Clear();
  log_.AddLine(kWindowTitleLine);
  log_.AddLine("");
  SetButtons({.configure = true, .activate = true, .deactivate = false, .close = true});
}

void MainWindow::Activate() {
  Guarded([this] { FormActivate(); });
}

void MainWindow::FormActivate() {
  const std::string registry_file = JoinPath(root_rule_.Find(), kRegistryFileName);
  const bool found =
      ConduitCheck(registry_file, log_, [this](const std::string& text) { shell_.ShowErrorBox(text); });
  if (found) {
    state_.settings = ReadIni(state_.ini_file_name, state_.program_folder);
    SwitchOn();
  } else {
    ButtonStates states = buttons_;
    states.activate = false;
    states.deactivate = false;
    states.close = true;
    SetButtons(states);
  }
}

void MainWindow::ClickActivate() {
  Guarded([this] { SwitchOn(); });
}

void MainWindow::SwitchOn() {
  create_handheld_tables_(state_.program_folder);
  if (state_.settings.dbf_folder != state_.program_folder) {
    create_handheld_tables_(state_.settings.dbf_folder);
  }
  SetButtons({.configure = false, .activate = false, .deactivate = true, .close = false});
  control_.SetEnabled(true);
  log_.AddLine("> Suporte ativado.");
  log_.AddLine("> Aguardando o acionamento do HotSync® ...");
  log_.AddLine("");
}

void MainWindow::ClickDeactivate() {
  Guarded([this] {
    control_.SetEnabled(false);
    log_.AddLine("");
    log_.AddLine("> Suporte HotSync® desativado.");
    log_.AddLine("");
    log_.AddLine("");
    log_.AddLine("");
    SetButtons({.configure = true, .activate = true, .deactivate = false, .close = true});
  });
}

void MainWindow::ClickConfigure() {
  Guarded([this] { shell_.ShowOptionsDialog(); });
  // Back from the dialog, the main window is the active window again.
  Activate();
}

bool MainWindow::RequestClose() {
  if (control_.Enabled()) {
    shell_.Beep();
    return false;
  }
  shell_.RemoveTrayIcon();
  shell_.Terminate();
  return true;
}

void MainWindow::ClickLogo() {
  if (!control_.Enabled()) Minimised();
  shell_.OpenUrl(kMakerUrl);
}

void MainWindow::Minimised() { shell_.HideWindow(); }

void MainWindow::TrayClick(TrayButton button) {
  if (button == TrayButton::kMiddle || shell_.WindowVisible()) return;
  shell_.ShowWindow();
  // Shown again, the window becomes the program's active window.
  Activate();
}

}  // namespace quarvel
