// Opening tables and formatting values for the qdbf verbs.
#include "cli/qdbf/table_io.h"


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

std::vector<FieldSpec> ParseFieldSpecs(const std::vector<std::string>& specs) {
  std::vector<FieldSpec> fields;
  for (const std::string& text : specs) {
    FieldSpec f;
    if (!dbase::ParseFieldSpec(text, dbase::FieldSpecForm::kCommandLine, &f)) {
      throw CLI::ValidationError("SPEC", "invalid field specification: " + text);
    }
    for (const FieldSpec& seen : fields) {
      if (dbase::StoredFieldName(seen.name) == dbase::StoredFieldName(f.name)) {
        throw CLI::ValidationError("SPEC", "field " + dbase::StoredFieldName(f.name) + " is named twice");
      }
    }
    fields.push_back(f);
  }
  return fields;
}

std::string ShownValue(dbase::dBaseFld& table, int field) {
  if (table.FieldType(field) == 'D') {
    int32_t jdn = table.DateGet(field);
    return jdn > 0 ? dbase::DBFDate::Shared().JulToDTOS(jdn) : "";
  }
  return table.StringGet(field);
}

}  // namespace qdbf
