// The HotSync session handler: turns the control's status events into the request protocol with
// the handheld application (COMUNICA.DBF read and marked, the product table sent on a load, the
// count table fetched, emptied and exported on an unload), reporting every step in the log.
#pragma once

#include <cstdint>
#include <string>

#include "app/app_paths.h"
#include "app/app_state.h"
#include "exchange/exchange_operations.h"
#include "app/log.h"
#include "app/request_table.h"
#include "app/sync_control.h"

namespace quarvel {

// Tables of the protocol and the arguments the handler passes to the exchange operations.
inline constexpr const char* kRequestTable = "COMUNICA.DBF";
inline constexpr const char* kCountTable = "CONTAGEM.DBF";
inline constexpr const char* kProductTable = "PRODUTOS.DBF";
inline constexpr const char* kProductSortKey = "CODIGO";
inline constexpr const char* kExportPrefix = "IE";
// The user's table folder below the user's HotSync folder.
inline constexpr const char* kFormsFolder = "SatFormsSE";

class SessionHandler {
 public:
  SessionHandler(SyncControl& control, Log& log, AppState& state, RequestTable& requests,
                 ExchangeOperations& exchange, HotSyncRootRule root_rule);

  // The control's status event: 1 session start, 3 transfer finished, 2 session end; any other
  // code does nothing. Failures other than those of marking the request propagate.
  void OnHotSyncStatus(int32_t status_code, int32_t param);

  // The folder of `user_name` in the control's user list (blanks trimmed), or the empty text when
  // support is off, the list is empty or the user is not in it.
  std::string UserFolderName(const std::string& user_name);

 private:
  void SessionStart();
  void TransferSucceeded();
  void TransferFailed();
  void SessionEnd();
  void RequestArrived();
  void CountsArrived();
  // A previous session received counts and ended before exporting them: exports them now.
  void ExportCountsLeftUnexported();
  // Reads the operation of the first request and marks it done; "" when there is none.
  std::string ReadAndMarkRequest();

  SyncControl& control_;
  Log& log_;
  AppState& state_;
  RequestTable& requests_;
  ExchangeOperations& exchange_;
  HotSyncRootRule root_rule_;
};

}  // namespace quarvel
