// DataExchange: construction, and the table checks and opening the import and the exports share.
#include "exchange/data_exchange.h"

#include "platform/os_file.h"
#include "platform/paths.h"

namespace quarvel {

DataExchange::DataExchange(TTableDataSet& dataset, LogSink log, const std::string& program_folder,
                           const Settings& settings, TodayFunction today)
    : dataset_(dataset),
      log_(std::move(log)),
      program_folder_(program_folder),
      settings_(settings),
      today_(std::move(today)) {}

bool DataExchange::SourceTableFound(const std::string& folder, const std::string& table_name) {
  if (dbase::platform::FileExistsAnyCase(dbase::platform::JoinPath(folder, table_name))) return true;
  log_("> Arquivo " + table_name + " não encontrado!");
  return false;
}

void DataExchange::OpenTable(const std::string& folder, const std::string& table_name) {
  if (dataset_.Active()) dataset_.Close();
  dataset_.SetDatabaseName(folder);
  dataset_.SetTableName(table_name);
  dataset_.Open();
}

}  // namespace quarvel
