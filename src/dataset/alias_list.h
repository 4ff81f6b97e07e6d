// The process-wide alias list: alias names with their folders. It starts with the entry
// "Default Directory" (the program's folder) followed by the entries of section "Alias" of
// tables.cfg in the configuration folder (QUARVEL_CONFIG_DIR, else /etc/quarvel-pc). The dataset
// adds an entry for every folder it is pointed at by name.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel {

class AliasList {
 public:
  static constexpr std::string_view kDefaultDirectory = "Default Directory";

  struct Entry {
    std::string name;
    std::string folder;
    bool configured = false;  // Default Directory or from tables.cfg
  };

  // The one list, loaded on first use.
  static AliasList& Instance();

  // Empties the list and loads it again (the configuration folder is looked up anew).
  void Reload();

  // The folder "Default Directory" stands for: the executable's folder unless set.
  const std::string& default_directory() const { return default_directory_; }
  void SetDefaultDirectory(std::string folder);

  // The folder of an alias: an entry of exactly that name, else a configured alias whose name
  // differs only in ASCII case. Folder entries the dataset added match their exact text only,
  // since folder names on this system are case-sensitive.
  std::optional<std::string> Find(std::string_view name) const;
  // Adds an entry (kept after any of the same name, which wins).
  void Add(std::string name, std::string folder);
  const std::vector<Entry>& entries() const { return entries_; }

  // $QUARVEL_CONFIG_DIR/tables.cfg, else /etc/quarvel-pc/tables.cfg.
  static std::string ConfigFile();
  // The folder of the running executable (no trailing separator).
  static std::string ExecutableFolder();

 private:
  AliasList();

  std::string default_directory_;
  std::vector<Entry> entries_;
};

}  // namespace quarvel
