// Parsing of field specifications in the two forms the system accepts.
#include "dbf/field_spec.h"

#include <charconv>

#include "platform/ascii_case.h"

namespace dbase {

namespace {

// An integer as the whole text; `lenient` allows leading blanks and a "+" (the four-part form
// has always read its numbers so), otherwise only digits.
bool ReadInt(std::string_view text, bool lenient, int& out) {
  if (lenient) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  }
  if (text.empty()) return false;
  auto res = std::from_chars(text.data(), text.data() + text.size(), out);
  if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return false;
  return lenient || out >= 0;
}

// Types whose length the table builders fix whatever is asked.
bool FixedLength(char type) { return type == 'D' || type == 'L' || type == 'M' || type == 'B' || type == 'G'; }

bool ParseFourParts(std::string_view s, FieldSpec& f) {
  size_t semi = s.find(';');
  if (semi == std::string_view::npos) return false;
  f.name = std::string(s.substr(0, semi));
  std::string_view rest = s.substr(semi + 1);
  if (rest.size() < 2 || rest[1] != ';') return false;
  f.type = rest[0];
  rest.remove_prefix(2);
  semi = rest.find(';');
  if (semi == std::string_view::npos) return false;
  return ReadInt(rest.substr(0, semi), true, f.length) && ReadInt(rest.substr(semi + 1, 3), true, f.decimals);
}

bool ParseCommandLine(std::string_view s, FieldSpec& f) {
  std::string_view parts[4];
  size_t n = 0;
  while (true) {
    if (n == 4) return false;  // more than four parts
    const size_t semi = s.find(';');
    parts[n++] = s.substr(0, semi);
    if (semi == std::string_view::npos) break;
    s.remove_prefix(semi + 1);
  }
  if (n < 2 || parts[1].size() != 1) return false;
  f.name = std::string(parts[0]);
  f.type = platform::UpperAscii(parts[1][0]);
  f.length = 0;
  f.decimals = 0;
  if (n == 2) return FixedLength(f.type);
  return ReadInt(parts[2], false, f.length) && (n < 4 || ReadInt(parts[3], false, f.decimals));
}

}  // namespace

bool ParseFieldSpec(std::string_view text, FieldSpecForm form, FieldSpec* out) {
  while (!text.empty() && (text.back() == ' ' || text.back() == ';')) text.remove_suffix(1);
  FieldSpec f;
  const bool ok = form == FieldSpecForm::kFourParts ? ParseFourParts(text, f) : ParseCommandLine(text, f);
  if (!ok || f.name.empty()) return false;
  f.name = platform::UpperAscii(f.name);
  *out = std::move(f);
  return true;
}

std::string StoredFieldName(std::string_view name) {
  return platform::UpperAscii(std::string(name.substr(0, 10)));
}

}  // namespace dbase
