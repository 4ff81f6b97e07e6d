// The process-wide paths and settings that the main window, the session handler and the
// exchange operations share. Written on the user-interface thread only.
#pragma once

#include <string>

#include "config/settings.h"

namespace quarvel {

struct AppState {
  std::string program_folder;  // no trailing separator
  std::string ini_file_name;   // program_folder + "/quarvel-pc.ini"
  Settings settings;           // loaded by ReadIni
  std::string user_folder;     // the HotSync user's table folder, set at each session start
  bool counts_received = false;  // the count table arrived in the running session
};

}  // namespace quarvel
