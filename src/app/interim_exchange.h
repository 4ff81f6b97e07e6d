// InterimExchange: the exchange operations until the product import and the count exports are
// built. PrepareEmptyTable works (template copied and emptied through the dataset); the other
// three only log what they were asked to do, so sessions run end to end meanwhile.
#pragma once

#include "app/app_state.h"
#include "app/exchange_operations.h"
#include "app/log.h"
#include "dataset/table_dataset.h"

namespace quarvel {

class InterimExchange : public ExchangeOperations {
 public:
  InterimExchange(TTableDataSet& dataset, Log& log, const AppState& state)
      : dataset_(dataset), log_(log), state_(state) {}

  void ImportProducts(const std::string& target_folder, const std::string& sort_key,
                      const std::string& table_name) override;
  void PrepareEmptyTable(const std::string& target_folder, const std::string& table_name) override;
  void ExportCounts(const std::string& source_folder, const std::string& prefix,
                    const std::string& table_name) override;
  void ExportDbf(const std::string& source_folder, const std::string& prefix,
                 const std::string& table_name) override;

 private:
  TTableDataSet& dataset_;
  Log& log_;
  const AppState& state_;
};

}  // namespace quarvel
