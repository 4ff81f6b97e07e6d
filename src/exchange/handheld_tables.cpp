// The handheld's table templates.
#include "exchange/handheld_tables.h"

#include "dataset/create_from_specs.h"
#include "platform/os_file.h"
#include "platform/paths.h"

namespace quarvel {

const std::vector<std::string>& CountTableSpecs() {
  static const std::vector<std::string> specs = {"CODIGO;C;20;0", "LOJA;C;4;0", "ESTOQUE;N;6;0"};
  return specs;
}

const std::vector<std::string>& ProductTableSpecs() {
  static const std::vector<std::string> specs = {"CODIGO;C;20;0", "DESCRICAO;C;40;0"};
  return specs;
}

namespace {

void CreateWhenMissing(const std::string& path, const std::vector<std::string>& specs) {
  if (dbase::platform::FileExistsAnyCase(path)) return;
  CreateTableFromSpecs(path, "", kHandheldTableType, specs);
}

}  // namespace

void CreateHandheldTables(const std::string& folder) {
  // An empty folder is the current one, not the root a lone separator would name.
  CreateWhenMissing(dbase::platform::JoinPath(folder, kCountTableName), CountTableSpecs());
  CreateWhenMissing(dbase::platform::JoinPath(folder, kProductTableName), ProductTableSpecs());
}

}  // namespace quarvel
