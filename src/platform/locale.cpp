// Locale layer: Windows-1252 case tables, short date format and decimal separator from the POSIX
// locale, and the Windows-1252 <-> code page 850 tables.
#include "platform/locale.h"

#include <langinfo.h>

#include <array>
#include <cctype>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace dbase::platform {

namespace {

constexpr char kDefaultDateFormat[] = "dd/mm/yyyy";

struct CaseTables {
  std::array<uint8_t, 256> upper{};
  std::array<uint8_t, 256> lower{};
};

// Windows-1252 letter pairs: ASCII, the accented Latin-1 range (0xE0-0xFE <-> 0xC0-0xDE, but
// 0xF7 is the division sign and 0xD7 the multiplication sign), and the four letters the code page
// adds in 0x80-0x9F.
constexpr CaseTables MakeCaseTables() {
  CaseTables t;
  for (int i = 0; i < 256; ++i) {
    t.upper[i] = static_cast<uint8_t>(i);
    t.lower[i] = static_cast<uint8_t>(i);
  }
  auto pair = [&t](int lower, int upper) {
    t.upper[lower] = static_cast<uint8_t>(upper);
    t.lower[upper] = static_cast<uint8_t>(lower);
  };
  for (int c = 'a'; c <= 'z'; ++c) pair(c, c - 32);
  for (int c = 0xE0; c <= 0xFE; ++c) {
    if (c != 0xF7) pair(c, c - 32);
  }
  pair(0x9A, 0x8A);  // š Š
  pair(0x9C, 0x8C);  // œ Œ
  pair(0x9E, 0x8E);  // ž Ž
  pair(0xFF, 0x9F);  // ÿ Ÿ
  return t;
}

constexpr CaseTables kCase = MakeCaseTables();

// Windows-1252 0x80-0xFF -> code page 850. 0x00-0x7F are the same in both. Characters missing
// from the other code page are paired in ascending order with the other side's leftovers.
constexpr std::array<uint8_t, 128> kTo850 = {
    0xB0, 0xB1, 0xB2, 0x9F, 0xB3, 0xB4, 0xB9, 0xBA, 0xBB, 0xBC, 0xBF, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4,  // 80
    0xC5, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xD5, 0xD9, 0xDA, 0xDB, 0xDC, 0xDF, 0xF2, 0xFE,  // 90
    0xFF, 0xAD, 0xBD, 0x9C, 0xCF, 0xBE, 0xDD, 0xF5, 0xF9, 0xB8, 0xA6, 0xAE, 0xAA, 0xF0, 0xA9, 0xEE,  // A0
    0xF8, 0xF1, 0xFD, 0xFC, 0xEF, 0xE6, 0xF4, 0xFA, 0xF7, 0xFB, 0xA7, 0xAF, 0xAC, 0xAB, 0xF3, 0xA8,  // B0
    0xB7, 0xB5, 0xB6, 0xC7, 0x8E, 0x8F, 0x92, 0x80, 0xD4, 0x90, 0xD2, 0xD3, 0xDE, 0xD6, 0xD7, 0xD8,  // C0
    0xD1, 0xA5, 0xE3, 0xE0, 0xE2, 0xE5, 0x99, 0x9E, 0x9D, 0xEB, 0xE9, 0xEA, 0x9A, 0xED, 0xE8, 0xE1,  // D0
    0x85, 0xA0, 0x83, 0xC6, 0x84, 0x86, 0x91, 0x87, 0x8A, 0x82, 0x88, 0x89, 0x8D, 0xA1, 0x8C, 0x8B,  // E0
    0xD0, 0xA4, 0x95, 0xA2, 0x93, 0xE4, 0x94, 0xF6, 0x9B, 0x97, 0xA3, 0x96, 0x81, 0xEC, 0xE7, 0x98,  // F0
};

constexpr std::array<uint8_t, 128> MakeFrom850() {
  std::array<uint8_t, 128> from{};
  for (int i = 0; i < 128; ++i) from[kTo850[i] - 0x80] = static_cast<uint8_t>(0x80 + i);
  return from;
}

constexpr std::array<uint8_t, 128> kFrom850 = MakeFrom850();

std::string MapBytes(std::string_view text, const std::array<uint8_t, 128>& high) {
  std::string out(text);
  for (char& c : out) {
    const auto b = static_cast<uint8_t>(c);
    if (b >= 0x80) c = static_cast<char>(high[b - 0x80]);
  }
  return out;
}

std::mutex g_override_mutex;
std::optional<std::string> g_date_format_override;
std::optional<char> g_decimal_override;

bool IsCLocale(const char* name) {
  if (name == nullptr || *name == '\0') return true;
  return std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0 || std::strncmp(name, "C.", 2) == 0;
}

bool IsFieldLetter(char c) {
  switch (c) {
    case 'd': case 'D': case 'm': case 'M': case 'y': case 'Y':
      return true;
    default:
      return false;
  }
}

}  // namespace

