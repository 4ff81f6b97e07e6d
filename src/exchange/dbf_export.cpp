// The dBase export: a dated copy of the count table, without its deleted records, beside it.
// A failed copy leaves no file under the dated name (the engine writes copies aside), so that
// name stays free.
#include "config/text_case.h"
#include "exchange/data_exchange.h"
#include "platform/paths.h"

namespace quarvel {

void DataExchange::ExportDbf(const std::string& source_folder, const std::string& prefix,
                             const std::string& table_name) {
  CopyToDbf(source_folder, prefix, table_name);
}

bool DataExchange::CopyToDbf(const std::string& source_folder, const std::string& prefix,
                             const std::string& table_name) {
  if (!SourceTableFound(source_folder, table_name)) return true;
  const CalendarDay today = today_();
  const std::string extension = prefix.empty() ? ".dbf" : ".DBF";
  const std::optional<std::string> copy_name = ExportFileName(source_folder, prefix, table_name, extension, today);
  if (!copy_name) {
    // Every name of the day is taken: refuse rather than overwrite an earlier copy.
    log_(NoFreeNameLine(source_folder, prefix, extension, today));
    return false;
  }
  dataset_.SetExclusive(true);
  OpenTable(source_folder, table_name);
  // Without a prefix the copy would be the table itself.
  if (!SameNameIgnoringCase(*copy_name, table_name)) {
    log_("> Exportando dados para " + *copy_name);
    dataset_.CopyFile(dbase::platform::JoinPath(source_folder, *copy_name), "");
    log_("> Exportação de " + std::to_string(dataset_.RecordCount()) + " registros concluída!");
  }
  dataset_.Close();
  return true;
}

}  // namespace quarvel
