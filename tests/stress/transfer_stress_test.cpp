// Four transferers move amounts between pairs of locked records, two appenders add records with
// memos and a reader sums the table under the table lock, all in separate processes, under each
// lock protocol. Afterwards the total is unchanged, no record is torn, no write or append is lost,
// every memo reads back as written and the header's count is the file's. Runs 20 s per protocol
// (fewer under the sanitizers); QUARVEL_STRESS_SECONDS sets the time (scripts/stress).
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "dbf/lock_protocol.h"
#include "stress/transfer_check.h"
#include "stress/transfer_table.h"
#include "stress/transfer_workers.h"
#include "support/temp_dir.h"

namespace stress {
namespace {

constexpr int kTransferers = 4;
constexpr int kAppenders = 2;
constexpr int kAccounts = 40;
constexpr int64_t kOpeningBalance = 1000;

struct TransferCase {
  const char* name;
  int protocol;
  MemoFormat format;
  bool indexed_locks;
};

std::ostream& operator<<(std::ostream& out, const TransferCase& c) { return out << c.name; }

int RunSeconds() {
  if (const char* text = std::getenv("QUARVEL_STRESS_SECONDS")) {
    const int seconds = std::atoi(text);
    if (seconds > 0) return seconds;
  }
#if defined(__SANITIZE_ADDRESS__)
  return 6;
#else
  return 20;
#endif
}

class TransferStressTest : public ::testing::TestWithParam<TransferCase> {};

TEST_P(TransferStressTest, TotalsRecordsMemosAndHeaderSurviveConcurrentWriters) {
  const TransferCase& c = GetParam();
  testsupport::TempDir dir;
  RunConfig config;
  config.path = dir.File("ACCOUNTS.DBF");
  config.protocol = c.protocol;
  config.indexed_locks = c.indexed_locks;
  config.total = kAccounts * kOpeningBalance;
  const int seconds = RunSeconds();
  config.append_pause = std::chrono::microseconds(100 * seconds);
  CreateAccountTable(config.path, c.format, kAccounts, kOpeningBalance);

  config.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  std::vector<Worker> workers;
  for (int i = 0; i < kTransferers; ++i) workers.push_back(StartWorker(config, WorkerKind::kTransferer, i));
  for (int i = 0; i < kAppenders; ++i) workers.push_back(StartWorker(config, WorkerKind::kAppender, i));
  workers.push_back(StartWorker(config, WorkerKind::kReader, 0));
  const std::vector<WorkerReport> reports = FinishWorkers(workers, config, std::chrono::seconds(60));

  Expected expected;
  expected.total = config.total;
  expected.records = kAccounts;
  int64_t transfers = 0, appends = 0, sums = 0, refusals = 0, longest_wait = 0, largest = 0;
  for (const WorkerReport& r : reports) {
    EXPECT_TRUE(r.ok) << r.message;
    if (r.kind == WorkerKind::kTransferer) transfers += r.operations;
    if (r.kind == WorkerKind::kAppender) appends += r.operations;
    if (r.kind == WorkerKind::kReader) {
      sums += r.operations;
      largest = r.largest_count;
    }
    refusals += r.refusals;
    longest_wait = std::max(longest_wait, r.longest_wait_us);
  }
  expected.records += appends;
  expected.versions = 2 * transfers;
  std::cout << "[ measured ] " << c.name << " (" << MemoFormatName(c.format) << "), " << seconds << " s: "
            << transfers << " transfers, " << appends << " appends, " << sums << " sums (up to " << largest
            << " records), " << refusals << " lock refusals, longest lock wait " << longest_wait / 1000 << " ms"
            << std::endl;
  RecordProperty("transfers", static_cast<int>(transfers));
  RecordProperty("appends", static_cast<int>(appends));
  RecordProperty("sums", static_cast<int>(sums));

  for (const std::string& problem : CheckFinalTable(config.path, c.format, expected)) ADD_FAILURE() << problem;
}

INSTANTIATE_TEST_SUITE_P(
    LockProtocols, TransferStressTest,
    ::testing::Values(TransferCase{"Default", dbase::Default, MemoFormat::kDb3, false},
                      TransferCase{"DB4Lock", dbase::DB4Lock, MemoFormat::kDb4, false},
                      TransferCase{"ClipLock", dbase::ClipLock, MemoFormat::kDb4, false},
                      TransferCase{"FoxLock", dbase::FoxLock, MemoFormat::kFox, true}),
    [](const ::testing::TestParamInfo<TransferCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace stress
