// SyncControl: what the program uses of the application-synchronisation control that follows
// HotSync sessions. SimulatedHotSync implements it on this machine.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace quarvel {

// Session status codes delivered to the status handler.
inline constexpr int32_t kStatusSessionStart = 1;
inline constexpr int32_t kStatusSessionEnd = 2;
inline constexpr int32_t kStatusTransferDone = 3;

// CmdType values of a finished transfer.
inline constexpr int32_t kCmdSent = 3;
inline constexpr int32_t kCmdReceived = 4;
inline constexpr int32_t kCmdSentAlt = 8;  // also a file sent to the handheld

// Param of a finished transfer that succeeded; any other value is a failure.
inline constexpr int32_t kTransferOk = 1;

// One entry of the HotSync user list. The two integers are the control's own and unused here.
struct HotSyncUser {
  int32_t id = 0;
  std::string name;
  std::string folder;
  int32_t flags = 0;
};

class SyncControl {
 public:
  using StatusHandler = std::function<void(int32_t status_code, int32_t param)>;

  virtual ~SyncControl() = default;

  // The HotSync user of the running session (read at status 1).
  virtual std::string PilotUserName() const = 0;
  // The finished transfer (read at status 3): its kind and the desktop path it named.
  virtual int32_t CmdType() const = 0;
  virtual std::string CmdFilename() const = 0;

  // True switches HotSync support on: sessions raise status events. False: no events come.
  virtual bool Enabled() const = 0;
  virtual void SetEnabled(bool on) = 0;

  // Queue one transfer in the running session; its outcome comes back as a status-3 event.
  // SendFile stores the desktop file `path` on the handheld under its file name; ReceiveFile
  // stores the handheld's table of that file name at `path` as a dBase file.
  virtual void SendFile(const std::string& path) = 0;
  virtual void ReceiveFile(const std::string& path) = 0;

  // The HotSync user list: GetFirstUser returns a value above 0 when the list has an entry and
  // fills `user`; GetNextUser returns non-zero while it filled a further entry, 0 at the end.
  virtual int32_t GetFirstUser(HotSyncUser& user) = 0;
  virtual int32_t GetNextUser(HotSyncUser& user) = 0;

  // The status event. Delivered on the caller's thread, one event at a time.
  void SetStatusHandler(StatusHandler handler) { status_handler_ = std::move(handler); }

 protected:
  void RaiseStatus(int32_t status_code, int32_t param) {
    if (status_handler_) status_handler_(status_code, param);
  }

 private:
  StatusHandler status_handler_;
};

}  // namespace quarvel
