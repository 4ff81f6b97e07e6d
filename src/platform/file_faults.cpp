// The armed file fault and its call counts. The engine runs on one thread; the mutex only keeps
// tests that arm faults from other threads well defined.
#include "platform/file_faults.h"

#include <errno.h>

#include <array>
#include <mutex>

namespace dbase::platform {

namespace {

struct ArmedFault {
  FileFault fault;
  std::array<uint64_t, 6> calls{};
  bool fired = false;
};

std::mutex& FaultMutex() {
  static std::mutex mutex;
  return mutex;
}

ArmedFault& Armed() {
  static ArmedFault armed;
  return armed;
}

size_t IndexOf(FileOp op) { return static_cast<size_t>(op); }

}  // namespace

namespace detail {

std::atomic<bool> file_fault_armed{false};

bool FileFaultHits(FileOp op) {
  std::lock_guard<std::mutex> lock(FaultMutex());
  ArmedFault& a = Armed();
  uint64_t n = ++a.calls[IndexOf(op)];
  if (op != a.fault.op) return false;
  if (n == a.fault.nth || (a.fault.sticky && n > a.fault.nth)) {
    a.fired = true;
    errno = a.fault.error;
    return true;
  }
  return false;
}

}  // namespace detail

void ArmFileFaultForTesting(const FileFault& fault) {
  std::lock_guard<std::mutex> lock(FaultMutex());
  Armed() = ArmedFault{fault, {}, false};
  detail::file_fault_armed.store(true, std::memory_order_relaxed);
}

void DisarmFileFaultsForTesting() {
  std::lock_guard<std::mutex> lock(FaultMutex());
  detail::file_fault_armed.store(false, std::memory_order_relaxed);
}

bool FileFaultFiredForTesting() {
  std::lock_guard<std::mutex> lock(FaultMutex());
  return Armed().fired;
}

uint64_t FileCallsSinceArmedForTesting(FileOp op) {
  std::lock_guard<std::mutex> lock(FaultMutex());
  return Armed().calls[IndexOf(op)];
}

}  // namespace dbase::platform
