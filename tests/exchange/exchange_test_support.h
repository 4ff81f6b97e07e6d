// Small helpers for the data-exchange tests: tables made and read through the engine's own
// handler (so the exchange is checked against files it did not write), the files a folder holds,
// a log that collects the lines an exchange reports, and the fixture with folders, settings, the
// dataset set up as the application sets it up, and the exchange itself.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/application.h"
#include "dataset/create_from_specs.h"
#include "dataset/table_dataset.h"
#include "handler/db_handler.h"
#include "exchange/data_exchange.h"
#include "support/temp_dir.h"

namespace quarvel::exchange_test {

// Creates the table `path` (FoxPro style unless `table_type` says otherwise) with `specs` such
// as "CODIGO;C;20;0" and appends one record per row; the texts go into fields 1, 2, ... through
// the handler's StringPut (a memo field's text goes into the memo file).
inline void MakeTable(const std::string& path, const std::vector<std::string>& specs,
                      const std::vector<std::vector<std::string>>& rows = {}, uint8_t table_type = 3) {
  CreateTableFromSpecs(path, "", table_type, specs);
  dbase::dBHandler table(path, "", true, false);
  for (const auto& row : rows) {
    table.Blank();
    for (size_t i = 0; i < row.size(); ++i) table.StringPut(static_cast<int>(i) + 1, row[i]);
    table.Append();
  }
}

// Marks the records `numbers` (counted from 1) of the table `path` deleted.
inline void DeleteRecords(const std::string& path, const std::vector<int32_t>& numbers) {
  dbase::dBHandler table(path, "", true, false);
  for (int32_t number : numbers) {
    table.GetRecord(number);
    table.Delete();
  }
}

// Every record of the table `path` as its fields' stored bytes (blanks kept) joined by "|",
// preceded by "*" when the record is marked deleted. Memo fields give their memo text.
inline std::vector<std::string> StoredRows(const std::string& path) {
  dbase::dBHandler table(path, "", false, true);
  std::vector<std::string> rows;
  for (int32_t r = 1; r <= table.record_count(); ++r) {
    table.GetRecord(r);
    std::string row = table.deleted() ? "*" : "";
    for (int f = 1; f <= table.field_count(); ++f) {
      row += (f > 1 ? "|" : "") + (table.FieldType(f) == 'M' ? table.MemoRead(f) : table.FieldGet(f));
    }
    rows.push_back(row);
  }
  return rows;
}

// The field layout of the table `path` as specification texts ("CODIGO;C;20;0").
inline std::vector<std::string> FieldSpecsOf(const std::string& path) {
  dbase::dBHandler table(path, "", false, true);
  std::vector<std::string> specs;
  for (int f = 1; f <= table.field_count(); ++f) {
    specs.push_back(table.FieldName(f) + ";" + std::string(1, table.FieldType(f)) + ";" +
                    std::to_string(table.FieldLen(f)) + ";" + std::to_string(table.FieldDecimals(f)));
  }
  return specs;
}

// The names of the files in `folder`, sorted.
inline std::vector<std::string> FileNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Collects the lines an exchange logs; Sink() is what DataExchange takes as its log.
class LogCollector {
 public:
  DataExchange::LogSink Sink() {
    return [this](const std::string& line) { lines_.push_back(line); };
  }
  const std::vector<std::string>& lines() const { return lines_; }
  // The lines so far; the collector starts empty again.
  std::vector<std::string> Take() {
    std::vector<std::string> taken;
    taken.swap(lines_);
    return taken;
  }

 private:
  std::vector<std::string> lines_;
};

// Folders for the repositories and the program, settings that point at them, the dataset set up
// as the application sets it up, and an exchange over them that logs into `log_` and takes
// `today_` as the date of its exports.
class ExchangeTest : public ::testing::Test {
 protected:
  ExchangeTest() {
    for (const std::string& folder : {home(), dbf(), txt(), csv()}) std::filesystem::create_directories(folder);
    settings_.make_txt = settings_.make_csv = settings_.make_dbf = true;
    settings_.txt_folder = txt();
    settings_.csv_folder = csv();
    settings_.dbf_folder = dbf();
    ConfigureApplicationDataSet(dataset_);
  }

  std::string home() const { return dir_.File("home"); }
  std::string dbf() const { return dir_.File("dbf"); }
  std::string txt() const { return dir_.File("txt"); }
  std::string csv() const { return dir_.File("csv"); }
  std::string count_table() const { return dbf() + "/CONTAGEM.DBF"; }

  testsupport::TempDir dir_;
  Settings settings_;
  TTableDataSet dataset_;
  LogCollector log_;
  CalendarDay today_{2024, 12, 7};
  std::string program_folder_ = dir_.File("home");
  DataExchange exchange_{dataset_, log_.Sink(), program_folder_, settings_, [this] { return today_; }};
};

}  // namespace quarvel::exchange_test
