// The session handler's steps per status event.
#include "app/session_handler.h"

#include <filesystem>
#include <stdexcept>

#include "config/text_case.h"
#include "dbf/errors.h"
#include "platform/locale.h"
#include "platform/os_file.h"

namespace quarvel {
namespace {

// A desktop file of the protocol, found in any letter case as the import and the exports find
// theirs: a table named "produtos.dbf" is the product table.
std::string DesktopFile(const std::string& folder, const char* name) {
  return dbase::platform::ResolveCase(JoinPath(folder, name));
}

}  // namespace

SessionHandler::SessionHandler(SyncControl& control, Log& log, AppState& state,
                               RequestTable& requests, ExchangeOperations& exchange,
                               HotSyncRootRule root_rule)
    : control_(control),
      log_(log),
      state_(state),
      requests_(requests),
      exchange_(exchange),
      root_rule_(std::move(root_rule)) {}

void SessionHandler::OnHotSyncStatus(int32_t status_code, int32_t param) {
  switch (status_code) {
    case kStatusSessionStart:
      SessionStart();
      break;
    case kStatusSessionEnd:
      SessionEnd();
      break;
    case kStatusTransferDone:
      if (param == kTransferOk) {
        TransferSucceeded();
      } else {
        TransferFailed();
      }
      break;
    default:
      break;
  }
}

std::string SessionHandler::UserFolderName(const std::string& user_name) {
  HotSyncUser user;
  if (!control_.Enabled() || control_.GetFirstUser(user) <= 0) return {};
  while (user.name != user_name) {
    if (control_.GetNextUser(user) == 0) return {};
  }
  return std::string(TrimBlanks(user.folder));
}

void SessionHandler::SessionStart() {
  // First, so that no failure below can leave the previous session's counts to be exported again
  // at the end of this one.
  state_.counts_received = false;
  const std::string user = control_.PilotUserName();
  log_.AddLine("> Iniciando sincronização do Palm " + user + "...");
  const std::string root = root_rule_.Find();
  // An unknown user leaves the middle part empty: the forms folder right under the root.
  state_.user_folder = JoinPath(JoinPath(root, UserFolderName(user)), kFormsFolder);
  try {
    std::filesystem::create_directories(state_.user_folder);
  } catch (const std::filesystem::filesystem_error& error) {
    // Without its folder the session cannot receive the request: logged where the user follows
    // the session, which then ends with nothing done.
    log_.AddLine(std::string("> ") + error.what());
    return;
  }
  control_.ReceiveFile(DesktopFile(state_.user_folder, kRequestTable));
}

void SessionHandler::TransferSucceeded() {
  const int32_t cmd_type = control_.CmdType();
  const std::string path = control_.CmdFilename();
  std::string outcome;
  if (cmd_type == kCmdSent || cmd_type == kCmdSentAlt) {
    outcome = " enviado ao Palm com sucesso.";
  } else if (cmd_type == kCmdReceived) {
    outcome = " recebido do Palm com sucesso. ";
  }
  log_.AddLine("> Arquivo " + path + outcome);
  if (cmd_type != kCmdReceived) return;
  const std::string name = UpperUtf8(FileNamePart(path));
  if (name == kRequestTable) {
    RequestArrived();
  } else if (name == kCountTable) {
    CountsArrived();
  }
}

void SessionHandler::TransferFailed() {
  const int32_t cmd_type = control_.CmdType();
  const std::string path = control_.CmdFilename();
  std::string failure;
  if (cmd_type == kCmdSent) {
    failure = "Falha enviando ao Palm o arquivo ";
  } else if (cmd_type == kCmdReceived) {
    failure = "Falha recebendo do Palm o arquivo ";
    // What a failed transfer left behind is no table to trust.
    std::error_code ec;
    std::filesystem::remove(path, ec);
  }
  log_.AddLine("> " + failure + path + ".");
}

std::string SessionHandler::ReadAndMarkRequest() {
  requests_.Open(state_.user_folder, kRequestTable);
  std::string operation;
  try {
    if (!requests_.IsEmpty()) {
      operation = dbase::platform::UpperText(requests_.FieldText("OPERACAO"));
      try {
        requests_.Edit();
        requests_.SetFieldText("OPERACAO", "X");
        requests_.SetFieldText("ARQUIVO", "*");
        requests_.Post();
      } catch (const std::exception& error) {
        log_.AddLine("> " + dbase::DescribeError(error));
      }
    }
  } catch (...) {
    // The failure ends this event; the table is not left open behind it.
    try {
      requests_.Close();
    } catch (...) {
    }
    throw;
  }
  requests_.Close();
  return operation;
}

void SessionHandler::RequestArrived() {
  const std::string operation = ReadAndMarkRequest();
  const std::string& dbf_folder = state_.settings.dbf_folder;
  if (operation == "C") {
    log_.AddLine("> Carga de arquivos solicitada pelo usuário...");
    exchange_.ImportProducts(dbf_folder, kProductSortKey, kProductTable);
    control_.SendFile(DesktopFile(dbf_folder, kProductTable));
  } else if (operation == "D") {
    log_.AddLine("> Descarga de arquivos solicitada pelo usuário...");
    control_.ReceiveFile(DesktopFile(dbf_folder, kCountTable));
  } else {
    log_.AddLine("> Nenhuma operação solicitada pelo usuário!");
  }
  control_.SendFile(DesktopFile(state_.user_folder, kRequestTable));
}

void SessionHandler::CountsArrived() {
  state_.counts_received = true;
  try {
    exchange_.PrepareEmptyTable(state_.user_folder, kCountTable);
  } catch (const std::exception& error) {
    // A count table the engine refuses (a damaged header) is no reason to end the session:
    // the handheld keeps its counts, as no emptied table goes back, and the received table
    // stays for the exports.
    log_.AddLine("> " + dbase::DescribeError(error));
    return;
  }
  control_.SendFile(DesktopFile(state_.user_folder, kCountTable));
}

void SessionHandler::SessionEnd() {
  if (state_.counts_received) {
    exchange_.ExportReceivedCounts(state_.settings.dbf_folder, kExportPrefix, kCountTable, state_.settings.make_dbf);
  }
  log_.AddLine("");
  log_.AddLine("> Sincronização encerrada. Aguardando um \"novo\" HotSync® ...");
  log_.AddLine("");
}

}  // namespace quarvel
