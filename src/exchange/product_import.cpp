// The product import: PRODUTOS.txt (SDF) and PRODUTOS.csv from the repositories into the product
// table. The new table is made beside the old one as TEMPSORT.DBF, emptied from its template and
// filled line by line, then written sorted over the product table in one whole-file replacement,
// so that a failure anywhere leaves the old table; each consumed input file is kept as ".bak".
// Also PrepareEmptyTable, which the count table's reset uses as well.
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
// Memo files that may accompany the work table, and so go with it.
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

// Removes the work table and its memo file, whatever is left of them.
void RemoveWorkTable(const std::string& folder) {
  const std::string temp = dbase::platform::ResolveCase(dbase::platform::JoinPath(folder, kTempSortTable));
  std::error_code ignored;
  for (const char* extension : kMemoExtensions) {
    fs::remove(dbase::platform::ResolveCase(dbase::CompanionFileName(temp, extension)), ignored);
  }
  fs::remove(temp, ignored);
}

// A disk that fails while a line is stored fails the import: the rest of the table cannot be
// trusted, unlike a value the field refuses.
bool IsFileFailure(const std::exception& error) {
  const auto* engine = dynamic_cast<const dbase::EngineError*>(&error);
  return engine != nullptr && (engine->os_error() != 0 || engine->number() == dbase::kWriteError ||
                               engine->number() == dbase::kReadError);
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
    try {
      FillAndReplace(in, sdf, target_folder, sort_key, table_name);
    } catch (...) {
      // The product table is untouched and the input stays for the next load.
      try {
        if (dataset_.Active()) dataset_.Close();
      } catch (...) {
        // The import's own failure is the one to report.
      }
      RemoveWorkTable(target_folder);
      throw;
    }
    RemoveWorkTable(target_folder);
  }
  in.close();
  MoveToBackup(input);
  log_("> Importação concluída!");
}

void DataExchange::FillAndReplace(std::istream& in, bool sdf, const std::string& target_folder,
                                  const std::string& sort_key, const std::string& table_name) {
  // The work table takes the template's layout; the product table is not opened until the
  // finished work table replaces it.
  const std::string work = dbase::platform::JoinPath(target_folder, kTempSortTable);
  if (dataset_.Active()) dataset_.Close();
  dataset_.SetDatabaseName(program_folder_);
  dataset_.SetTableName(table_name);
  dataset_.SetExclusive(true);
  dataset_.Open();
  fs::create_directories(target_folder);
  dataset_.CopyFile(work, "");
  dataset_.Close();
  OpenTable(target_folder, kTempSortTable);
  dataset_.Zap();

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
      if (IsFileFailure(error)) throw;
      log_("> " + dbase::DescribeError(error));
    }
  }
  log_("   " + std::to_string(dataset_.RecordCount()) + " registros");

  // The sorted (or plain) copy of the work table replaces the product table whole, memo file
  // included. Its check of browse mode posts a record left pending by a failed line.
  const std::string table = dbase::platform::JoinPath(target_folder, table_name);
  if (sort_key.empty()) {
    dataset_.CopyFile(table, "");
  } else {
    dataset_.SortFile(table, "", kAscending, sort_key);
  }
  try {
    dataset_.Close();
  } catch (...) {
    // The product table is whole already; only the work table, removed next, missed its header.
  }
}

}  // namespace quarvel
