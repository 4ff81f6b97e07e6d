// DataExchange: the product import and the count exports over the application's one dataset.
// Every outcome a user should see is a log line; errors outside a line of input propagate.
#pragma once

#include <functional>
#include <istream>
#include <string>

#include "config/settings.h"
#include "dataset/table_dataset.h"
#include "exchange/exchange_operations.h"
#include "exchange/export_names.h"

namespace quarvel {

class DataExchange : public ExchangeOperations {
 public:
  using LogSink = std::function<void(const std::string&)>;

  // `program_folder` (the templates' folder) and `settings` are read at each call, so they
  // follow later changes; all four must outlive the exchange.
  DataExchange(TTableDataSet& dataset, LogSink log, const std::string& program_folder,
               const Settings& settings, TodayFunction today = Today);

  // The SDF import, then the CSV import, each from its repository folder.
  void ImportProducts(const std::string& target_folder, const std::string& sort_key,
                      const std::string& table_name) override;
  void ImportText(const std::string& target_folder, const std::string& sort_key,
                  const std::string& table_name);
  void ImportCsv(const std::string& target_folder, const std::string& sort_key,
                 const std::string& table_name);
  void PrepareEmptyTable(const std::string& target_folder, const std::string& table_name) override;

  // The SDF export when MakeTxt, then the CSV export when MakeCsv.
  void ExportCounts(const std::string& source_folder, const std::string& prefix,
                    const std::string& table_name) override;
  void ExportText(const std::string& source_folder, const std::string& prefix,
                  const std::string& table_name);
  void ExportCsv(const std::string& source_folder, const std::string& prefix,
                 const std::string& table_name);
  void ExportDbf(const std::string& source_folder, const std::string& prefix,
                 const std::string& table_name) override;
  // No count a handheld sent is lost: when the exports of the received table do not all
  // succeed (a name of the day free, a value, a write), it is kept as "CONTAGEM-yyyymmdd-nn.DBF"
  // beside it, which no later session overwrites, and the log says where. The next session
  // with counts exports the kept tables first (oldest first) and removes each one exported.
  void ExportReceivedCounts(const std::string& source_folder, const std::string& prefix,
                            const std::string& table_name, bool make_dbf) override;

 private:
  enum class TextFormat { kSdf, kCsv };

  void Import(TextFormat format, const std::string& target_folder, const std::string& sort_key,
              const std::string& table_name);
  // Fills the work table from the input's lines and writes it over the product table.
  void FillAndReplace(std::istream& in, bool sdf, const std::string& target_folder, const std::string& sort_key,
                      const std::string& table_name);
  // Each export says whether it wrote its file (or had no table to write from).
  bool Export(TextFormat format, const std::string& source_folder, const std::string& prefix,
              const std::string& table_name);
  bool CopyToDbf(const std::string& source_folder, const std::string& prefix, const std::string& table_name);
  // Every export the settings ask for (and the dBase copy when `make_dbf`); a failure that
  // raises is logged and counts as one. True when all succeeded.
  bool ExportAll(const std::string& source_folder, const std::string& prefix, const std::string& table_name,
                 bool make_dbf);
  // Moves the table (and its memo file) to the first free kept name; the log says where.
  void KeepUnexported(const std::string& folder, const std::string& table_name);
  // False, with the log line that says so, when the table to export does not exist.
  bool SourceTableFound(const std::string& folder, const std::string& table_name);
  // Opens `table_name` in `folder` with the dataset, closing it first when active.
  void OpenTable(const std::string& folder, const std::string& table_name);

  TTableDataSet& dataset_;
  LogSink log_;
  const std::string& program_folder_;
  const Settings& settings_;
  TodayFunction today_;
};

}  // namespace quarvel
