// A desktop and a handheld for whole HotSync sessions: a program folder, a HotSync root with its
// registry file and user list, a handheld folder with its tables, and an Application driven
// headless with exchange operations that write each call into the log.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/headless_shell.h"
#include "dataset/create_from_specs.h"
#include "handler/db_handler.h"
#include "exchange/data_exchange.h"
#include "support/temp_dir.h"

namespace quarvel::e2e {

inline const char* kRegistered =
    "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\U.S. Robotics\\Pilot Desktop\\Application0]\n"
    "\"Conduit\"=\"C:\\\\Palm\\\\SFrmCS35.dll\"\n\"Creator\"=dword:51565043\n";

// Creates `path` with `specs` and one record per row (texts put into fields 1, 2, ...).
inline void MakeTable(const std::string& path, const std::vector<std::string>& specs,
                      const std::vector<std::vector<std::string>>& rows) {
  CreateTableFromSpecs(path, "", 3, specs);
  dbase::dBHandler table(path, "", true, false);
  for (const auto& row : rows) {
    table.Blank();
    for (std::size_t i = 0; i < row.size(); ++i) table.StringPut(static_cast<int>(i) + 1, row[i]);
    table.Append();
  }
}

// Every record's fields joined by "|", trailing blanks kept.
inline std::vector<std::string> Rows(const std::string& path) {
  dbase::dBHandler table(path, "", false, true);
  std::vector<std::string> rows;
  for (int32_t r = 1; r <= table.record_count(); ++r) {
    table.GetRecord(r);
    std::string row;
    for (int f = 1; f <= table.field_count(); ++f) row += (f > 1 ? "|" : "") + table.FieldGet(f);
    rows.push_back(row);
  }
  return rows;
}

// Stands in for the exchange operations: each call becomes a log line; the empty count table
// is made for real so that the handheld receives one.
class LoggingExchange : public ExchangeOperations {
 public:
  LoggingExchange(TTableDataSet& dataset, Log& log, const AppState& state)
      : log_(log),
        real_(
            dataset, [&log](const std::string& line) { log.AddLine(line); }, state.program_folder,
            state.settings) {}
  void ImportProducts(const std::string& folder, const std::string& key,
                      const std::string& table) override {
    log_.AddLine("[ImportProducts " + folder + " " + key + " " + table + "]");
  }
  void PrepareEmptyTable(const std::string& folder, const std::string& table) override {
    log_.AddLine("[PrepareEmptyTable " + folder + " " + table + "]");
    real_.PrepareEmptyTable(folder, table);
  }
  void ExportCounts(const std::string& folder, const std::string& prefix,
                    const std::string& table) override {
    log_.AddLine("[ExportCounts " + folder + " " + prefix + " " + table + "]");
  }
  void ExportDbf(const std::string& folder, const std::string& prefix,
                 const std::string& table) override {
    log_.AddLine("[ExportDbf " + folder + " " + prefix + " " + table + "]");
  }

 private:
  Log& log_;
  DataExchange real_;
};

class SessionFixture {
 public:
  SessionFixture() {
    std::filesystem::create_directories(home());
    std::filesystem::create_directories(root());
    std::filesystem::create_directories(handheld());
    testsupport::WriteFileBytes(root() + "/hotsync.reg", kRegistered);
    testsupport::WriteFileBytes(root() + "/users.txt", "Bruno Lima\tLimaB\nAna Souza\t SouzaA \n");
    testsupport::WriteFileBytes(handheld() + "/handheld.ini", "[HotSync]\nUser=Ana Souza\n");
  }

  std::string home() const { return dir_.path() + "/home"; }
  std::string root() const { return dir_.path() + "/root"; }
  std::string handheld() const { return dir_.path() + "/handheld"; }
  std::string user_folder() const { return root() + "/SouzaA/SatFormsSE"; }

  // The handheld's request: OPERACAO and ARQUIVO of one record, or no record at all.
  void Request(const std::vector<std::vector<std::string>>& rows) {
    MakeTable(handheld() + "/COMUNICA.DBF", {"OPERACAO;C;1;0", "ARQUIVO;C;12;0"}, rows);
  }
  void HandheldCounts() {
    MakeTable(handheld() + "/CONTAGEM.DBF", {"CODIGO;C;20;0", "LOJA;C;4;0", "ESTOQUE;N;6;0"},
              {{"7891000100103", "01", "24"}, {"7896004000015", "02", "118"}});
  }

  // The application's own import and exports instead of the logging stand-in, with `today`
  // as the date of the exports. Call before app().
  void UseRealExchange() { real_exchange_ = true; }
  CalendarDay today{2026, 12, 7};

  Application& app() {
    if (!app_) {
      ApplicationConfig config;
      config.program_folder = home();
      config.root_rule.explicit_root = root();
      config.version = {1, 0, 0, 0};
      config.exchange = [this](TTableDataSet& dataset, Log& log, AppState& state) -> std::unique_ptr<ExchangeOperations> {
        if (!real_exchange_) return std::make_unique<LoggingExchange>(dataset, log, state);
        return std::make_unique<DataExchange>(
            dataset, [&log](const std::string& line) { log.AddLine(line); }, state.program_folder,
            state.settings, [this] { return today; });
      };
      app_ = std::make_unique<Application>(config, shell_);
    }
    return *app_;
  }

  // Creation and activation; the log then holds only what follows.
  void Start() {
    app().Window().Create();
    app().Window().Activate();
    app().AppLog().Clear();
  }

  // One session; returns the lines it logged.
  std::vector<std::string> Session() {
    const std::size_t before = app().AppLog().Lines().size();
    app().HotSync().RunSession(handheld());
    const auto& lines = app().AppLog().Lines();
    return {lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end()};
  }

  HeadlessShell& shell() { return shell_; }

 private:
  testsupport::TempDir dir_;
  HeadlessShell shell_;
  bool real_exchange_ = false;
  std::unique_ptr<Application> app_;
};

}  // namespace quarvel::e2e
