// SimulatedHotSync plays the HotSync Manager and the conduit on this machine. A handheld is a
// folder holding the handheld application's tables as dBase files and a handheld.ini naming its
// HotSync user ([HotSync] User=...). The user list is users.txt in the HotSync root, one
// "name<TAB>folder" per line. Transfer failures can be injected.
#pragma once

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/sync_control.h"

namespace quarvel {

// A handheld folder that cannot take part in a session.
class HotSyncError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TransferKind { kSend, kReceive };

// An injected failure: the transfer of `file_name` (compared without regard to case) in the
// given direction reports failure. With `leave_partial` a cut copy is left at the destination,
// as an interrupted transfer would.
struct TransferFault {
  TransferKind kind = TransferKind::kReceive;
  std::string file_name;
  bool leave_partial = false;
};

class SimulatedHotSync : public SyncControl {
 public:
  explicit SimulatedHotSync(std::string hotsync_root);

  std::string PilotUserName() const override { return user_name_; }
  int32_t CmdType() const override { return cmd_type_; }
  std::string CmdFilename() const override { return cmd_filename_; }
  bool Enabled() const override { return enabled_; }
  void SetEnabled(bool on) override { enabled_ = on; }
  void SendFile(const std::string& path) override;
  void ReceiveFile(const std::string& path) override;
  int32_t GetFirstUser(HotSyncUser& user) override;
  int32_t GetNextUser(HotSyncUser& user) override;

  // One HotSync session with the handheld in `handheld_folder`: status 1, then the queued
  // transfers in order (status 3 each; transfers queued by the events join the queue), then
  // status 2. Does nothing and returns false while support is switched off. Throws HotSyncError
  // when the folder or its handheld.ini is missing or names no user.
  bool RunSession(const std::string& handheld_folder);

  void InjectFault(TransferFault fault) { faults_.push_back(std::move(fault)); }
  void ClearFaults() { faults_.clear(); }
  // The CmdType reported for sends: 3 by default; some desktops report 8.
  void SetSendCmdType(int32_t cmd_type) { send_cmd_type_ = cmd_type; }

  const std::string& HotSyncRoot() const { return root_; }
  // The HotSync user named by a handheld folder's handheld.ini.
  static std::string HandheldUser(const std::string& handheld_folder);

 private:
  struct Transfer {
    TransferKind kind;
    std::string path;
  };
  void Queue(TransferKind kind, const std::string& path);
  bool Perform(const Transfer& transfer) const;
  const TransferFault* FaultFor(const Transfer& transfer) const;
  void LoadUsers();

  std::string root_;
  bool enabled_ = false;
  bool in_session_ = false;
  std::string handheld_;
  std::string user_name_;
  int32_t cmd_type_ = 0;
  std::string cmd_filename_;
  int32_t send_cmd_type_ = kCmdSent;
  std::deque<Transfer> queue_;
  std::vector<TransferFault> faults_;
  std::vector<HotSyncUser> users_;
  std::size_t next_user_ = 0;
};

}  // namespace quarvel
