// How the count exports render the fields of the current record: one column per table field in
// table order, rendered for an SDF line (fixed width, no separators) or a CSV line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "dataset/field.h"
#include "dataset/table_dataset.h"

namespace quarvel {

enum class ExportRendering {
  kHora,     // a time of day kept as HH:MM:SS, any field type
  kText,     // C and M
  kDate,     // D
  kLogical,  // L
  kInteger,  // N without decimals
  kFloat,    // N with decimals, F
  kNone,     // other types: nothing in SDF, an empty value in CSV
};

struct ExportColumn {
  Field* field = nullptr;  // null when nothing is rendered
  ExportRendering rendering = ExportRendering::kNone;
  size_t length = 0;  // the field's length in the table
  int decimals = 0;
};

// The columns of the open dataset's table.
std::vector<ExportColumn> ExportColumns(TTableDataSet& dataset);

// Appends the current record's SDF line (without its line end) to `line`.
void AppendSdfLine(const std::vector<ExportColumn>& columns, std::string& line);
// Appends the current record's CSV line (without its line end) to `line`.
void AppendCsvLine(const std::vector<ExportColumn>& columns, std::string& line);

}  // namespace quarvel
