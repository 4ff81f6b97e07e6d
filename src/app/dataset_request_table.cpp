// The request table's operations as dataset calls.
#include "app/dataset_request_table.h"

namespace quarvel {

void DataSetRequestTable::Open(const std::string& folder, const std::string& table_name) {
  if (dataset_.Active()) dataset_.Close();
  dataset_.SetDatabaseName(folder);
  dataset_.SetTableName(table_name);
  dataset_.Open();
}

std::string DataSetRequestTable::FieldText(const std::string& field_name) {
  return dataset_.FieldByName(field_name).AsString();
}

void DataSetRequestTable::SetFieldText(const std::string& field_name, const std::string& value) {
  dataset_.FieldByName(field_name).SetAsString(value);
}

}  // namespace quarvel
