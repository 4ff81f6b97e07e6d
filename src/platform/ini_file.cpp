// INI profile functions: parse the file into lines, find sections and keys without regard to
// case, and write the whole file back through a temporary file so a failure never truncates it.
#include "platform/ini_file.h"

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/locale.h"
#include "platform/text_trim.h"

namespace dbase::platform {
namespace {

struct IniText {
  std::vector<std::string> lines;
  std::string line_break = "\n";
  bool exists = false;
};

IniText Split(std::string_view text) {
  IniText ini;
  bool break_seen = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    ini.lines.emplace_back(text.substr(start, end - start));
    size_t next = end;
    if (next < text.size()) next += text.compare(next, 2, "\r\n") == 0 ? 2 : 1;
    if (!break_seen && end < text.size()) {
      ini.line_break = std::string(text.substr(end, next - end));
      break_seen = true;
    }
    start = next;
  }
  return ini;
}

IniText Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return IniText{};
  std::ostringstream buffer;
  buffer << in.rdbuf();
  IniText ini = Split(buffer.str());
  ini.exists = true;
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
      throw IniWriteError("Unable to write to " + path);
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    throw IniWriteError("Unable to write to " + path);
  }
}

std::string_view Trim(std::string_view text) { return TrimBlanksAndTabs(text); }

bool SameName(std::string_view a, std::string_view b) { return UpperText(a) == UpperText(b); }

// The section name of a "[name]" line.
std::optional<std::string_view> SectionOf(std::string_view line) {
  const std::string_view trimmed = Trim(line);
  if (trimmed.size() < 2 || trimmed.front() != '[') return std::nullopt;
  const auto close = trimmed.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(trimmed.substr(1, close - 1));
}

// The key of a "key=value" line; nothing for comments, lines without "=" and empty keys.
std::optional<std::string_view> KeyOf(std::string_view line) {
  const std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#' || trimmed.front() == '[') {
    return std::nullopt;
  }
  const auto eq = trimmed.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  const std::string_view key = Trim(trimmed.substr(0, eq));
  if (key.empty()) return std::nullopt;
  return key;
}

std::string ValueOf(std::string_view line) {
  std::string_view value = Trim(line.substr(line.find('=') + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

// Calls `entry(line index, key)` for every entry of the sections named `section`, in file order.
template <class Entry>
void ForEachEntry(const std::vector<std::string>& lines, std::string_view section, Entry entry) {
  bool inside = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (auto name = SectionOf(lines[i])) {
      inside = SameName(*name, section);
      continue;
    }
    if (!inside) continue;
    if (auto key = KeyOf(lines[i])) entry(i, *key);
  }
}

// Where `key` sits: the indexes of its lines, and the last entry line of the first section.
struct KeyLocation {
  std::vector<size_t> key_lines;
  std::optional<size_t> section_line;  // header of the first matching section
  size_t insert_after = 0;             // last non-blank line of that section
};

KeyLocation Locate(const IniText& ini, const std::string& section, const std::string& key) {
  KeyLocation where;
  ForEachEntry(ini.lines, section, [&](size_t i, std::string_view name) {
    if (SameName(name, key)) where.key_lines.push_back(i);
  });
  bool inside = false;
  for (size_t i = 0; i < ini.lines.size(); ++i) {
    const std::string& line = ini.lines[i];
    if (auto name = SectionOf(line)) {
      if (inside) break;
      inside = SameName(*name, section);
      if (inside) {
        where.section_line = i;
        where.insert_after = i;
      }
      continue;
    }
    if (inside && !Trim(line).empty()) where.insert_after = i;
  }
  return where;
}

IniEntries EntriesOf(const std::vector<std::string>& lines, std::string_view section) {
  IniEntries entries;
  ForEachEntry(lines, section, [&](size_t i, std::string_view key) {
    entries.emplace_back(std::string(key), ValueOf(lines[i]));
  });
  return entries;
}

}  // namespace

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& default_value) const {
  const IniText ini = Load(path_);
  const KeyLocation where = Locate(ini, section, key);
  if (where.key_lines.empty()) return default_value;
  return ValueOf(ini.lines[where.key_lines.front()]);
}

IniEntries IniFile::ReadSection(std::string_view section) const { return EntriesOf(Load(path_).lines, section); }

void IniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  // A line break would split the entry and plant a line of its own in the file.
  for (const std::string* part : {&section, &key, &value}) {
    if (part->find_first_of("\r\n") != std::string::npos) {
      throw IniWriteError("Line break in setting [" + section + "] " + key + " of " + path_);
    }
  }
  IniText ini = Load(path_);
  const KeyLocation where = Locate(ini, section, key);
  if (!where.key_lines.empty()) {
    // Rewrite the first line of the key, keeping its spelling; drop later duplicates.
    const size_t first = where.key_lines.front();
    ini.lines[first] = std::string(*KeyOf(ini.lines[first])) + "=" + value;
    for (auto it = where.key_lines.rbegin(); it != where.key_lines.rend() - 1; ++it) {
      ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(*it));
    }
  } else if (where.section_line) {
    ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(where.insert_after + 1), key + "=" + value);
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

}  // namespace dbase::platform
