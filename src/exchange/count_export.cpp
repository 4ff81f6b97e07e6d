// The count exports: the count table as a dated SDF file and a dated CSV file in their
// repository folders, every field in table order.
#include <cstdio>
#include <filesystem>
#include <memory>

#include "exchange/data_exchange.h"
#include "exchange/export_columns.h"
#include "platform/os_file.h"
#include "platform/paths.h"

namespace quarvel {
namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr size_t kWriteBuffer = 1 << 16;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OutputFile = std::unique_ptr<std::FILE, FileCloser>;

void RemoveQuietly(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

}  // namespace

void DataExchange::ExportCounts(const std::string& source_folder, const std::string& prefix,
                                const std::string& table_name) {
  if (settings_.make_txt) ExportText(source_folder, prefix, table_name);
  if (settings_.make_csv) ExportCsv(source_folder, prefix, table_name);
}

void DataExchange::ExportText(const std::string& source_folder, const std::string& prefix,
                              const std::string& table_name) {
  Export(TextFormat::kSdf, source_folder, prefix, table_name);
}

void DataExchange::ExportCsv(const std::string& source_folder, const std::string& prefix,
                             const std::string& table_name) {
  Export(TextFormat::kCsv, source_folder, prefix, table_name);
}

bool DataExchange::Export(TextFormat format, const std::string& source_folder, const std::string& prefix,
                          const std::string& table_name) {
  const bool sdf = format == TextFormat::kSdf;
  if (!SourceTableFound(source_folder, table_name)) return true;
  const std::string& folder = sdf ? settings_.txt_folder : settings_.csv_folder;
  const std::string extension = prefix.empty() ? (sdf ? ".txt" : ".csv") : (sdf ? ".TXT" : ".CSV");
  const CalendarDay today = today_();
  const std::optional<std::string> name = ExportFileName(folder, prefix, table_name, extension, today);
  if (!name) {
    // Every name of the day is taken: refuse rather than overwrite an earlier export.
    log_(NoFreeNameLine(folder, prefix, extension, today));
    return false;
  }
  const std::string path = dbase::platform::ResolveCase(dbase::platform::JoinPath(folder, *name));
  OutputFile file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    log_("> Arquivo " + path + " não pode ser criado!");
    return false;
  }
  std::setvbuf(file.get(), nullptr, _IOFBF, kWriteBuffer);

  int32_t count = 0;
  bool written = true;
  try {
    OpenTable(source_folder, table_name);
    if (!dataset_.IsEmpty()) {
      log_("> Exportando dados para " + path);
      const std::vector<ExportColumn> columns = ExportColumns(dataset_);
      std::string line;
      dataset_.First();
      while (!dataset_.Eof() && written) {
        line.clear();
        if (sdf) {
          AppendSdfLine(columns, line);
        } else {
          AppendCsvLine(columns, line);
        }
        line += kLineEnd;
        written = std::fwrite(line.data(), 1, line.size(), file.get()) == line.size();
        ++count;
        dataset_.Next();
      }
    }
    dataset_.Close();
  } catch (...) {
    // An export cut short is no export: it must not pass for one, and its name stays free.
    file.reset();
    RemoveQuietly(path);
    throw;
  }
  written = std::fflush(file.get()) == 0 && written;
  written = std::fclose(file.release()) == 0 && written;
  if (!written) {
    // A full disk must not pass for a finished export either.
    RemoveQuietly(path);
    log_("> Arquivo " + path + " não pode ser gravado!");
    return false;
  }
  log_("> Exportação de " + std::to_string(count) + " registros concluída!");
  return true;
}

}  // namespace quarvel
