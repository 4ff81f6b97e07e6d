// The registry layer: the current user's part of a ".reg" text file (REGEDIT4 or version 5.00
// format), read-only, with typed values, so that reading a value of the wrong type fails as the
// registry itself would.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace quarvel {

// A registry file that cannot be parsed, or a value read with the wrong type.
class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class RegType { kString, kExpandString, kDword, kBinary, kMultiString, kQword, kOther };

struct RegValue {
  RegType type = RegType::kString;
  std::string text;             // kString, kExpandString (UTF-8)
  uint32_t dword = 0;           // kDword
  std::vector<uint8_t> bytes;   // every hex form, as written
};

class RegistryKey {
 public:
  // A text value; the empty text when the value is missing. A value of another type fails with
  // "Invalid data type for '<name>'".
  std::string ReadString(const std::string& name) const;
  // A DWORD value. A missing value fails with "Failed to get data for '<name>'", a value of
  // another type with "Invalid data type for '<name>'".
  int32_t ReadInteger(const std::string& name) const;
  bool ValueExists(const std::string& name) const;

 private:
  friend class Registry;
  std::map<std::string, RegValue> values_;  // by upper-cased name; "" is the default value
};

class Registry {
 public:
  // Loads the HKEY_CURRENT_USER part of a .reg file. A missing file is an empty registry; a file
  // that is not a registry file, or a malformed line, raises RegistryError naming the line.
  static Registry LoadFile(const std::string& path);
  static Registry Parse(const std::string& bytes, const std::string& source_name);

  // The key at `path` below HKEY_CURRENT_USER ("\Software\..." or "Software\..."; names match
  // without regard to case), or null when it does not exist. A key exists when it was written
  // or when a key below it was.
  const RegistryKey* OpenKey(const std::string& path) const;

 private:
  std::map<std::string, RegistryKey> keys_;  // by upper-cased path, no leading separator
};

}  // namespace quarvel
