// Export columns: the rendering of every field type in SDF and CSV lines.
#include "config/text_case.h"
#include "exchange/export_columns.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "dataset/date_time.h"
#include "platform/locale.h"

namespace quarvel {
namespace {

// The empty date as the date scale writes it: day 0, 30 December 1899.
constexpr std::string_view kEmptyDate = "18991230";
constexpr size_t kHoraWidth = 6;

ExportRendering RenderingOf(char type, int decimals) {
  switch (type) {
    case 'C':
    case 'M':
      return ExportRendering::kText;
    case 'D':
      return ExportRendering::kDate;
    case 'L':
      return ExportRendering::kLogical;
    case 'N':
      return decimals == 0 ? ExportRendering::kInteger : ExportRendering::kFloat;
    case 'F':
      return ExportRendering::kFloat;
    default:
      return ExportRendering::kNone;
  }
}

// "yyyymmdd" of the field's date (the empty date when the field holds none).
std::string DateDigits(const Field& field) {
  int year = 1899, month = 12, day = 30;
  DecodeDate(field.AsDateTime(), year, month, day);
  char text[16];
  const auto put = [](char* at, int value, int width) {
    for (int i = width - 1; i >= 0; --i, value /= 10) at[i] = static_cast<char>('0' + value % 10);
  };
  put(text, year, 4);
  put(text + 4, month, 2);
  put(text + 6, day, 2);
  return std::string(text, 8);
}

std::string IntegerText(const Field& field) { return std::to_string(field.AsInteger()); }

// The value with exactly `decimals` digits after ".", whatever the locale.
std::string FixedText(double value, int decimals) {
  std::string text(400 + static_cast<size_t>(decimals), '\0');
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, decimals);
  text.resize(result.ec == std::errc() ? static_cast<size_t>(result.ptr - text.data()) : 0);
  return text;
}

// Right-justified in `length` columns with zeros in place of every blank, never cut.
void AppendZeroFilled(std::string& line, const std::string& text, size_t length) {
  if (text.size() < length) line.append(length - text.size(), '0');
  for (char c : text) line.push_back(c == ' ' ? '0' : c);
}

// Left-justified in `length` columns, never cut.
void AppendPadded(std::string& line, const std::string& text, size_t length) {
  line += text;
  if (text.size() < length) line.append(length - text.size(), ' ');
}

void AppendSdfValue(const ExportColumn& column, std::string& line) {
  const Field& field = *column.field;
  switch (column.rendering) {
    case ExportRendering::kHora: {
      std::string text = field.AsString();
      if (text.size() < column.length) text.append(column.length - text.size(), ' ');
      text.erase(std::remove(text.begin(), text.end(), ':'), text.end());
      if (text.size() > kHoraWidth) text.resize(kHoraWidth);
      line += text;
      break;
    }
    case ExportRendering::kText:
      AppendPadded(line, field.AsString(), column.length);
      break;
    case ExportRendering::kDate: {
      const std::string digits = DateDigits(field);
      line += digits == kEmptyDate ? std::string(8, ' ') : digits;
      break;
    }
    case ExportRendering::kLogical:
      line += field.AsBoolean() ? "T" : "F";
      break;
    case ExportRendering::kInteger:
      AppendZeroFilled(line, IntegerText(field), column.length);
      break;
    case ExportRendering::kFloat:
      AppendZeroFilled(line, FixedText(field.AsFloat(), column.decimals), column.length);
      break;
    case ExportRendering::kNone:
      break;
  }
}

std::string CsvValue(const ExportColumn& column) {
  const Field& field = *column.field;
  switch (column.rendering) {
    case ExportRendering::kHora:
      return std::string(TrimBlanks(field.AsString()));
    case ExportRendering::kText:
      // Nothing inside is escaped: the value is written as the field holds it.
      return "\"" + std::string(TrimBlanks(field.AsString())) + "\"";
    case ExportRendering::kDate: {
      const std::string digits = DateDigits(field);
      if (digits == kEmptyDate) return {};
      return digits.substr(0, 4) + "/" + digits.substr(4, 2) + "/" + digits.substr(6, 2);
    }
    case ExportRendering::kLogical:
      return field.AsBoolean() ? "TRUE" : "FALSE";
    case ExportRendering::kInteger:
      return IntegerText(field);
    case ExportRendering::kFloat:
      return FixedText(field.AsFloat(), column.decimals);
    case ExportRendering::kNone:
      break;
  }
  return {};
}

}  // namespace

std::vector<ExportColumn> ExportColumns(TTableDataSet& dataset) {
  const DBFObject& table = *dataset.TableObject();
  std::vector<ExportColumn> columns;
  for (int n = 1; n <= table.field_count(); ++n) {
    const std::string name = table.FieldName(n);
    ExportColumn column;
    column.length = static_cast<size_t>(table.FieldLen(n));
    column.decimals = table.FieldDecimals(n);
    column.rendering = RenderingOf(table.FieldType(n), column.decimals);
    if (dbase::platform::UpperText(name) == "HORA") column.rendering = ExportRendering::kHora;
    // Types the dataset has no field for render as nothing.
    if (column.rendering != ExportRendering::kNone) column.field = dataset.FindField(name);
    if (!column.field) column.rendering = ExportRendering::kNone;
    columns.push_back(column);
  }
  return columns;
}

void AppendSdfLine(const std::vector<ExportColumn>& columns, std::string& line) {
  for (const ExportColumn& column : columns) {
    if (column.field) AppendSdfValue(column, line);
  }
}

void AppendCsvLine(const std::vector<ExportColumn>& columns, std::string& line) {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) line += ',';
    if (columns[i].field) line += TrimBlanks(CsvValue(columns[i]));
  }
}

}  // namespace quarvel
