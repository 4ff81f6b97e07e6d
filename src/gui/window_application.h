// quarvel-pc with its window: single instance, the main window with its tray icon, and
// optionally one simulated HotSync session (--sync) once support is on.
#pragma once

#include <optional>
#include <string>

#include "app/application.h"

namespace quarvel::gui {

// Runs the Qt application. With `sync_folder` a session runs after start-up; then support is
// switched off and the program ends, unless `keep_open` leaves the window up.
int RunWindowApplication(int argc, char** argv, const ApplicationConfig& config,
                         const std::optional<std::string>& sync_folder, bool keep_open);

}  // namespace quarvel::gui
