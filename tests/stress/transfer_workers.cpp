// Worker processes of the transfer stress test and their reports.
#include "stress/transfer_workers.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <random>
#include <stdexcept>
#include <thread>

#include "stress/transfer_table.h"

namespace stress {

namespace {

using Clock = std::chrono::steady_clock;

// A fault seen by a worker: the worker stops and reports it.
struct Fault : std::runtime_error {
  using std::runtime_error::runtime_error;
};

int64_t MicrosSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
}

void PauseMicros(int64_t us) { std::this_thread::sleep_for(std::chrono::microseconds(us)); }

// Whether the worker goes on: until the deadline, and past it (within the grace) while it has
// done nothing yet.
bool GoOn(const RunConfig& config, const WorkerReport& report) {
  const auto now = Clock::now();
  return now < config.deadline || (report.operations == 0 && now < config.deadline + config.grace);
}

void CheckWhole(const AccountTable& t, int32_t record, const char* who) {
  std::string why;
  if (!t.Whole(&why)) throw Fault(std::string(who) + ": record " + std::to_string(record) + " torn: " + why);
}

void CheckMemo(AccountTable& t, int32_t record, const char* who) {
  std::string why;
  if (!t.MemoIntact(&why)) throw Fault(std::string(who) + ": record " + std::to_string(record) + ": " + why);
}

// Locks two records, each through its own handle (a handle holds one range at a time). Locks never
// wait: on a refusal both are let go and tried again after a short random pause, so two
// transferers locking the same pair in opposite orders cannot deadlock.
bool LockPair(AccountTable& a, int32_t ra, AccountTable& b, int32_t rb, const RunConfig& config,
              WorkerReport& report, std::mt19937& gen) {
  const auto start = Clock::now();
  for (;;) {
    a.PositionAt(ra);
    if (a.LockRecord()) {
      b.PositionAt(rb);
      if (b.LockRecord()) break;
      a.Unlock();
    }
    ++report.refusals;
    if (!GoOn(config, report)) return false;
    PauseMicros(20 + gen() % 300);
  }
  report.longest_wait_us = std::max(report.longest_wait_us, MicrosSince(start));
  return true;
}

void RunTransferer(const RunConfig& config, WorkerReport& report) {
  std::mt19937 gen(config.seed * 7919u + static_cast<uint32_t>(report.index));
  AccountTable a(config.path, config.protocol, config.indexed_locks);
  AccountTable b(config.path, config.protocol, config.indexed_locks);
  while (GoOn(config, report)) {
    a.ReReadHeader();
    const int32_t count = a.record_count();
    if (count < 2) throw Fault("transferer: the table holds " + std::to_string(count) + " records");
    const auto ra = static_cast<int32_t>(1 + gen() % static_cast<uint32_t>(count));
    auto rb = static_cast<int32_t>(1 + gen() % static_cast<uint32_t>(count - 1));
    if (rb >= ra) ++rb;
    if (!LockPair(a, ra, b, rb, config, report, gen)) break;

    // Read under the locks: what another transferer wrote before letting go.
    a.GetRecord(ra);
    b.GetRecord(rb);
    CheckWhole(a, ra, "transferer");
    CheckWhole(b, rb, "transferer");
    CheckMemo(a, ra, "transferer");
    CheckMemo(b, rb, "transferer");
    const int64_t from = a.Balance();
    const int64_t to = b.Balance();
    const int64_t amount = from > 0 ? static_cast<int64_t>(gen() % static_cast<uint64_t>(from + 1)) : 0;
    a.Fill(a.Id(), from - amount, a.Version() + 1);
    a.PutRecord(ra);
    b.Fill(b.Id(), to + amount, b.Version() + 1);
    b.PutRecord(rb);
    b.Unlock();
    a.Unlock();
    ++report.operations;
    PauseMicros(gen() % 1500);
  }
}

void RunAppender(const RunConfig& config, WorkerReport& report) {
  std::mt19937 gen(config.seed * 104729u + static_cast<uint32_t>(report.index));
  AccountTable t(config.path, config.protocol, config.indexed_locks);
  const auto mean = std::max<int64_t>(1, config.append_pause.count());
  while (GoOn(config, report)) {
    // Every fourth append is made while this handle holds a record lock, as a program does that
    // adds a record while another one is being edited: the append lock is then a second range.
    bool editing = false;
    if (gen() % 4 == 0) {
      t.ReReadHeader();
      t.PositionAt(static_cast<int32_t>(1 + gen() % static_cast<uint32_t>(t.record_count())));
      editing = t.LockRecord();
    }
    t.Blank();
    t.Fill("A" + std::to_string(report.index) + "-" + std::to_string(report.operations + 1), 0, 0);
    const auto start = Clock::now();
    t.Append();
    if (editing) t.Unlock();
    report.longest_wait_us = std::max(report.longest_wait_us, MicrosSince(start));
    ++report.operations;
    PauseMicros(static_cast<int64_t>(gen() % static_cast<uint64_t>(2 * mean)));
  }
}

// One consistent pass: the table lock keeps transferers and appenders out, so the balances add up
// to the total and the header's count is the file's.
void SumOnce(AccountTable& t, const RunConfig& config, WorkerReport& report, std::mt19937& gen) {
  const int32_t count = t.record_count();
  if (t.HeaderCount() != count) {
    throw Fault("reader: the header says " + std::to_string(t.HeaderCount()) + " records, the file holds " +
                std::to_string(count));
  }
  int64_t sum = 0;
  for (int32_t r = 1; r <= count; ++r) {
    t.GetRecord(r);
    CheckWhole(t, r, "reader");
    sum += t.Balance();
  }
  if (sum != config.total) {
    throw Fault("reader: balances add up to " + std::to_string(sum) + " instead of " + std::to_string(config.total) +
                " over " + std::to_string(count) + " records");
  }
  for (int i = 0; i < 8; ++i) {
    const auto r = static_cast<int32_t>(1 + gen() % static_cast<uint32_t>(count));
    t.GetRecord(r);
    CheckMemo(t, r, "reader");
  }
  report.largest_count = std::max<int64_t>(report.largest_count, count);
}

void RunReader(const RunConfig& config, WorkerReport& report) {
  std::mt19937 gen(config.seed * 15485863u + static_cast<uint32_t>(report.index));
  AccountTable t(config.path, config.protocol, config.indexed_locks);
  while (GoOn(config, report)) {
    const auto start = Clock::now();
    bool locked = false;
    while (!(locked = t.LockTable()) && GoOn(config, report)) {
      ++report.refusals;
      PauseMicros(100);
    }
    if (!locked) break;
    report.longest_wait_us = std::max(report.longest_wait_us, MicrosSince(start));
    try {
      SumOnce(t, config, report, gen);
    } catch (...) {
      t.Unlock();
      throw;
    }
    t.Unlock();
    ++report.operations;
    PauseMicros(2000 + gen() % 3000);
  }
}

void RunWorker(const RunConfig& config, WorkerReport& report) {
  switch (report.kind) {
    case WorkerKind::kTransferer:
      RunTransferer(config, report);
      break;
    case WorkerKind::kAppender:
      RunAppender(config, report);
      break;
    case WorkerKind::kReader:
      RunReader(config, report);
      break;
  }
}

void SetMessage(WorkerReport& report, const std::string& text) {
  std::snprintf(report.message, sizeof report.message, "%s", text.c_str());
}

void WriteAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n <= 0) return;
    p += n;
    size -= static_cast<size_t>(n);
  }
}

}  // namespace

