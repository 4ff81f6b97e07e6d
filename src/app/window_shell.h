// WindowShell: what the main window's logic asks of the toolkit that shows it (caption, buttons,
// tray icon, beep, dialogs, the web browser, hiding and showing, ending the program).
#pragma once

#include <string>

namespace quarvel {

class WindowShell {
 public:
  virtual ~WindowShell() = default;
  virtual void SetCaption(const std::string& caption) = 0;
  // The button states changed: re-read them from the logic.
  virtual void ButtonsChanged() = 0;
  virtual void AddTrayIcon() = 0;
  virtual void RemoveTrayIcon() = 0;
  virtual void Beep() = 0;
  // Shows the options dialog modally; returns when it is closed.
  virtual void ShowOptionsDialog() = 0;
  virtual void OpenUrl(const std::string& url) = 0;
  virtual bool WindowVisible() const = 0;
  virtual void ShowWindow() = 0;
  virtual void HideWindow() = 0;
  // An error message box with one OK button; returns when it is closed.
  virtual void ShowErrorBox(const std::string& text) = 0;
  // The toolkit's general error reporting, for a failure that escaped an event handler.
  virtual void ReportException(const std::string& text) = 0;
  // Ends the program (after pending events are handled once).
  virtual void Terminate() = 0;
};

}  // namespace quarvel
