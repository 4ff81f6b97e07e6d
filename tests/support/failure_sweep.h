// The failure sweep: an operation run again and again on a disk that fails at one of its file
// calls, each call in turn (N = 1, 2, 3 ...) and for each kind of call, until it completes
// without reaching N. The caller prepares the files before each run and checks what each run
// left; the sweep counts the failure points of every kind.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/file_faults.h"

namespace testsupport {

// One kind of failing call: a write on a disk that stays full, or one read, write, fsync,
// truncate or rename that fails with EIO.
struct FailureKind {
  std::string name;
  dbase::platform::FileOp op;
  int error;
  bool sticky;
};
const std::vector<FailureKind>& FailureKinds();

// What one run did.
struct SweepRun {
  const FailureKind* kind = nullptr;
  uint64_t nth = 0;
  bool fired = false;   // the Nth call came and failed
  bool raised = false;  // the operation raised
  std::string message;  // what it raised
  int os_error = 0;     // the system error an engine error carried
};

// Failure points per kind (the N that made a call fail), and their sum.
struct FailurePoints {
  std::map<std::string, uint64_t> by_kind;
  uint64_t total = 0;
  std::string Describe() const;  // "12 (write-full 5, read 4, ...)"
};

// Runs `prepare` and then `run` under each fault in turn; `check` sees every run. `run` fails by
// raising. Stops a kind after `limit` runs (a safety net: an operation that never completes).
FailurePoints SweepFailures(const std::function<void()>& prepare, const std::function<void()>& run,
                            const std::function<void(const SweepRun&)>& check, uint64_t limit = 5000);

}  // namespace testsupport
