// How the product import turns the values of one input line into the fields of a new record:
// one column per table field in table order, with its SDF width and its conversion.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "dataset/field.h"
#include "dataset/table_dataset.h"

namespace quarvel {

enum class ImportConversion {
  kHora,     // a time of day written as six digits (SDF only)
  kText,     // C and M: blanks around removed
  kDate,     // D
  kLogical,  // L
  kInteger,  // N without decimals
  kFloat,    // N with decimals, F
  kNone,     // other types: nothing stored
};

struct ImportColumn {
  Field* field = nullptr;  // null when nothing is stored
  ImportConversion conversion = ImportConversion::kNone;
  size_t width = 0;  // characters the value takes in an SDF line
};

// The columns of the open dataset's table. A field named HORA is a time column only in SDF
// lines (`sdf`); elsewhere it converts by its type.
std::vector<ImportColumn> ImportColumns(TTableDataSet& dataset, bool sdf);

// The sum of the SDF widths: the shortest SDF line that fills a record.
size_t MinimalLineLength(const std::vector<ImportColumn>& columns);

// Stores one value. `text` is the value as the line holds it (an SDF slice keeps its blanks).
void StoreValue(const ImportColumn& column, std::string_view text);

}  // namespace quarvel
