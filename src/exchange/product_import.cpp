// The product import: PRODUTOS.txt (SDF) and PRODUTOS.csv from the repositories into the product
// table, emptied first from its template, filled line by line, then sorted through TEMPSORT.DBF;
// each consumed input file is kept as ".bak". Also PrepareEmptyTable, which the count table's
// reset uses as well.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "config/text_case.h"
#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "exchange/data_exchange.h"
#include "exchange/import_columns.h"
#include "exchange/text_conversion.h"
#include "platform/os_file.h"
#include "platform/paths.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTempSortTable = "TEMPSORT.DBF";
// Memo files that may accompany a table, and so must follow it when it is moved.
constexpr const char* kMemoExtensions[] = {".DBT", ".FPT"};
// Sort sequence for ascending order.
constexpr int kAscending = 2;
// DOS editors end a text file with this byte.
constexpr char kEndOfFileMark = '\x1A';

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Reads the next line without its line end (CR LF or LF); false at the end of the input.
bool ReadLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (in.peek() == std::char_traits<char>::eof() && !line.empty() && line.back() == kEndOfFileMark) {
    line.pop_back();
  }
  return true;
}

// Moves `from` to `to`, replacing it. Failures are ignored: the caller goes on as before.
void MoveReplacing(const std::string& from, const std::string& to) {
  std::error_code ignored;
  fs::rename(from, to, ignored);
}

// Puts the sorted copy in place of the table, with its memo file. Renaming over the table keeps
// the old table whole when the move fails.
void ReplaceWithSorted(const std::string& folder, const std::string& table_name) {
  const std::string table = dbase::platform::ResolveCase(dbase::platform::JoinPath(folder, table_name));
  const std::string temp = dbase::platform::ResolveCase(dbase::platform::JoinPath(folder, kTempSortTable));
  for (const char* extension : kMemoExtensions) {
    const std::string temp_memo = dbase::platform::ResolveCase(dbase::WithoutExtension(temp) + extension);
    if (!dbase::platform::FileExists(temp_memo)) continue;
    MoveReplacing(temp_memo, dbase::platform::ResolveCase(dbase::CompanionFileName(table, extension)));
  }
  MoveReplacing(temp, table);
}

// Keeps a consumed input file as ".bak", replacing an older one.
void MoveToBackup(const std::string& input) {
  const std::string backup = dbase::WithoutExtension(input) + ".bak";
  std::error_code ignored;
  fs::remove(dbase::platform::ResolveCase(backup), ignored);
  MoveReplacing(input, backup);
}

}  // namespace

void DataExchange::ImportProducts(const std::string& target_folder, const std::string& sort_key,
                                  const std::string& table_name) {
  ImportText(target_folder, sort_key, table_name);
  ImportCsv(target_folder, sort_key, table_name);
}

void DataExchange::ImportText(const std::string& target_folder, const std::string& sort_key,
                              const std::string& table_name) {
  Import(TextFormat::kSdf, target_folder, sort_key, table_name);
}

void DataExchange::ImportCsv(const std::string& target_folder, const std::string& sort_key,
                             const std::string& table_name) {
  Import(TextFormat::kCsv, target_folder, sort_key, table_name);
}

void DataExchange::PrepareEmptyTable(const std::string& target_folder, const std::string& table_name) {
  if (dataset_.Active()) dataset_.Close();
  dataset_.SetDatabaseName(program_folder_);
  dataset_.SetTableName(table_name);
  dataset_.SetExclusive(true);
  dataset_.Open();
  if (!SameNameIgnoringCase(target_folder, program_folder_)) {
    fs::create_directories(target_folder);
    dataset_.CopyFile(dbase::platform::JoinPath(target_folder, table_name), "");
    dataset_.Close();
    dataset_.SetDatabaseName(target_folder);
    dataset_.Open();
  }
  dataset_.Zap();
  dataset_.Close();
}

void DataExchange::Import(TextFormat format, const std::string& target_folder, const std::string& sort_key,
                          const std::string& table_name) {
  const bool sdf = format == TextFormat::kSdf;
  const std::string input = dbase::platform::ResolveCase(dbase::platform::JoinPath(
      sdf ? settings_.txt_folder : settings_.csv_folder, dbase::WithoutExtension(table_name) + (sdf ? ".txt" : ".csv")));
  if (!dbase::platform::FileExists(input)) return;

  std::ifstream in;
  if (IsRegularFile(input)) in.open(input, std::ios::binary);
  const bool opened = in.is_open();
  if (!opened) {
    log_("> Arquivo " + input + " não pode ser aberto!");
  } else {
    log_("> Importando dados de " + input);
    PrepareEmptyTable(target_folder, table_name);
    dataset_.SetExclusive(true);
    OpenTable(target_folder, table_name);

    const std::vector<ImportColumn> columns = ImportColumns(dataset_, sdf);
    const size_t minimal_length = MinimalLineLength(columns);
    std::string line;
    std::vector<std::string> values;
    while (ReadLine(in, line)) {
      if (sdf) {
        if (line.size() < minimal_length) continue;
      } else {
        values = SplitCsvLine(line);
        if (values.size() < columns.size()) continue;
      }
      try {
        // A failure leaves the record pending: the next insert, or the copy's check of browse
        // mode, posts it when a field was set.
        dataset_.Insert();
        size_t position = 0;
        for (size_t i = 0; i < columns.size(); ++i) {
          if (sdf) {
            StoreValue(columns[i], std::string_view(line).substr(position, columns[i].width));
            position += columns[i].width;
          } else {
            StoreValue(columns[i], values[i]);
          }
        }
        dataset_.Post();
      } catch (const std::exception& error) {
        log_("> " + dbase::DescribeError(error));
      }
    }
    log_("   " + std::to_string(dataset_.RecordCount()) + " registros");

    // The sorted copy goes straight to TEMPSORT.DBF. A plain copy made first would be overwritten
    // at once; what it did besides, posting a record left pending by a failed line, the sort
    // does as well.
    if (!sort_key.empty()) dataset_.SortFile(dbase::platform::JoinPath(target_folder, kTempSortTable), "", kAscending, sort_key);
    dataset_.Close();
  }
  in.close();
  if (opened && !sort_key.empty()) ReplaceWithSorted(target_folder, table_name);
  MoveToBackup(input);
  log_("> Importação concluída!");
}

}  // namespace quarvel
