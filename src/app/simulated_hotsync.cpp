// The simulated HotSync session: a queue of file copies between the desktop and a handheld
// folder, reported through the status event.
#include "app/simulated_hotsync.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/app_paths.h"
#include "platform/ini_file.h"
#include "platform/locale.h"
#include "platform/os_file.h"

namespace quarvel {
namespace fs = std::filesystem;

namespace {

// A transfer that completes replaces the file at once, as a handheld installs a database only
// when it has received all of it: copied beside `to`, then renamed over it.
bool CopyWhole(const std::string& from, const std::string& to) {
  std::error_code ec;
  if (!fs::is_regular_file(from, ec)) return false;
  const std::string part = to + ".~sync";
  if (!fs::copy_file(from, part, fs::copy_options::overwrite_existing, ec) || ec) {
    fs::remove(part, ec);
    return false;
  }
  fs::rename(part, to, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(part, ignored);
    return false;
  }
  return true;
}

// Half of `from` written at `to`: what an interrupted transfer leaves behind.
void CopyHalf(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  const std::string whole = bytes.str();
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out.write(whole.data(), static_cast<std::streamsize>(whole.size() / 2));
}

}  // namespace

SimulatedHotSync::SimulatedHotSync(std::string hotsync_root) : root_(std::move(hotsync_root)) {}

std::string SimulatedHotSync::HandheldUser(const std::string& handheld_folder) {
  std::error_code ec;
  if (!fs::is_directory(handheld_folder, ec)) {
    throw HotSyncError("Handheld folder " + handheld_folder + " does not exist");
  }
  const std::string ini_path =
      dbase::platform::ResolveCase(JoinPath(handheld_folder, "handheld.ini"));
  const std::string user = dbase::platform::IniFile(ini_path).ReadString("HotSync", "User", "");
  if (user.empty()) {
    throw HotSyncError("Handheld folder " + handheld_folder +
                       " has no handheld.ini naming its HotSync user ([HotSync] User=...)");
  }
  return user;
}

bool SimulatedHotSync::RunSession(const std::string& handheld_folder) {
  if (!enabled_) return false;
  const std::string user = HandheldUser(handheld_folder);
  handheld_ = WithoutTrailingSeparator(handheld_folder);
  user_name_ = user;
  queue_.clear();
  in_session_ = true;
  try {
    RaiseStatus(kStatusSessionStart, 0);
    while (!queue_.empty()) {
      const Transfer transfer = queue_.front();
      queue_.pop_front();
      const bool ok = Perform(transfer);
      cmd_type_ = transfer.kind == TransferKind::kReceive ? kCmdReceived : send_cmd_type_;
      cmd_filename_ = transfer.path;
      RaiseStatus(kStatusTransferDone, ok ? kTransferOk : 0);
    }
    RaiseStatus(kStatusSessionEnd, 0);
  } catch (...) {
    in_session_ = false;
    queue_.clear();
    throw;
  }
  in_session_ = false;
  return true;
}

void SimulatedHotSync::SendFile(const std::string& path) { Queue(TransferKind::kSend, path); }

void SimulatedHotSync::ReceiveFile(const std::string& path) {
  Queue(TransferKind::kReceive, path);
}

void SimulatedHotSync::Queue(TransferKind kind, const std::string& path) {
  // Outside a session there is nothing to queue the transfer in.
  if (in_session_) queue_.push_back({kind, path});
}

const TransferFault* SimulatedHotSync::FaultFor(const Transfer& transfer) const {
  const std::string name = dbase::platform::UpperText(FileNamePart(transfer.path));
  for (const auto& fault : faults_) {
    if (fault.kind == transfer.kind && dbase::platform::UpperText(fault.file_name) == name) {
      return &fault;
    }
  }
  return nullptr;
}

bool SimulatedHotSync::Perform(const Transfer& transfer) const {
  const std::string name = FileNamePart(transfer.path);
  // The handheld's table of that name, whatever the case of its file name.
  const std::string on_handheld = dbase::platform::ResolveCase(JoinPath(handheld_, name));
  const std::string from = transfer.kind == TransferKind::kReceive ? on_handheld : transfer.path;
  const std::string to = transfer.kind == TransferKind::kReceive ? transfer.path : on_handheld;
  if (const TransferFault* fault = FaultFor(transfer)) {
    if (fault->leave_partial) CopyHalf(from, to);
    return false;
  }
  return CopyWhole(from, to);
}

void SimulatedHotSync::LoadUsers() {
  users_.clear();
  next_user_ = 0;
  std::ifstream in(JoinPath(root_, "users.txt"), std::ios::binary);
  std::string line;
  int32_t id = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const auto tab = line.find('\t');
    HotSyncUser user;
    user.id = ++id;
    user.name = line.substr(0, tab);
    user.folder = tab == std::string::npos ? std::string() : line.substr(tab + 1);
    users_.push_back(std::move(user));
  }
}

int32_t SimulatedHotSync::GetFirstUser(HotSyncUser& user) {
  LoadUsers();
  if (users_.empty()) return 0;
  user = users_[0];
  next_user_ = 1;
  return static_cast<int32_t>(users_.size());
}

int32_t SimulatedHotSync::GetNextUser(HotSyncUser& user) {
  if (next_user_ >= users_.size()) return 0;
  user = users_[next_user_++];
  return 1;
}

}  // namespace quarvel
