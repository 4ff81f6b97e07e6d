// The request table through the application's one dataset object.
#pragma once

#include "app/request_table.h"
#include "dataset/table_dataset.h"

namespace quarvel {

class DataSetRequestTable : public RequestTable {
 public:
  explicit DataSetRequestTable(TTableDataSet& dataset) : dataset_(dataset) {}

  void Open(const std::string& folder, const std::string& table_name) override;
  void Close() override { dataset_.Close(); }
  bool IsEmpty() override { return dataset_.IsEmpty(); }
  std::string FieldText(const std::string& field_name) override;
  void Edit() override { dataset_.Edit(); }
  void SetFieldText(const std::string& field_name, const std::string& value) override;
  void Post() override { dataset_.Post(); }

 private:
  TTableDataSet& dataset_;
};

}  // namespace quarvel
