// The processes of the transfer stress test: transferers move amounts between two locked records,
// appenders add records with memos, a reader sums the table under the table lock. Each runs in a
// forked child until a shared deadline and reports what it did through a pipe.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace stress {

enum class WorkerKind : int32_t { kTransferer, kAppender, kReader };

struct RunConfig {
  std::string path;
  int protocol = 0;
  bool indexed_locks = false;
  int64_t total = 0;  // the sum of every balance, which no transfer changes
  std::chrono::steady_clock::time_point deadline;
  // A worker that has done nothing by the deadline goes on this long while the others stop, so
  // that a loaded machine cannot turn a working lock into a failed test.
  std::chrono::seconds grace{30};
  // Mean pause of an appender between two appends (about 10,000 appends per appender per run).
  std::chrono::microseconds append_pause{2000};
  uint32_t seed = 1;
};

// What one worker did; written by the child into its pipe as plain bytes.
struct WorkerReport {
  WorkerKind kind = WorkerKind::kTransferer;
  int32_t index = 0;
  int32_t ok = 0;              // 1 when the worker saw nothing wrong
  int64_t operations = 0;      // transfers, appends, or whole-table sums
  int64_t refusals = 0;        // lock attempts refused
  int64_t longest_wait_us = 0;  // longest wait from the first attempt to a granted lock
  int64_t largest_count = 0;   // reader: most records summed in one pass
  char message[1024] = {};     // the first fault seen, when ok is 0
};

struct Worker {
  pid_t pid = -1;
  int report_fd = -1;
  WorkerKind kind = WorkerKind::kTransferer;
  int32_t index = 0;
};

// Forks a child that runs the worker and exits; the parent gets its pid and the read end of its
// report pipe.
Worker StartWorker(const RunConfig& config, WorkerKind kind, int32_t index);

// Waits for every worker (killing those still running `limit` after the deadline) and collects
// their reports; a worker that died or sent nothing gets a report saying so.
std::vector<WorkerReport> FinishWorkers(const std::vector<Worker>& workers, const RunConfig& config,
                                        std::chrono::seconds limit);

const char* WorkerKindName(WorkerKind kind);

}  // namespace stress
