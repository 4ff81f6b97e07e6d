// Opening tables and formatting values for the qdbf verbs.
#include "cli/qdbf/table_io.h"

#include <charconv>

#include "dbf/dbf_date.h"

namespace qdbf {

std::unique_ptr<dbase::dBHandler> OpenTable(const std::string& path, const OpenOptions& options) {
  auto table = std::make_unique<dbase::dBHandler>(path, options.password, options.read_write, !options.exclusive);
  if (options.production_index) table->OpenProductionIndex();
  for (const std::string& index : options.indexes) table->OpenIndexFile(index);
  return table;
}

void AddIndexOption(CLI::App& cmd, std::vector<std::string>& indexes) {
  cmd.add_option("--index", indexes, "Index files to keep up to date (the production index is always)");
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

std::optional<std::string> JsonNumber(std::string_view text) {
  auto digits = [&](size_t& at) {
    size_t start = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    return text.substr(start, at - start);
  };
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  size_t at = 0;
  std::string out;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
    if (text[at] == '-') out += '-';
    ++at;
  }
  std::string_view whole = digits(at);
  std::string_view fraction;
  if (at < text.size() && text[at] == '.') {
    ++at;
    fraction = digits(at);
  }
  if (whole.empty() && fraction.empty()) return std::nullopt;
  std::string_view exponent;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    size_t start = at++;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    if (digits(at).empty()) return std::nullopt;
    exponent = text.substr(start, at - start);
  }
  if (at != text.size()) return std::nullopt;
  while (whole.size() > 1 && whole.front() == '0') whole.remove_prefix(1);
  out += whole.empty() ? "0" : std::string(whole);
  if (!fraction.empty()) out += "." + std::string(fraction);
  out += exponent;
  return out;
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
