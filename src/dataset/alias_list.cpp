// The alias list and the location of tables.cfg.
#include "dataset/alias_list.h"

#include <unistd.h>

#include <cstdlib>

#include "dataset/field_defs.h"
#include "platform/ini_file.h"

namespace quarvel {

AliasList& AliasList::Instance() {
  static AliasList list;
  return list;
}

AliasList::AliasList() : default_directory_(ExecutableFolder()) { Reload(); }

std::string AliasList::ExecutableFolder() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<size_t>(n));
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string AliasList::ConfigFile() {
  const char* dir = std::getenv("QUARVEL_CONFIG_DIR");
  std::string folder = dir && *dir ? dir : "/etc/quarvel-pc";
  if (folder.back() != '/') folder += '/';
  return folder + "tables.cfg";
}

void AliasList::Reload() {
  entries_.clear();
  entries_.push_back(Entry{std::string(kDefaultDirectory), default_directory_, true});
  for (auto& [name, folder] : dbase::platform::IniFile(ConfigFile()).ReadSection("Alias")) {
    entries_.push_back(Entry{name, folder, true});
  }
}

void AliasList::SetDefaultDirectory(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  default_directory_ = folder;
  for (Entry& e : entries_) {
    if (e.name == kDefaultDirectory) e.folder = folder;
  }
}

std::optional<std::string> AliasList::Find(std::string_view name) const {
  for (const Entry& e : entries_) {
    if (e.name == name) return e.folder;
  }
  for (const Entry& e : entries_) {
    if (e.configured && SameName(e.name, name)) return e.folder;
  }
  return std::nullopt;
}

void AliasList::Add(std::string name, std::string folder) { entries_.push_back(Entry{std::move(name), std::move(folder), false}); }

}  // namespace quarvel
