// Folders of the program on this platform: the program folder (home of the settings file and
// templates), the HotSync root and the temporary folder.
#pragma once

#include <optional>
#include <string>

#include "platform/paths.h"

namespace quarvel {

using dbase::platform::FileNamePart;
using dbase::platform::JoinPath;
using dbase::platform::WithoutTrailingSeparator;

// The temporary folder with a trailing separator: TMPDIR when set and not empty, else "/tmp/".
std::string TempFolder();

// The settings file of a program folder.
std::string IniFileNameFor(const std::string& program_folder);

// Where the program folder comes from, most specific first.
struct ProgramFolderSources {
  std::optional<std::string> home_option;  // --home DIR
  std::optional<std::string> home_env;     // QUARVEL_HOME
  std::string executable_folder;           // folder of the running executable
  std::string user_home;                   // HOME
};
// --home, else QUARVEL_HOME, else the executable's folder when writable, else
// ~/.local/share/quarvel-pc (created when missing). Returned without trailing separator.
std::string ResolveProgramFolder(const ProgramFolderSources& sources);

// The HotSync root: the explicit root when given; else `user_home`/Pilot when it exists, else
// `user_home`/Palm when it exists, else the temporary folder without its trailing separator.
// Evaluated anew at each session start, since those folders may come and go.
struct HotSyncRootRule {
  std::optional<std::string> explicit_root;  // --hotsync-root DIR
  std::string user_home;
  std::string Find() const;
};

// The folder of the running executable (from /proc/self/exe), or "." when unknown.
std::string ExecutableFolder();
// HOME, or "." when unset.
std::string UserHome();

}  // namespace quarvel
