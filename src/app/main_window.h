// The main window's logic, free of any toolkit: the four buttons and their states, switching
// HotSync support on and off, the conduit check on every activation, the close refusal while
// support is on, the logo link, the tray and the minimise rule. A view forwards the user's
// actions here and reflects the states through WindowShell.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/app_paths.h"
#include "app/app_state.h"
#include "app/log.h"
#include "app/session_handler.h"
#include "app/sync_control.h"
#include "app/window_shell.h"

namespace quarvel {

inline constexpr const char* kApplicationTitle = "Quarvel PC";
inline constexpr const char* kWindowTitleLine = "   Módulo de Suporte à Comunicação de Dados via HotSync®";
inline constexpr const char* kMakerUrl = "https://www.quarvel.example/";
// The registry file of the conduit registrations, in the HotSync root.
inline constexpr const char* kRegistryFileName = "hotsync.reg";

// The four parts of a file version.
struct FileVersion {
  uint16_t major = 0;
  uint16_t minor = 0;
  uint16_t release = 0;
  uint16_t build = 0;
};

// "major.minor" when release and build are both 0, else all four parts joined by ".".
std::string VersionText(const FileVersion& version);

struct ButtonStates {
  bool configure = false;  // "Configurar"
  bool activate = false;   // "Ativar"
  bool deactivate = false; // "Desativar"
  bool close = false;      // "Fechar"
  bool operator==(const ButtonStates&) const = default;
};

enum class TrayButton { kLeft, kRight, kMiddle };

class MainWindow {
 public:
  using TableCreator = std::function<void(const std::string& folder)>;

  // `create_handheld_tables` makes the count and product templates in a folder when missing.
  MainWindow(AppState& state, Log& log, SyncControl& control, SessionHandler& session,
             WindowShell& shell, TableCreator create_handheld_tables, HotSyncRootRule root_rule,
             FileVersion version);

  // Window creation: tray icon, caption, support off, log title, button states.
  void Create();
  // The window became the program's active window: the conduit check, then settings and
  // "Ativar" when it passes.
  void Activate();

  void ClickConfigure();
  void ClickActivate();
  void ClickDeactivate();
  // "Fechar" and the window's own close: refused with a beep while support is on; otherwise
  // the tray icon goes and the program ends. Returns whether the window may close.
  bool RequestClose();
  void ClickLogo();
  void Minimised();
  void TrayClick(TrayButton button);

  const ButtonStates& Buttons() const { return buttons_; }
  const std::string& Caption() const { return caption_; }
  // Failures that escaped an event handler and went to the general error reporting.
  int EscapedErrors() const { return escaped_errors_; }

 private:
  void FormActivate();
  void SwitchOn();
  void SetButtons(const ButtonStates& states);
  // Runs an event handler; an escaping failure goes to the toolkit's error reporting.
  void Guarded(const std::function<void()>& handler);

  AppState& state_;
  Log& log_;
  SyncControl& control_;
  SessionHandler& session_;
  WindowShell& shell_;
  TableCreator create_handheld_tables_;
  HotSyncRootRule root_rule_;
  FileVersion version_;
  ButtonStates buttons_;
  std::string caption_;
  int escaped_errors_ = 0;
};

}  // namespace quarvel
