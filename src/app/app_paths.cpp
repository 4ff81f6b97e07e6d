// Program folder, HotSync root and temporary folder resolution.
#include "app/app_paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace quarvel {
namespace {

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

std::string TempFolder() {
  std::string tmp = Env("TMPDIR");
  if (tmp.empty()) tmp = "/tmp";
  return WithoutTrailingSeparator(tmp) + (tmp == "/" ? "" : "/");
}

std::string IniFileNameFor(const std::string& program_folder) {
  return JoinPath(program_folder, "quarvel-pc.ini");
}

std::string ResolveProgramFolder(const ProgramFolderSources& sources) {
  if (sources.home_option && !sources.home_option->empty()) {
    return WithoutTrailingSeparator(*sources.home_option);
  }
  if (sources.home_env && !sources.home_env->empty()) {
    return WithoutTrailingSeparator(*sources.home_env);
  }
  if (!sources.executable_folder.empty() &&
      access(sources.executable_folder.c_str(), W_OK) == 0) {
    return WithoutTrailingSeparator(sources.executable_folder);
  }
  const std::string fallback = JoinPath(sources.user_home, ".local/share/quarvel-pc");
  std::error_code ec;
  std::filesystem::create_directories(fallback, ec);
  return fallback;
}

std::string HotSyncRootRule::Find() const {
  if (explicit_root && !explicit_root->empty()) return WithoutTrailingSeparator(*explicit_root);
  const std::string pilot = JoinPath(user_home, "Pilot");
  if (IsFolder(pilot)) return pilot;
  const std::string palm = JoinPath(user_home, "Palm");
  if (IsFolder(palm)) return palm;
  return WithoutTrailingSeparator(TempFolder());
}

std::string ExecutableFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  return exe.parent_path().string();
}

std::string UserHome() {
  const std::string home = Env("HOME");
  return home.empty() ? "." : home;
}

}  // namespace quarvel
