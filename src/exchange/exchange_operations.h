// The data-exchange operations the session handler starts: the product import, the emptying of
// the count table and the count exports. Each reports through the log itself.
#pragma once

#include <string>

namespace quarvel {

class ExchangeOperations {
 public:
  virtual ~ExchangeOperations() = default;
  // Rebuilds `table_name` in `target_folder` from the product files of the repositories, sorted
  // by `sort_key`.
  virtual void ImportProducts(const std::string& target_folder, const std::string& sort_key,
                              const std::string& table_name) = 0;
  // Leaves in `target_folder` an empty `table_name` with the layout of the program folder's one.
  virtual void PrepareEmptyTable(const std::string& target_folder,
                                 const std::string& table_name) = 0;
  // The SDF and CSV exports of `table_name` in `source_folder`, each when its setting asks.
  virtual void ExportCounts(const std::string& source_folder, const std::string& prefix,
                            const std::string& table_name) = 0;
  // The dated dBase copy of `table_name` in `source_folder`.
  virtual void ExportDbf(const std::string& source_folder, const std::string& prefix,
                         const std::string& table_name) = 0;
  // The end-of-session exports of the counts a handheld sent: ExportCounts, then ExportDbf when
  // `make_dbf`. DataExchange also keeps the received table when they do not all succeed.
  virtual void ExportReceivedCounts(const std::string& source_folder, const std::string& prefix,
                                    const std::string& table_name, bool make_dbf) {
    ExportCounts(source_folder, prefix, table_name);
    if (make_dbf) ExportDbf(source_folder, prefix, table_name);
  }
};

}  // namespace quarvel
