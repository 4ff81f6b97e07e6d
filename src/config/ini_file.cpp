// INI profile functions: parse the file into lines, find sections and keys without regard to
// case, and write the whole file back through a temporary file so a failure never truncates it.
#include "config/ini_file.h"

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/locale.h"
#include "platform/text_trim.h"

namespace quarvel {
namespace {

struct IniText {
  std::vector<std::string> lines;
  std::string line_break = "\n";
  bool exists = false;
};

IniText Load(const std::string& path) {
  IniText ini;
  std::ifstream in(path, std::ios::binary);
  if (!in) return ini;
  ini.exists = true;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  const auto first_break = text.find('\n');
  if (first_break != std::string::npos && first_break > 0 && text[first_break - 1] == '\r') {
    ini.line_break = "\r\n";
  }
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ini.lines.push_back(std::move(line));
    start = end + 1;
  }
  return ini;
}

void Save(const std::string& path, const IniText& ini) {
  std::string text;
  for (const auto& line : ini.lines) {
    text += line;
    text += ini.line_break;
  }
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
      std::remove(temp.c_str());
      throw SettingsError("Unable to write to " + path);
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    throw SettingsError("Unable to write to " + path);
  }
}

std::string Trim(std::string_view text) { return std::string(dbase::platform::TrimBlanksAndTabs(text)); }

bool SameName(const std::string& a, const std::string& b) {
  return dbase::platform::UpperText(a) == dbase::platform::UpperText(b);
}

// The section name of a "[name]" line.
std::optional<std::string> SectionOf(const std::string& line) {
  const std::string trimmed = Trim(line);
  if (trimmed.size() < 2 || trimmed.front() != '[') return std::nullopt;
  const auto close = trimmed.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(trimmed.substr(1, close - 1));
}

// The key of a "key=value" line; nothing for comments and lines without "=".
std::optional<std::string> KeyOf(const std::string& line) {
  const std::string trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[') return std::nullopt;
  const auto eq = trimmed.find('=');
  if (eq == std::string::npos) return std::nullopt;
  return Trim(trimmed.substr(0, eq));
}

std::string ValueOf(const std::string& line) {
  std::string value = Trim(line.substr(line.find('=') + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

// Where `key` sits: the indexes of its lines, and the last entry line of the first section.
struct KeyLocation {
  std::vector<std::size_t> key_lines;
  std::optional<std::size_t> section_line;  // header of the first matching section
  std::size_t insert_after = 0;             // last non-blank line of that section
};

KeyLocation Locate(const IniText& ini, const std::string& section, const std::string& key) {
  KeyLocation where;
  bool inside = false;
  bool first_section = false;
  for (std::size_t i = 0; i < ini.lines.size(); ++i) {
    const std::string& line = ini.lines[i];
    if (auto name = SectionOf(line)) {
      inside = SameName(*name, section);
      first_section = inside && !where.section_line;
      if (first_section) {
        where.section_line = i;
        where.insert_after = i;
      }
      continue;
    }
    if (!inside) continue;
    if (first_section && !Trim(line).empty()) where.insert_after = i;
    if (auto name = KeyOf(line); name && SameName(*name, key)) where.key_lines.push_back(i);
  }
  return where;
}

}  // namespace

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& default_value) const {
  const IniText ini = Load(path_);
  const KeyLocation where = Locate(ini, section, key);
  if (where.key_lines.empty()) return default_value;
  return ValueOf(ini.lines[where.key_lines.front()]);
}

void IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
  // A line break would split the entry and plant a line of its own in the file.
  for (const std::string* part : {&section, &key, &value}) {
    if (part->find_first_of("\r\n") != std::string::npos) {
      throw SettingsError("Line break in setting [" + section + "] " + key + " of " + path_);
    }
  }
  IniText ini = Load(path_);
  const KeyLocation where = Locate(ini, section, key);
  if (!where.key_lines.empty()) {
    // Rewrite the first line of the key, keeping its spelling; drop later duplicates.
    const std::size_t first = where.key_lines.front();
    ini.lines[first] = *KeyOf(ini.lines[first]) + "=" + value;
    for (auto it = where.key_lines.rbegin(); it != where.key_lines.rend() - 1; ++it) {
      ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(*it));
    }
  } else if (where.section_line) {
    ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(where.insert_after + 1),
                     key + "=" + value);
  } else {
    ini.lines.push_back("[" + section + "]");
    ini.lines.push_back(key + "=" + value);
  }
  Save(path_, ini);
}

void IniFile::DeleteKey(const std::string& section, const std::string& key) {
  IniText ini = Load(path_);
  const KeyLocation where = Locate(ini, section, key);
  if (where.key_lines.empty()) return;
  for (auto it = where.key_lines.rbegin(); it != where.key_lines.rend(); ++it) {
    ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(*it));
  }
  Save(path_, ini);
}

}  // namespace quarvel
