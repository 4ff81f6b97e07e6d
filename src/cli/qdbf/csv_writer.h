// CsvWriter: qdbf's CSV form of a table's records, written through one large buffer. Text,
// numeric and logical fields of plain ASCII are formatted straight from the record buffer; every
// other value goes through ShownValue, Cp1252ToUtf8 and CsvValue, and the fast forms give the very
// same bytes as those.
#pragma once

#include <cstdio>
#include <string>

#include "handler/db_handler.h"

namespace qdbf {

class CsvWriter {
 public:
  // `with_deleted` adds the "_deleted" column.
  CsvWriter(dbase::dBHandler& table, std::FILE* out, bool with_deleted);

  void Header();
  // The current record as one line.
  void Record();
  // Writes what is buffered; a failed write raises "Error writing to standard output".
  void Flush();

 private:
  void Field(int field);

  dbase::dBHandler& table_;
  std::FILE* out_;
  bool with_deleted_;
  std::string buffer_;
};

}  // namespace qdbf
