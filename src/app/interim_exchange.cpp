// InterimExchange: the empty count table for real, the rest announced in the log.
#include "app/interim_exchange.h"

#include <filesystem>

#include "app/app_paths.h"
#include "config/text_case.h"

namespace quarvel {
namespace {

std::string TrimBlanks(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

void InterimExchange::ImportProducts(const std::string& target_folder, const std::string& sort_key,
                                     const std::string& table_name) {
  log_.AddLine("> (provisório) Importação de produtos para " + JoinPath(target_folder, table_name) +
               " por " + sort_key + " ainda não disponível.");
}

void InterimExchange::PrepareEmptyTable(const std::string& target_folder,
                                        const std::string& table_name) {
  if (dataset_.Active()) dataset_.Close();
  dataset_.SetDatabaseName(state_.program_folder);
  dataset_.SetTableName(table_name);
  dataset_.SetExclusive(true);
  dataset_.Open();
  if (UpperUtf8(TrimBlanks(target_folder)) != UpperUtf8(TrimBlanks(state_.program_folder))) {
    std::filesystem::create_directories(target_folder);
    dataset_.CopyFile(JoinPath(target_folder, table_name), "");
    dataset_.Close();
    dataset_.SetDatabaseName(target_folder);
    dataset_.Open();
  }
  dataset_.Zap();
  dataset_.Close();
}

void InterimExchange::ExportCounts(const std::string& source_folder, const std::string& prefix,
                                   const std::string& table_name) {
  log_.AddLine("> (provisório) Exportação SDF/CSV de " + JoinPath(source_folder, table_name) +
               " com o prefixo " + prefix + " ainda não disponível.");
}

void InterimExchange::ExportDbf(const std::string& source_folder, const std::string& prefix,
                                const std::string& table_name) {
  log_.AddLine("> (provisório) Cópia dBase de " + JoinPath(source_folder, table_name) +
               " com o prefixo " + prefix + " ainda não disponível.");
}

}  // namespace quarvel
