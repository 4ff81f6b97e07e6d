// Application: wiring of the parts, and the main window's dataset settings.
#include "app/application.h"

#include "exchange/data_exchange.h"
#include "exchange/handheld_tables.h"

namespace quarvel {
namespace {

AppState InitialState(const std::string& program_folder) {
  AppState state;
  state.program_folder = WithoutTrailingSeparator(program_folder);
  state.ini_file_name = IniFileNameFor(state.program_folder);
  return state;
}

std::unique_ptr<ExchangeOperations> MakeExchange(const ApplicationConfig& config,
                                                 TTableDataSet& dataset, Log& log,
                                                 AppState& state) {
  if (config.exchange) return config.exchange(dataset, log, state);
  return std::make_unique<DataExchange>(
      dataset, [&log](const std::string& line) { log.AddLine(line); }, state.program_folder, state.settings);
}

MainWindow::TableCreator TableCreatorOf(const ApplicationConfig& config) {
  if (config.create_handheld_tables) return config.create_handheld_tables;
  return [](const std::string& folder) { CreateHandheldTables(folder); };
}

}  // namespace

TTableDataSet& ConfigureApplicationDataSet(TTableDataSet& dataset) {
  dataset.SetAutoFlush(false);
  dataset.SetExclusive(false);
  dataset.SetLargeIntegerAs(IntFieldsKind::kAsInteger);
  dataset.SetLockProtocol(dbase::LockProtocolKind::Default);
  dataset.SetTranslateASCII(false);
  dataset.SetUseDeleted(false);
  dataset.SetUserID(0);
  return dataset;
}

Application::Application(ApplicationConfig config, WindowShell& shell)
    : state_(InitialState(config.program_folder)),
      hotsync_(config.root_rule.Find()),
      requests_(ConfigureApplicationDataSet(dataset_)),
      exchange_(MakeExchange(config, dataset_, log_, state_)),
      session_(hotsync_, log_, state_, requests_, *exchange_, config.root_rule),
      window_(state_, log_, hotsync_, session_, shell, TableCreatorOf(config), config.root_rule,
              config.version),
      options_(state_.program_folder, state_.ini_file_name, state_.settings) {}

}  // namespace quarvel
