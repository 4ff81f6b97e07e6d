// Removing the blanks around a value or a name: spaces only (field values, names typed by the
// user), or spaces and tabs (lines of settings and registry files).
#pragma once

#include <string_view>

namespace dbase::platform {

inline std::string_view TrimCharacters(std::string_view text, std::string_view blanks) {
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

inline std::string_view TrimBlanks(std::string_view text) { return TrimCharacters(text, " "); }
inline std::string_view TrimBlanksAndTabs(std::string_view text) { return TrimCharacters(text, " \t"); }

}  // namespace dbase::platform
