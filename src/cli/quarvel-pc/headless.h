// quarvel-pc without a window: start-up as usual, then HotSync sessions with handheld folders
// (the one of --sync, or one per line of standard input), every log line on standard output.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "app/application.h"

namespace quarvel::cli {

// Puts every log line on `out`, then creates and activates the main window's logic. False, with
// a message on `err`, when HotSync support could not be switched on.
bool StartHeadless(Application& app, std::ostream& out, std::ostream& err);

// Returns the exit status: 0 unless support could not be switched on, a handheld folder was
// unusable or a failure escaped an event handler.
int RunHeadless(const ApplicationConfig& config, const std::optional<std::string>& sync_folder,
                std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace quarvel::cli
