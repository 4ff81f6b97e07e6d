// File-name arithmetic shared by tables, memo files and builders.
#include "dbf/file_names.h"

#include "platform/ascii_case.h"
#include "platform/text_trim.h"

namespace dbase {

std::string TrimName(const std::string& name) { return std::string(platform::TrimCharacters(name, " \t\r\n")); }

size_t NameStart(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? 0 : slash + 1;
}

size_t ExtensionDot(const std::string& path) {
  size_t dot = path.rfind('.');
  return dot == std::string::npos || dot < NameStart(path) ? std::string::npos : dot;
}

std::string BaseName(const std::string& path) {
  size_t start = NameStart(path);
  size_t dot = ExtensionDot(path);
  return path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
}

std::string WithoutExtension(const std::string& path) {
  size_t dot = ExtensionDot(path);
  return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string WithDefaultExtension(const std::string& path, const std::string& extension) {
  return ExtensionDot(path) == std::string::npos ? path + extension : path;
}

std::string CompanionFileName(const std::string& table_file_name, std::string_view extension) {
  const std::string table = TrimName(table_file_name);
  const size_t dot = ExtensionDot(table);
  const bool lower =
      dot != std::string::npos && table.find_first_of("abcdefghijklmnopqrstuvwxyz", dot) != std::string::npos;
  std::string result = WithoutExtension(table);
  for (char c : extension) result += lower ? platform::LowerAscii(c) : platform::UpperAscii(c);
  return result;
}

}  // namespace dbase
