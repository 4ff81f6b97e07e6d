// The headless run: the main window's logic with a HeadlessShell, log lines to standard output.
#include "headless.h"

#include <istream>
#include <ostream>

#include "app/headless_shell.h"

namespace quarvel::cli {
namespace {

bool RunOneSession(Application& app, const std::string& folder, std::ostream& err) {
  try {
    app.HotSync().RunSession(folder);
    return true;
  } catch (const HotSyncError& error) {
    err << "quarvel-pc: " << error.what() << '\n';
    return false;
  }
}

}  // namespace

bool StartHeadless(Application& app, std::ostream& out, std::ostream& err) {
  app.AppLog().AddListener([&out](const std::string* added, bool) {
    if (added != nullptr) out << *added << '\n' << std::flush;
  });
  app.Window().Create();
  app.Window().Activate();
  if (app.HotSync().Enabled()) return true;
  err << "quarvel-pc: HotSync support could not be switched on\n";
  return false;
}

int RunHeadless(const ApplicationConfig& config, const std::optional<std::string>& sync_folder,
                std::istream& in, std::ostream& out, std::ostream& err) {
  HeadlessShell shell(&err);
  Application app(config, shell);
  if (!StartHeadless(app, out, err)) return 1;
  MainWindow& window = app.Window();
  bool ok = true;
  if (sync_folder) {
    ok = RunOneSession(app, *sync_folder, err);
  } else {
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) ok = RunOneSession(app, line, err) && ok;
    }
  }
  window.ClickDeactivate();
  window.RequestClose();
  return ok && window.EscapedErrors() == 0 ? 0 : 1;
}

}  // namespace quarvel::cli
