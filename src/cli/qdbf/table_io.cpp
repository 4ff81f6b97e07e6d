// Opening tables and formatting values for the qdbf verbs.
#include "cli/qdbf/table_io.h"

#include <charconv>

#include "dbf/dbf_date.h"

namespace qdbf {

std::unique_ptr<dbase::dBHandler> OpenTable(const std::string& path, const OpenOptions& options) {
  return std::make_unique<dbase::dBHandler>(path, options.password, options.read_write, !options.exclusive);
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  // 0x80-0x9F of Windows-1252; 0 marks the five undefined positions (kept as U+FFFD).
  static const char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                     0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) {
    char32_t cp = c;
    if (c >= 0x80 && c < 0xA0) cp = kHigh[c - 0x80] ? kHigh[c - 0x80] : 0xFFFD;
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::string Utf8ToCp1252(std::string_view text) {
  static const char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                     0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  std::string out;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    char32_t cp;
    size_t len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < text.size() && (text[i + 1] & 0xC0) == 0x80) {
      cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
      len = 2;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < text.size() && (text[i + 1] & 0xC0) == 0x80 &&
               (text[i + 2] & 0xC0) == 0x80) {
      cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
           (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
      len = 3;
    } else {
      return std::string(text);  // not UTF-8: raw bytes
    }
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
    } else {
      int found = -1;
      for (int k = 0; k < 32; ++k) {
        if (kHigh[k] != 0 && kHigh[k] == cp) found = k;
      }
      if (found < 0) return std::string(text);  // no Windows-1252 form: keep the bytes
      out += static_cast<char>(0x80 + found);
    }
    i += len;
  }
  return out;
}

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string CsvValue(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

bool ParseFieldSpec(std::string_view text, FieldSpec* out) {
  std::string_view parts[4];
  int n = 0;
  size_t start = 0;
  while (n < 4) {
    size_t semi = text.find(';', start);
    parts[n++] = text.substr(start, semi == std::string_view::npos ? std::string_view::npos : semi - start);
    if (semi == std::string_view::npos) break;
    start = semi + 1;
    if (n == 4) return false;  // more than four parts
  }
  if (n < 3 || parts[0].empty() || parts[1].size() != 1) return false;
  auto number = [](std::string_view s, int* v) {
    auto r = std::from_chars(s.data(), s.data() + s.size(), *v);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() && *v >= 0;
  };
  out->name = std::string(parts[0]);
  out->type = parts[1][0];
  out->decimals = 0;
  return number(parts[2], &out->length) && (n < 4 || number(parts[3], &out->decimals));
}

std::string ShownValue(dbase::dBaseFld& table, int field) {
  if (table.FieldType(field) == 'D') {
    int32_t jdn = table.DateGet(field);
    return jdn > 0 ? dbase::DBFDate::Shared().JulToDTOS(jdn) : "";
  }
  return table.StringGet(field);
}

}  // namespace qdbf
