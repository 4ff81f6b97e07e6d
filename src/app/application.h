// Application: the composition of the program's parts, shared by the window and the headless
// runs: settings and paths, the log, the simulated HotSync, the one dataset, the session
// handler, the main window's logic and the options dialog's logic.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/app_paths.h"
#include "app/app_state.h"
#include "app/dataset_request_table.h"
#include "exchange/exchange_operations.h"
#include "app/log.h"
#include "app/main_window.h"
#include "app/session_handler.h"
#include "app/simulated_hotsync.h"
#include "config/options_dialog.h"
#include "dataset/table_dataset.h"

namespace quarvel {

// Gives the application's one dataset its settings: text bytes read and written unchanged,
// deleted records skipped, shared opening until an operation asks for more. Returns `dataset`.
TTableDataSet& ConfigureApplicationDataSet(TTableDataSet& dataset);

struct ApplicationConfig {
  std::string program_folder;
  HotSyncRootRule root_rule;
  FileVersion version;
  // The exchange operations over the application's dataset and log; DataExchange when unset.
  std::function<std::unique_ptr<ExchangeOperations>(TTableDataSet&, Log&, AppState&)> exchange;
  // Creates the handheld table templates in a folder; CreateHandheldTables when unset.
  MainWindow::TableCreator create_handheld_tables;
};

class Application {
 public:
  // `shell` must outlive the application; nothing is asked of it before Window().Create().
  Application(ApplicationConfig config, WindowShell& shell);
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  AppState& State() { return state_; }
  Log& AppLog() { return log_; }
  SimulatedHotSync& HotSync() { return hotsync_; }
  TTableDataSet& DataSet() { return dataset_; }
  MainWindow& Window() { return window_; }
  OptionsDialog& Options() { return options_; }

 private:
  AppState state_;
  Log log_;
  SimulatedHotSync hotsync_;
  TTableDataSet dataset_;
  DataSetRequestTable requests_;
  std::unique_ptr<ExchangeOperations> exchange_;
  SessionHandler session_;
  MainWindow window_;
  OptionsDialog options_;
};

}  // namespace quarvel
