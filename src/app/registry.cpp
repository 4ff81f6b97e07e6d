// Parser of .reg files and typed reads of their values.
#include "app/registry.h"

#include <cctype>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/ascii_case.h"
#include "platform/text_encoding.h"
#include "platform/text_trim.h"

namespace quarvel {
namespace {

constexpr const char* kUserRoot = "HKEY_CURRENT_USER";

using dbase::platform::AppendUtf8;

// UTF-16LE to UTF-8, stopping at a terminating zero; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const uint8_t* data, std::size_t size) {
  std::string out;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    uint32_t unit = static_cast<uint32_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0) break;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < size) {
      const uint32_t low = static_cast<uint32_t>(data[i + 2] | (data[i + 3] << 8));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
    AppendUtf8(out, unit);
  }
  return out;
}

// The file's text as UTF-8: version 5.00 files are usually UTF-16LE with a byte-order mark.
std::string DecodeFile(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
      static_cast<uint8_t>(bytes[1]) == 0xFE) {
    return Utf16ToUtf8(reinterpret_cast<const uint8_t*>(bytes.data()) + 2, bytes.size() - 2);
  }
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
  return bytes;
}

// Registry files pad with tabs as well as spaces.
std::string TrimBlanks(std::string_view text) { return std::string(dbase::platform::TrimBlanksAndTabs(text)); }

// Logical lines: physical lines joined where a line ends with a backslash (long hex values).
struct Line {
  std::string text;
  int number = 0;
};

std::vector<Line> LogicalLines(const std::string& text) {
  std::vector<Line> lines;
  std::istringstream in(text);
  std::string physical;
  int number = 0;
  bool continuing = false;
  while (std::getline(in, physical)) {
    ++number;
    if (!physical.empty() && physical.back() == '\r') physical.pop_back();
    std::string part = continuing ? TrimBlanks(physical) : physical;
    if (continuing) {
      lines.back().text += part;
    } else {
      lines.push_back({part, number});
    }
    std::string& whole = lines.back().text;
    const auto end = whole.find_last_not_of(" \t");
    continuing = end != std::string::npos && whole[end] == '\\' &&
                 whole.find("=hex") != std::string::npos;
    if (continuing) whole.erase(end);
  }
  return lines;
}

class Parser {
 public:
  Parser(std::string source, std::map<std::string, std::map<std::string, RegValue>>& values)
      : source_(std::move(source)), values_(values) {}

  void Run(const std::string& text) {
    bool header_seen = false;
    for (const Line& line : LogicalLines(text)) {
      line_ = line.number;
      const std::string trimmed = TrimBlanks(line.text);
      if (trimmed.empty() || trimmed.front() == ';') continue;
      if (!header_seen) {
        if (trimmed != "REGEDIT4" && trimmed != "Windows Registry Editor Version 5.00") {
          Fail("not a registry file");
        }
        header_seen = true;
        unicode_ = trimmed != "REGEDIT4";
        continue;
      }
      if (trimmed.front() == '[') {
        KeyLine(trimmed);
      } else {
        ValueLine(trimmed);
      }
    }
    if (!header_seen) Fail("not a registry file");
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw RegistryError("Registry file " + source_ + ", line " + std::to_string(line_) + ": " +
                        what);
  }

  void KeyLine(const std::string& line) {
    if (line.back() != ']') Fail("key name without closing bracket");
    key_line_seen_ = true;
    std::string name = line.substr(1, line.size() - 2);
    const bool remove = !name.empty() && name.front() == '-';
    if (remove) name.erase(0, 1);
    current_.reset();
    const std::string upper = dbase::platform::UpperAscii(name);
    const std::string root = kUserRoot;
    if (upper != root && upper.rfind(root + "\\", 0) != 0) return;  // another hive: skipped
    std::string path = upper.size() > root.size() ? upper.substr(root.size() + 1) : "";
    while (!path.empty() && path.back() == '\\') path.pop_back();
    if (remove) {
      for (auto it = values_.begin(); it != values_.end();) {
        const bool below = it->first == path || it->first.rfind(path + "\\", 0) == 0;
        it = below ? values_.erase(it) : std::next(it);
      }
      return;
    }
    values_[path];
    current_ = path;
  }

  // A quoted text starting at `pos` (on the opening quote); `pos` ends after the closing quote.
  std::string QuotedText(const std::string& line, std::size_t& pos) const {
    std::string text;
    ++pos;
    while (pos < line.size() && line[pos] != '"') {
      if (line[pos] == '\\' && pos + 1 < line.size()) {
        text += line[++pos];  // \\ and \" stand for the character itself
      } else {
        text += line[pos];
      }
      ++pos;
    }
    if (pos >= line.size()) Fail("text without closing quote");
    ++pos;
    return text;
  }

  std::vector<uint8_t> HexBytes(const std::string& list) const {
    std::vector<uint8_t> bytes;
    std::istringstream in(list);
    std::string item;
    while (std::getline(in, item, ',')) {
      item = TrimBlanks(item);
      if (item.empty()) continue;
      if (item.size() > 2 || item.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        Fail("bad hex byte \"" + item + "\"");
      }
      bytes.push_back(static_cast<uint8_t>(std::stoul(item, nullptr, 16)));
    }
    return bytes;
  }

