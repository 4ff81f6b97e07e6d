// The INI profile functions over one settings file: sections and keys match without regard to
// case, values are trimmed, writing changes only the line concerned and keeps every other line.
#pragma once

#include <stdexcept>
#include <string>

namespace quarvel {

// A settings file that cannot be written.
class SettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}

  const std::string& Path() const { return path_; }

  // The value of `key` in `section`, blanks around it removed and one pair of enclosing quotes
  // dropped; `default_value` when the file, the section or the key is missing.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& default_value) const;

  // Sets `key` in `section` to `value`: an existing line of that key is rewritten in place, a new
  // key goes after the last entry of its section, a new section at the end of the file. Creates
  // the file when missing. Throws SettingsError when the file cannot be written.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);

  // Removes the line(s) of `key` in `section`. Nothing is written when the key is absent.
  void DeleteKey(const std::string& section, const std::string& key);

 private:
  std::string path_;
};

}  // namespace quarvel
