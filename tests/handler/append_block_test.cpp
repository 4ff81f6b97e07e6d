// Appends to an exclusive table are gathered and written in blocks: a model of the table checked
// against random appends, replacements, reads, flushes, zaps and reopenings; the header on disk
// never counting records the file does not hold; a failed block write raised and nothing
// claimed; a process killed while appending leaving whole records under a header that may lag.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "handler/db_handler.h"
#include "dbf/errors.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::RawField;

const std::vector<RawField> kFields = {{"CODIGO", 'C', 20}, {"SEQ", 'N', 8}};
constexpr int kRecordLength = 29;
constexpr int kHeaderLength = 32 + 2 * 32 + 1;

std::string MakeTable(const testsupport::TempDir& dir) {
  const std::string path = dir.File("COUNTS.DBF");
  testsupport::WriteFileBytes(path, testsupport::TableBytes(0x03, kFields, {}));
  return path;
}

std::string CodeOf(int n) { return "P" + std::to_string(int64_t{n} * 7919 % 1000003); }

void Fill(dBHandler& t, int n) {
  t.Blank();
  t.FieldPut(1, CodeOf(n));
  t.NumberPut(2, n);
}

// What the file itself says: the header's count and the whole records after the header.
struct OnDisk {
  uint32_t header_count = 0;
  int64_t whole_records = 0;
};

OnDisk ReadDisk(const std::string& path) {
  OnDisk d;
  const int fd = open(path.c_str(), O_RDONLY);
  uint8_t header[8] = {};
  struct stat st {};
  if (fd < 0 || pread(fd, header, sizeof header, 0) != 8 || fstat(fd, &st) != 0) ADD_FAILURE() << "cannot read " << path;
  if (fd >= 0) close(fd);
  d.header_count = header[4] | header[5] << 8 | header[6] << 16 | static_cast<uint32_t>(header[7]) << 24;
  d.whole_records = (static_cast<int64_t>(st.st_size) - kHeaderLength) / kRecordLength;
  return d;
}

TEST(AppendBlockTest, RandomOperationsMatchAModelAndTheHeaderNeverLeads) {
  testsupport::TempDir dir;
  const std::string path = MakeTable(dir);
  std::mt19937 rng(11);
  std::vector<int> model;  // SEQ of each record; the code follows from it
  auto table = std::make_unique<dBHandler>(path, "", true, false);
  for (int step = 0; step < 30000; ++step) {
    const uint32_t op = rng() % 100;
    if (op < 70) {
      const int n = static_cast<int>(rng() % 1000000);
      Fill(*table, n);
      table->Append();
      model.push_back(n);
      ASSERT_EQ(table->record_count(), static_cast<int32_t>(model.size()));
    } else if (op < 85 && !model.empty()) {
      // Read back, recently appended ones most often.
      const int32_t r = static_cast<int32_t>(rng() % 2 ? model.size() - rng() % std::min<size_t>(model.size(), 50)
                                                       : 1 + rng() % model.size());
      table->GetRecord(r);
      ASSERT_EQ(static_cast<int>(table->NumberGet(2)), model[static_cast<size_t>(r - 1)]) << "record " << r;
      ASSERT_EQ(table->StringGet(1), CodeOf(model[static_cast<size_t>(r - 1)]));
    } else if (op < 95 && !model.empty()) {
      const int32_t r = static_cast<int32_t>(model.size() - rng() % std::min<size_t>(model.size(), 3000));
      const int n = static_cast<int>(rng() % 1000000);
      table->GetRecord(r);
      Fill(*table, n);
      table->PutRecord(r);
      model[static_cast<size_t>(r - 1)] = n;
    } else if (op < 97) {
      table->Flush();
      const OnDisk d = ReadDisk(path);
      ASSERT_EQ(d.header_count, model.size());
      ASSERT_EQ(d.whole_records, static_cast<int64_t>(model.size()));
    } else if (op < 99) {
      table.reset();
      table = std::make_unique<dBHandler>(path, "", true, false);
      ASSERT_EQ(table->record_count(), static_cast<int32_t>(model.size()));
    } else if (rng() % 8 == 0) {
      table->Zap();
      model.clear();
    }
    const OnDisk d = ReadDisk(path);
    ASSERT_LE(d.header_count, d.whole_records) << "step " << step;
  }
  ASSERT_TRUE(table->Close());
  const OnDisk d = ReadDisk(path);
  EXPECT_EQ(d.header_count, model.size());
  table = std::make_unique<dBHandler>(path, "", false, false);
  table->SetReadAhead(true);
  size_t i = 0;
  for (table->GetRecord(kFirst); !table->eof(); table->GetRecord(kNext), ++i) {
    ASSERT_LT(i, model.size());
    ASSERT_EQ(static_cast<int>(table->NumberGet(2)), model[i]);
  }
  EXPECT_EQ(i, model.size());
}

