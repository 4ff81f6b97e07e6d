// Helpers for the dataset tests: tables made from field specifications and filled through the
// engine directly, so that the dataset is checked against files it did not write itself.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "dataset/create_from_specs.h"
#include "dataset/table_dataset.h"
#include "handler/db_handler.h"
#include "support/temp_dir.h"

namespace quarvel::testing_support {

// Creates dir/name with `specs` (FoxPro style) and appends one record per row: the texts are put
// into fields 1, 2, ... with the handler's StringPut.
inline std::string MakeTable(const testsupport::TempDir& dir, const std::string& name,
                             const std::vector<std::string>& specs,
                             const std::vector<std::vector<std::string>>& rows = {}, uint8_t type = 3) {
  std::string path = dir.File(name);
  CreateTableFromSpecs(path, "", type, specs);
  if (!rows.empty()) {
    dbase::dBHandler t(path, "", true, false);
    for (const auto& row : rows) {
      t.Blank();
      for (size_t i = 0; i < row.size(); ++i) t.StringPut(static_cast<int>(i) + 1, row[i]);
      t.Append();
    }
  }
  return path;
}

// The raw text of every field of every record, deleted records marked with "*".
inline std::vector<std::string> RawRows(const std::string& path) {
  dbase::dBHandler t(path, "", false, true);
  std::vector<std::string> rows;
  for (int32_t r = 1; r <= t.record_count(); ++r) {
    t.GetRecord(r);
    std::string row = t.deleted() ? "*" : " ";
    for (int f = 1; f <= t.field_count(); ++f) row += (f > 1 ? "|" : "") + t.FieldGet(f);
    rows.push_back(row);
  }
  return rows;
}

// The message of what `f` throws, or "(no error)".
template <class F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

inline void Point(TTableDataSet& ds, const std::string& folder, const std::string& table) {
  ds.SetDatabaseName(folder);
  ds.SetTableName(table);
}

}  // namespace quarvel::testing_support
