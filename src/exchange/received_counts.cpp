// The end-of-session exports of the counts a handheld sent, and the keeping of a received table
// whose exports did not all succeed: the handheld's own table has been emptied by then, so the
// received one is the only copy of those counts.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>

#include "config/text_case.h"
#include "dbf/errors.h"
#include "dbf/file_names.h"
#include "exchange/data_exchange.h"
#include "platform/os_file.h"
#include "platform/paths.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;

// Memo files that may accompany a table, and so must follow it when it is moved.
constexpr const char* kMemoExtensions[] = {".DBT", ".FPT"};

// "CONTAGEM-20241207-" for CONTAGEM.DBF on 7 December 2024.
std::string KeptStem(const std::string& table_name, const CalendarDay& day) {
  return dbase::WithoutExtension(table_name) + "-" + DateStamp(day) + "-";
}

// Whether `name` is a kept copy of `table_name`: base, "-", 8 digits, "-", digits, its extension.
bool IsKeptName(const std::string& name, const std::string& table_name) {
  const std::string base = dbase::WithoutExtension(table_name) + "-";
  const std::string extension = table_name.substr(base.size() - 1);
  if (name.size() < base.size() + 11 + extension.size()) return false;
  if (!SameNameIgnoringCase(name.substr(0, base.size()), base)) return false;
  if (!SameNameIgnoringCase(name.substr(name.size() - extension.size()), extension)) return false;
  const std::string middle = name.substr(base.size(), name.size() - base.size() - extension.size());
  if (middle.size() < 11 || middle[8] != '-') return false;
  for (size_t i = 0; i < middle.size(); ++i) {
    if (i != 8 && !std::isdigit(static_cast<unsigned char>(middle[i]))) return false;
  }
  return true;
}

// The kept copies of `table_name` in `folder`, oldest first (their names sort by date, then
// sequence number).
std::vector<std::string> KeptTables(const std::string& folder, const std::string& table_name) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (IsKeptName(name, table_name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return names;
}

// Renames `from` (a table path) to `to` with its memo file, if any; false when the table does not move.
bool MoveTable(const std::string& from, const std::string& to) {
  for (const char* extension : kMemoExtensions) {
    const std::string memo = dbase::platform::ResolveCase(dbase::WithoutExtension(from) + extension);
    if (!dbase::platform::FileExists(memo)) continue;
    const std::string memo_extension = memo.substr(dbase::ExtensionDot(memo));
    dbase::platform::RenameNoReplace(memo, dbase::WithoutExtension(to) + memo_extension);
  }
  return dbase::platform::RenameNoReplace(from, to);
}

void RemoveTable(const std::string& table) {
  std::error_code ignored;
  for (const char* extension : kMemoExtensions) {
    fs::remove(dbase::platform::ResolveCase(dbase::WithoutExtension(table) + extension), ignored);
  }
  fs::remove(table, ignored);
}

}  // namespace

void DataExchange::ExportReceivedCounts(const std::string& source_folder, const std::string& prefix,
                                        const std::string& table_name, bool make_dbf) {
  for (const std::string& kept : KeptTables(source_folder, table_name)) {
    const std::string path = dbase::platform::JoinPath(source_folder, kept);
    log_("> Exportando contagens guardadas em " + path);
    if (ExportAll(source_folder, prefix, kept, make_dbf)) {
      RemoveTable(path);
      log_("> Contagens guardadas em " + path + " exportadas; arquivo removido.");
    } else {
      log_("> As contagens guardadas em " + path + " continuam aguardando exportação!");
    }
  }
  if (!ExportAll(source_folder, prefix, table_name, make_dbf)) KeepUnexported(source_folder, table_name);
}

bool DataExchange::ExportAll(const std::string& source_folder, const std::string& prefix,
                             const std::string& table_name, bool make_dbf) {
  bool all = true;
  auto run = [&](const std::function<bool()>& export_one) {
    try {
      all = export_one() && all;
    } catch (const std::exception& error) {
      log_("> " + dbase::DescribeError(error));
      all = false;
      try {
        if (dataset_.Active()) dataset_.Close();
      } catch (...) {
        // The export's own failure is the one logged.
      }
    }
  };
  if (settings_.make_txt) run([&] { return Export(TextFormat::kSdf, source_folder, prefix, table_name); });
  if (settings_.make_csv) run([&] { return Export(TextFormat::kCsv, source_folder, prefix, table_name); });
  if (make_dbf) run([&] { return CopyToDbf(source_folder, prefix, table_name); });
  return all;
}

void DataExchange::KeepUnexported(const std::string& folder, const std::string& table_name) {
  const std::string table = dbase::platform::ResolveCase(dbase::platform::JoinPath(folder, table_name));
  if (!dbase::platform::FileExists(table)) return;
  const std::string stem = KeptStem(dbase::platform::FileNamePart(table), today_());
  const size_t dot = dbase::ExtensionDot(table);
  const std::string extension = dot == std::string::npos ? std::string() : table.substr(dot);
  for (int n = 1; n < 10000; ++n) {
    const std::string sequence = (n < 10 ? "0" : "") + std::to_string(n);
    const std::string kept = dbase::platform::JoinPath(folder, stem + sequence + extension);
    if (dbase::platform::FileExistsAnyCase(kept)) continue;
    if (MoveTable(table, kept)) {
      log_("> Exportação incompleta: as contagens recebidas foram guardadas em " + kept);
      return;
    }
    break;
  }
  log_("> Exportação incompleta: as contagens recebidas estão somente em " + table +
       ", que a próxima descarga substituirá!");
}

}  // namespace quarvel
