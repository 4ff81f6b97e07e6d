// The options of quarvel-pc and the application configuration they give.
#pragma once

#include <optional>
#include <string>

#include "app/application.h"

namespace quarvel::cli {

struct CommandLine {
  std::optional<std::string> home;           // --home DIR
  std::optional<std::string> hotsync_root;   // --hotsync-root DIR
  bool headless = false;                     // --headless
  std::optional<std::string> sync;           // --sync HANDHELD_DIR
  bool demo = false;                         // --demo
  bool keep_open = false;                    // --keep-open (window with --sync)
};

// The program's version as the four parts of the project version.
FileVersion ProgramVersion();

// Paths and version for the application from the options and the environment.
ApplicationConfig MakeConfig(const CommandLine& options);

}  // namespace quarvel::cli
