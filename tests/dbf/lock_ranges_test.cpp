// What one process's table locks look like from another process, under each protocol: the exact
// byte range is taken (its first and last byte locked, the bytes just outside free), the other
// process's lock of the same kind is refused while it is held and granted once it is released.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "dbf/dbase_dbf.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

enum class Kind { kTable, kAll, kAppend, kRecord };

const char* Name(Kind kind) {
  switch (kind) {
    case Kind::kTable:
      return "LockTable";
    case Kind::kAll:
      return "LockAll";
    case Kind::kAppend:
      return "LockAppend";
    default:
      return "LockRecord";
  }
}

struct Range {
  uint64_t offset;
  uint64_t length;
};

constexpr int32_t kRecord = 5;
constexpr uint64_t kHeaderLength = 129;
constexpr uint64_t kRecordLength = 31;

// The ranges as the protocols define them, for record 5 of a table without index files.
Range Expected(int protocol, Kind kind) {
  if (kind == Kind::kAll) return {0, 0x7FFFFFFF};
  switch (protocol) {
    case DB4Lock:
      if (kind == Kind::kTable) return {0x40000000, 0xB0000000};
      if (kind == Kind::kAppend) return {0xEFFFFFFF, 1};
      return {0xEFFFFFFF - kRecord - 1, 1};
    case ClipLock:
      if (kind == Kind::kTable) return {1000000000, 1000000000};
      if (kind == Kind::kAppend) return {1000000000, 1};
      return {1000000000 + kRecord, 1};
    default:  // Default and FoxLock
      if (kind == Kind::kTable) return {0x40000000, 0x3FFFFFFF};
      if (kind == Kind::kAppend) return {0x7FFFFFFE, 1};
      return {0x40000000 + kHeaderLength + (kRecord - 1) * kRecordLength, 1};
  }
}

bool Take(dBaseDBF& t, Kind kind) {
  switch (kind) {
    case Kind::kTable:
      return t.LockTable();
    case Kind::kAll:
      return t.LockAll();
    case Kind::kAppend:
      return t.LockAppend();
    default:
      t.GetRecord(kRecord);
      return t.LockRecord();
  }
}

// Runs `probe` in a child process; its result is the child's exit status (255 when it threw).
int InChild(const std::function<int()>& probe) {
  const pid_t pid = fork();
  if (pid == 0) {
    int rc = 255;
    try {
      rc = probe();
    } catch (...) {
    }
    _exit(rc);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Whether another open file description holds a lock on byte `offset`.
bool ByteLocked(int fd, uint64_t offset) {
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = static_cast<off_t>(offset);
  probe.l_len = 1;
  return fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

// Bits the child reports.
constexpr int kFirstLocked = 1, kLastLocked = 2, kBeforeFree = 4, kAfterFree = 8, kOwnRefused = 16;

TEST(LockRangesTest, EachLockExcludesItsRangeInAnotherProcessUnderEveryProtocol) {
  testsupport::TempDir dir;
  const std::string path = dir.File("CONTAGEM.DBF");
  const std::string record = " " + std::string(24, 'x') + "     1";
  testsupport::WriteFileBytes(
      path, testsupport::TableBytes(0x03, {{"CODIGO", 'C', 20}, {"LOJA", 'C', 4}, {"ESTOQUE", 'N', 6}},
                                    std::vector<std::string>(kRecord, record)));
  for (int protocol : {Default, DB4Lock, ClipLock, FoxLock}) {
    for (Kind kind : {Kind::kTable, Kind::kAll, Kind::kAppend, Kind::kRecord}) {
      SCOPED_TRACE(std::string(Name(kind)) + " under protocol " + std::to_string(protocol));
      const Range range = Expected(protocol, kind);
      dBaseDBF holder(path, "", true, true);
      holder.SetLockProtocol(protocol);
      ASSERT_TRUE(Take(holder, kind));

      const int seen = InChild([&] {
        const int fd = open(path.c_str(), O_RDWR);
        int bits = 0;
        if (ByteLocked(fd, range.offset)) bits |= kFirstLocked;
        if (ByteLocked(fd, range.offset + range.length - 1)) bits |= kLastLocked;
        if (range.offset == 0 || !ByteLocked(fd, range.offset - 1)) bits |= kBeforeFree;
        if (!ByteLocked(fd, range.offset + range.length)) bits |= kAfterFree;
        close(fd);
        dBaseDBF other(path, "", true, true);
        other.SetLockProtocol(protocol);
        if (!Take(other, kind)) bits |= kOwnRefused;
        return bits;
      });
      EXPECT_EQ(seen, kFirstLocked | kLastLocked | kBeforeFree | kAfterFree | kOwnRefused);

      ASSERT_TRUE(holder.Unlock());
      EXPECT_EQ(InChild([&] {
                  dBaseDBF other(path, "", true, true);
                  other.SetLockProtocol(protocol);
                  return Take(other, kind) ? 0 : 1;
                }),
                0);
    }
  }
}

}  // namespace
}  // namespace dbase
