// Shorter lock retries for tests that must see a lock refused or waited for; the engine's own are
// restored when the object goes.
#pragma once

#include "dbf/disk_file.h"

namespace testsupport {

class ShortLockRetry {
 public:
  ShortLockRetry(int total_wait_ms, int interval_ms) : saved_(dbase::GlobalLockRetry()) {
    dbase::GlobalLockRetry() = dbase::LockRetry{total_wait_ms, interval_ms};
  }
  ~ShortLockRetry() { dbase::GlobalLockRetry() = saved_; }
  ShortLockRetry(const ShortLockRetry&) = delete;
  ShortLockRetry& operator=(const ShortLockRetry&) = delete;

 private:
  dbase::LockRetry saved_;
};

}  // namespace testsupport
