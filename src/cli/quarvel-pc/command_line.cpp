// The application configuration from the command line, the environment and the build.
#include "command_line.h"

#include <cstdlib>

namespace quarvel::cli {

FileVersion ProgramVersion() {
  return {QUARVEL_VERSION_MAJOR, QUARVEL_VERSION_MINOR, QUARVEL_VERSION_PATCH,
          QUARVEL_VERSION_TWEAK};
}

ApplicationConfig MakeConfig(const CommandLine& options) {
  ProgramFolderSources sources;
  sources.home_option = options.home;
  if (const char* env = std::getenv("QUARVEL_HOME")) sources.home_env = std::string(env);
  sources.executable_folder = ExecutableFolder();
  sources.user_home = UserHome();

  ApplicationConfig config;
  config.program_folder = ResolveProgramFolder(sources);
  config.root_rule.explicit_root = options.hotsync_root;
  config.root_rule.user_home = UserHome();
  config.version = ProgramVersion();
  return config;
}

}  // namespace quarvel::cli
