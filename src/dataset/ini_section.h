// Reads one section of an INI file as its "key=value" entries, in file order. Only what the
// alias file needs: sections in brackets, keys and values trimmed, ';' and '#' comment lines.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quarvel {

using IniEntries = std::vector<std::pair<std::string, std::string>>;

// The entries of the first section named `section` (without regard to ASCII case); empty when
// the file or the section is missing.
IniEntries ReadIniSection(const std::string& path, std::string_view section);
IniEntries ParseIniSection(std::string_view text, std::string_view section);

}  // namespace quarvel
