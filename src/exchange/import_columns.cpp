// Import columns: the conversion of each table field and the storing of one value.
#include "config/text_case.h"
#include "exchange/import_columns.h"

#include <string>

#include "dataset/date_time.h"
#include "exchange/text_conversion.h"
#include "platform/locale.h"

namespace quarvel {
namespace {

// The width a time of day takes in an SDF line: hours, minutes and seconds without colons.
constexpr size_t kHoraWidth = 6;
// A date in an SDF line: year, month and day as "yyyymmdd".
constexpr size_t kDateWidth = 8;

ImportConversion ConversionOf(char type, int decimals) {
  switch (type) {
    case 'C':
    case 'M':
      return ImportConversion::kText;
    case 'D':
      return ImportConversion::kDate;
    case 'L':
      return ImportConversion::kLogical;
    case 'N':
      return decimals == 0 ? ImportConversion::kInteger : ImportConversion::kFloat;
    case 'F':
      return ImportConversion::kFloat;
    default:
      return ImportConversion::kNone;
  }
}

}  // namespace

std::vector<ImportColumn> ImportColumns(TTableDataSet& dataset, bool sdf) {
  const DBFObject& table = *dataset.TableObject();
  std::vector<ImportColumn> columns;
  for (int n = 1; n <= table.field_count(); ++n) {
    const std::string name = table.FieldName(n);
    const char type = table.FieldType(n);
    ImportColumn column;
    column.width = static_cast<size_t>(table.FieldLen(n));
    column.conversion = ConversionOf(type, table.FieldDecimals(n));
    if (type == 'D') column.width = kDateWidth;
    if (sdf && dbase::platform::UpperText(name) == "HORA") {
      column.conversion = ImportConversion::kHora;
      column.width = kHoraWidth;
    }
    // Types the dataset has no field for store nothing.
    if (column.conversion != ImportConversion::kNone) column.field = dataset.FindField(name);
    if (!column.field) column.conversion = ImportConversion::kNone;
    columns.push_back(column);
  }
  return columns;
}

size_t MinimalLineLength(const std::vector<ImportColumn>& columns) {
  size_t length = 0;
  for (const ImportColumn& column : columns) length += column.width;
  return length;
}

void StoreValue(const ImportColumn& column, std::string_view text) {
  Field* field = column.field;
  switch (column.conversion) {
    case ImportConversion::kHora: {
      field->SetAsString(TrimBlanks(text));
      // Six digits as stored become hours, minutes and seconds separated by colons.
      const std::string stored = field->AsString();
      if (stored.size() == kHoraWidth) {
        field->SetAsString(stored.substr(0, 2) + ":" + stored.substr(2, 2) + ":" + stored.substr(4, 2));
      }
      break;
    }
    case ImportConversion::kText:
      field->SetAsString(TrimBlanks(text));
      break;
    case ImportConversion::kDate: {
      // Day 0 of the scale is the empty date; a dBase table keeps that as blanks, so that other
      // programs read no date rather than 30 December 1899.
      const DateTime date = TextToDate(text);
      if (date == DateTime{}) {
        field->Clear();
      } else {
        field->SetAsDateTime(date);
      }
      break;
    }
    case ImportConversion::kLogical:
      field->SetAsBoolean(TextToBoolean(text));
      break;
    case ImportConversion::kInteger:
      field->SetAsInteger(TextToInteger(text));
      break;
    case ImportConversion::kFloat:
      field->SetAsFloat(TextToFloat(text));
      break;
    case ImportConversion::kNone:
      break;
  }
}

}  // namespace quarvel
