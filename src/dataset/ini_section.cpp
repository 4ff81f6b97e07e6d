// INI section reading for the alias file.
#include "dataset/ini_section.h"

#include <fstream>
#include <sstream>

#include "dataset/field_defs.h"

namespace quarvel {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

IniEntries ParseIniSection(std::string_view text, std::string_view section) {
  IniEntries entries;
  bool inside = false;
  bool seen = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string_view line = Trim(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    start = end == std::string_view::npos ? text.size() : end + 1;
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      size_t close = line.find(']');
      std::string_view name = Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      if (inside) break;  // only the first section of that name counts
      inside = !seen && SameName(name, section);
      seen = seen || inside;
      continue;
    }
    if (!inside) continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = Trim(line.substr(0, eq));
    if (key.empty()) continue;
    entries.emplace_back(std::string(key), std::string(Trim(line.substr(eq + 1))));
  }
  return entries;
}

IniEntries ReadIniSection(const std::string& path, std::string_view section) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream ss;
  ss << in.rdbuf();
  return ParseIniSection(ss.str(), section);
}

}  // namespace quarvel