const char* WorkerKindName(WorkerKind kind) {
  switch (kind) {
    case WorkerKind::kTransferer:
      return "transferer";
    case WorkerKind::kAppender:
      return "appender";
    case WorkerKind::kReader:
      return "reader";
  }
  return "?";
}

Worker StartWorker(const RunConfig& config, WorkerKind kind, int32_t index) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::close(fds[0]);
    WorkerReport report;
    report.kind = kind;
    report.index = index;
    try {
      RunWorker(config, report);
      report.ok = 1;
      if (report.operations == 0) {
        report.ok = 0;
        SetMessage(report, std::string(WorkerKindName(kind)) + " did nothing before the deadline");
      }
    } catch (const std::exception& e) {
      SetMessage(report, std::string(WorkerKindName(kind)) + " " + std::to_string(index) + ": " + e.what());
    }
    WriteAll(fds[1], &report, sizeof report);
    ::close(fds[1]);
    // No exit handlers: they belong to the parent (the test framework's among them).
    ::_exit(report.ok ? 0 : 1);
  }
  ::close(fds[1]);
  Worker w;
  w.pid = pid;
  w.report_fd = fds[0];
  w.kind = kind;
  w.index = index;
  return w;
}

std::vector<WorkerReport> FinishWorkers(const std::vector<Worker>& workers, const RunConfig& config,
                                        std::chrono::seconds limit) {
  std::vector<WorkerReport> reports(workers.size());
  std::vector<int> status(workers.size(), 0);
  std::vector<bool> done(workers.size(), false);
  const auto kill_at = config.deadline + config.grace + limit;
  size_t remaining = workers.size();
  while (remaining > 0) {
    for (size_t i = 0; i < workers.size(); ++i) {
      if (done[i]) continue;
      const pid_t got = ::waitpid(workers[i].pid, &status[i], WNOHANG);
      if (got == workers[i].pid || got < 0) {
        done[i] = true;
        --remaining;
      }
    }
    if (remaining == 0) break;
    if (Clock::now() > kill_at) {
      for (size_t i = 0; i < workers.size(); ++i) {
        if (!done[i]) ::kill(workers[i].pid, SIGKILL);
      }
    }
    PauseMicros(20000);
  }
  for (size_t i = 0; i < workers.size(); ++i) {
    WorkerReport& r = reports[i];
    const ssize_t n = ::read(workers[i].report_fd, &r, sizeof r);
    ::close(workers[i].report_fd);
    if (n != static_cast<ssize_t>(sizeof r)) {
      r = WorkerReport();
      r.kind = workers[i].kind;
      r.index = workers[i].index;
      const std::string how = WIFSIGNALED(status[i]) ? "was killed by signal " + std::to_string(WTERMSIG(status[i]))
                                                     : "ended without a report";
      SetMessage(r, std::string(WorkerKindName(r.kind)) + " " + std::to_string(r.index) + " " + how);
    }
  }
  return reports;
}

}  // namespace stress