// Runs `body` in a child process and returns its exit status (-signal when killed).
template <class Body>
int InChild(Body body) {
  const pid_t pid = fork();
  if (pid == 0) {
    int rc = 0;
    try {
      rc = body();
    } catch (...) {
      rc = 99;
    }
    _exit(rc);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// A file size limit makes the block write fail part-way, as a full disk would.
TEST(AppendBlockTest, AFailedBlockWriteIsRaisedAndNothingIsClaimed) {
  testsupport::TempDir dir;
  const std::string path = MakeTable(dir);
  constexpr rlim_t kLimit = 200000;
  const int rc = InChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{kLimit, kLimit};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
    dBHandler t(path, "", true, false);
    int n = 0;
    try {
      for (; n < 100000; ++n) {
        Fill(t, n);
        t.Append();
      }
      return 11;  // the limit was never reached
    } catch (const EngineError& e) {
      if (e.number() != kWriteError || std::string(e.what()) != "Error writing to " + t.file_name()) return 12;
    }
    // The failed append added nothing; the records before it are still held and readable.
    if (t.record_count() != n) return 13;
    t.GetRecord(n);
    if (static_cast<int>(t.NumberGet(2)) != n - 1) return 14;
    // Neither a flush nor a close passes for success while they cannot be written.
    try {
      t.Flush();
      return 15;
    } catch (const EngineError&) {
    }
    try {
      t.Close();
      return 16;
    } catch (const EngineError&) {
    }
    return 0;
  });
  ASSERT_EQ(rc, 0);
  const OnDisk d = ReadDisk(path);
  EXPECT_LE(d.header_count, d.whole_records);
  EXPECT_LE(d.whole_records * kRecordLength + kHeaderLength, static_cast<int64_t>(kLimit));
  // Every whole record in the file is the one that was appended there.
  dBHandler t(path, "", false, false);
  for (int32_t r = 1; r <= t.record_count(); ++r) {
    t.GetRecord(r);
    ASSERT_EQ(static_cast<int>(t.NumberGet(2)), r - 1);
    ASSERT_EQ(t.StringGet(1), CodeOf(r - 1));
  }
}

TEST(AppendBlockTest, AProcessKilledWhileAppendingLeavesWholeRecordsUnderAHeaderThatMayLag) {
  std::mt19937 rng(5);
  for (int round = 0; round < 6; ++round) {
    testsupport::TempDir dir;
    const std::string path = MakeTable(dir);
    const pid_t pid = fork();
    if (pid == 0) {
      dBHandler t(path, "", true, false);
      for (int n = 0;; ++n) {
        Fill(t, n);
        t.Append();
        if (n % 20000 == 19999) t.Flush();  // headers written now and then
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + rng() % 300));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    const OnDisk d = ReadDisk(path);
    EXPECT_LE(d.header_count, d.whole_records) << "round " << round;
    dBHandler t(path, "", false, false);
    for (int32_t r = 1; r <= t.record_count(); ++r) {
      t.GetRecord(r);
      ASSERT_EQ(static_cast<int>(t.NumberGet(2)), r - 1) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace dbase
