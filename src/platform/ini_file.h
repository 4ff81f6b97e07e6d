// The INI profile functions over one file, the program's one reader and writer of INI text (the
// settings file, a handheld's handheld.ini, the engine's alias file tables.cfg). The rules:
// - lines end at "\r\n", "\n" or a lone "\r"; a rewrite keeps the file's first line break;
// - a line starting with ";" or "#" (after blanks and tabs) is a comment;
// - "[name]" opens a section; sections and keys match without regard to case (Windows-1252);
//   a section named twice is one section read in file order, so the first of a key wins;
// - "key=value": key and value trimmed of blanks and tabs, one pair of enclosing quotes dropped
//   from the value; a line without "=" or with an empty key is no entry;
// - writing changes only the lines concerned and keeps every other line.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dbase::platform {

// An INI file that cannot be written.
class IniWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using IniEntries = std::vector<std::pair<std::string, std::string>>;

class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}

  const std::string& Path() const { return path_; }

  // The value of `key` in `section`; `default_value` when the file, the section or the key is
  // missing.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& default_value) const;

  // Every entry of `section`, in file order; empty when the file or the section is missing.
  IniEntries ReadSection(std::string_view section) const;

  // Sets `key` in `section` to `value`: an existing line of that key is rewritten in place (later
  // lines of the same key go), a new key goes after the last entry of its section, a new section
  // at the end of the file. Creates the file when missing. Throws IniWriteError when the file
  // cannot be written or a part holds a line break.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);

  // Removes the line(s) of `key` in `section`. Nothing is written when the key is absent.
  void DeleteKey(const std::string& section, const std::string& key);

 private:
  std::string path_;
};

}  // namespace dbase::platform
