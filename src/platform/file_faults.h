// Test-only fault injection in the file layer: makes the Nth read, write, truncate, flush (fsync),
// rename or open of the process fail with a chosen errno (ENOSPC for a full disk, EIO for a failing
// one), so that tests can check what every operation leaves behind when the disk fails at any
// step. Unarmed, each file call pays one relaxed atomic load.
#pragma once

#include <atomic>
#include <cstdint>

namespace dbase::platform {

enum class FileOp { kRead, kWrite, kTruncate, kSync, kRename, kOpen };

struct FileFault {
  FileOp op = FileOp::kWrite;
  uint64_t nth = 1;       // 1 = the next call of `op` fails
  int error = 0;          // the errno the call fails with
  bool sticky = false;    // every later call of `op` fails too (a disk that stays full)
};

// Arms one fault (replacing an armed one) and restarts the call counts.
void ArmFileFaultForTesting(const FileFault& fault);
void DisarmFileFaultsForTesting();
// Whether the armed fault has made a call fail, and the calls of `op` seen since it was armed.
bool FileFaultFiredForTesting();
uint64_t FileCallsSinceArmedForTesting(FileOp op);

// Arms a fault for the life of the object.
class ScopedFileFaultForTesting {
 public:
  explicit ScopedFileFaultForTesting(const FileFault& fault) { ArmFileFaultForTesting(fault); }
  ~ScopedFileFaultForTesting() { DisarmFileFaultsForTesting(); }
  ScopedFileFaultForTesting(const ScopedFileFaultForTesting&) = delete;
  ScopedFileFaultForTesting& operator=(const ScopedFileFaultForTesting&) = delete;
};

namespace detail {
extern std::atomic<bool> file_fault_armed;
bool FileFaultHits(FileOp op);
}  // namespace detail

// For the file layer: true (with errno set) when this call of `op` is to fail.
inline bool InjectedFileFault(FileOp op) {
  return detail::file_fault_armed.load(std::memory_order_relaxed) && detail::FileFaultHits(op);
}

}  // namespace dbase::platform