char UpperChar(char c) { return static_cast<char>(kCase.upper[static_cast<uint8_t>(c)]); }

char LowerChar(char c) { return static_cast<char>(kCase.lower[static_cast<uint8_t>(c)]); }

std::string UpperText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperChar(c);
  return out;
}

std::string LowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerChar(c);
  return out;
}

std::string DateFormatFromPosix(std::string_view posix_format) {
  std::string out;
  for (size_t i = 0; i < posix_format.size(); ++i) {
    const char c = posix_format[i];
    if (c != '%') {
      // Only ASCII punctuation and blanks survive: letters would read as fields, and multi-byte
      // literals (e.g. CJK year/month markers) cannot serve as a one-byte separator.
      const auto b = static_cast<unsigned char>(c);
      if (b >= 0x20 && b < 0x7F && std::isalnum(b) == 0) out += c;
      continue;
    }
    bool unpadded = false;
    ++i;
    while (i < posix_format.size() && std::strchr("-_0^#", posix_format[i]) != nullptr) {
      if (posix_format[i] == '-') unpadded = true;
      ++i;
    }
    while (i < posix_format.size() && posix_format[i] >= '0' && posix_format[i] <= '9') ++i;
    if (i < posix_format.size() && (posix_format[i] == 'E' || posix_format[i] == 'O')) ++i;
    if (i >= posix_format.size()) break;
    switch (posix_format[i]) {
      case 'd': out += unpadded ? "d" : "dd"; break;
      case 'e': out += "d"; break;
      case 'm': case 'b': case 'B': case 'h': out += unpadded ? "m" : "mm"; break;
      case 'y': case 'C': out += "yy"; break;
      case 'Y': case 'G': out += "yyyy"; break;
      case 'D': out += "mm/dd/yy"; break;
      case 'F': out += "yyyy-mm-dd"; break;
      case '%': out += '%'; break;
      case 'n': case 't': out += ' '; break;
      default: break;  // weekday names and the like have no place in a short date
    }
  }
  // Separators left at either end by dropped parts (a weekday name, say) are noise.
  const size_t first = out.find_first_of("dmy");
  const size_t last = out.find_last_of("dmy");
  if (first == std::string::npos) return kDefaultDateFormat;
  out = out.substr(first, last - first + 1);
  if (out.find('d') == std::string::npos || out.find('m') == std::string::npos ||
      out.find('y') == std::string::npos) {
    return kDefaultDateFormat;
  }
  return out;
}

std::string ShortDateFormat() {
  {
    std::lock_guard<std::mutex> lock(g_override_mutex);
    if (g_date_format_override) return *g_date_format_override;
  }
  if (IsCLocale(std::setlocale(LC_TIME, nullptr))) return kDefaultDateFormat;
  const char* posix = nl_langinfo(D_FMT);
  if (posix == nullptr) return kDefaultDateFormat;
  return DateFormatFromPosix(posix);
}

char DateSeparator() {
  const std::string format = ShortDateFormat();
  for (char c : format) {
    if (!IsFieldLetter(c)) return c;
  }
  return '/';
}

char DecimalSeparator() {
  {
    std::lock_guard<std::mutex> lock(g_override_mutex);
    if (g_decimal_override) return *g_decimal_override;
  }
  if (IsCLocale(std::setlocale(LC_NUMERIC, nullptr))) return '.';
  const char* radix = nl_langinfo(RADIXCHAR);
  // A multi-byte radix character cannot be represented; fall back to the point.
  if (radix == nullptr || radix[0] == '\0' || radix[1] != '\0' || static_cast<unsigned char>(radix[0]) >= 0x80) {
    return '.';
  }
  return radix[0];
}

void SetShortDateFormatForTesting(std::optional<std::string> format) {
  std::lock_guard<std::mutex> lock(g_override_mutex);
  g_date_format_override = std::move(format);
}

void SetDecimalSeparatorForTesting(std::optional<char> separator) {
  std::lock_guard<std::mutex> lock(g_override_mutex);
  g_decimal_override = separator;
}

std::string Cp1252ToCp850(std::string_view text) { return MapBytes(text, kTo850); }

std::string Cp850ToCp1252(std::string_view text) { return MapBytes(text, kFrom850); }

}  // namespace dbase::platform