  std::string BytesToText(const std::vector<uint8_t>& bytes) const {
    if (unicode_) return Utf16ToUtf8(bytes.data(), bytes.size());
    std::string text(bytes.begin(), bytes.end());
    const auto zero = text.find('\0');
    return zero == std::string::npos ? text : text.substr(0, zero);
  }

  RegValue Data(const std::string& data) const {
    RegValue value;
    if (data.size() >= 2 && data.front() == '"') {
      std::size_t pos = 0;
      value.text = QuotedText(data, pos);
      if (!TrimBlanks(data.substr(pos)).empty()) Fail("text after the closing quote");
      value.type = RegType::kString;
      return value;
    }
    const std::string lower = [&] {
      std::string l = data;
      for (char& c : l) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return l;
    }();
    if (lower.rfind("dword:", 0) == 0) {
      const std::string digits = TrimBlanks(data.substr(6));
      if (digits.empty() || digits.size() > 8 ||
          digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        Fail("bad dword value \"" + digits + "\"");
      }
      value.type = RegType::kDword;
      value.dword = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
      return value;
    }
    if (lower.rfind("hex", 0) == 0) {
      const auto colon = data.find(':');
      if (colon == std::string::npos) Fail("hex value without ':'");
      const std::string kind = lower.substr(3, colon - 3);
      value.bytes = HexBytes(data.substr(colon + 1));
      if (kind.empty()) {
        value.type = RegType::kBinary;
      } else if (kind == "(2)") {
        value.type = RegType::kExpandString;
        value.text = BytesToText(value.bytes);
      } else if (kind == "(4)" && value.bytes.size() == 4) {
        value.type = RegType::kDword;
        value.dword = static_cast<uint32_t>(value.bytes[0] | (value.bytes[1] << 8) |
                                            (value.bytes[2] << 16)) |
                      (static_cast<uint32_t>(value.bytes[3]) << 24);
      } else if (kind == "(7)") {
        value.type = RegType::kMultiString;
      } else if (kind == "(b)") {
        value.type = RegType::kQword;
      } else if (kind.size() >= 3 && kind.front() == '(' && kind.back() == ')') {
        value.type = RegType::kOther;
      } else {
        Fail("unknown value type \"hex" + kind + "\"");
      }
      return value;
    }
    Fail("unknown value data \"" + data + "\"");
  }

  void ValueLine(const std::string& line) {
    std::string name;
    std::size_t pos = 0;
    if (line.front() == '@') {
      pos = 1;
    } else if (line.front() == '"') {
      name = QuotedText(line, pos);
    } else {
      Fail("value name must be quoted");
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] != '=') Fail("'=' expected after the value name");
    const std::string data = TrimBlanks(line.substr(pos + 1));
    if (!current_) {
      if (!key_line_seen_) Fail("value outside any key");
      return;  // a value of a skipped hive or of a removed key
    }
    auto& values = values_[*current_];
    if (data == "-") {
      values.erase(dbase::platform::UpperAscii(name));
      return;
    }
    values[dbase::platform::UpperAscii(name)] = Data(data);
  }

  std::string source_;
  std::map<std::string, std::map<std::string, RegValue>>& values_;
  std::optional<std::string> current_;
  bool unicode_ = false;
  bool key_line_seen_ = false;
  int line_ = 0;
};

}  // namespace

std::string RegistryKey::ReadString(const std::string& name) const {
  const auto it = values_.find(dbase::platform::UpperAscii(name));
  if (it == values_.end()) return {};
  if (it->second.type != RegType::kString && it->second.type != RegType::kExpandString) {
    throw RegistryError("Invalid data type for '" + name + "'");
  }
  return it->second.text;
}

int32_t RegistryKey::ReadInteger(const std::string& name) const {
  const auto it = values_.find(dbase::platform::UpperAscii(name));
  if (it == values_.end()) throw RegistryError("Failed to get data for '" + name + "'");
  if (it->second.type != RegType::kDword) {
    throw RegistryError("Invalid data type for '" + name + "'");
  }
  return static_cast<int32_t>(it->second.dword);
}

bool RegistryKey::ValueExists(const std::string& name) const {
  return values_.count(dbase::platform::UpperAscii(name)) != 0;
}

Registry Registry::LoadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return Parse(bytes.str(), path);
}

Registry Registry::Parse(const std::string& bytes, const std::string& source_name) {
  std::map<std::string, std::map<std::string, RegValue>> values;
  Registry registry;
  Parser(source_name, values).Run(DecodeFile(bytes));
  for (auto& [path, key_values] : values) {
    registry.keys_[path].values_ = std::move(key_values);
    // Every key above a written one exists too.
    for (auto sep = path.rfind('\\'); sep != std::string::npos && sep > 0;
         sep = path.rfind('\\', sep - 1)) {
      registry.keys_[path.substr(0, sep)];
    }
  }
  return registry;
}

const RegistryKey* Registry::OpenKey(const std::string& path) const {
  std::string key = dbase::platform::UpperAscii(path);
  while (!key.empty() && key.front() == '\\') key.erase(0, 1);
  while (!key.empty() && key.back() == '\\') key.pop_back();
  const auto it = keys_.find(key);
  return it == keys_.end() ? nullptr : &it->second;
}

}  // namespace quarvel
