// DiskFile: open modes, share conflicts, positioned I/O, the nestable lock and truncation rules.
#include "dbf/disk_file.h"

#include <gtest/gtest.h>

#include "dbf/errors.h"
#include "platform/file_faults.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::TempDir;
using testsupport::WriteFileBytes;

std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EngineError& e) {
    return e.what();
  }
  return "";
}

TEST(DiskFileTest, MissingFileAndReadsAtTheEnd) {
  TempDir dir;
  DiskFile missing(dir.File("nothing.dat"), true, false);
  EXPECT_FALSE(missing.exists());
  EXPECT_EQ(MessageOf([&] { missing.Open(); }), "File " + dir.File("nothing.dat") + " could not be found");

  WriteFileBytes(dir.File("a.dat"), "hello");
  DiskFile f(dir.File("a.dat"), true, false);
  f.Open();
  char buf[16];
  EXPECT_EQ(f.Read(1, buf, 3), 3);
  EXPECT_EQ(std::string(buf, 3), "ell");
  EXPECT_EQ(f.position(), 4u);
  EXPECT_EQ(f.Read(5, buf, 4), 0);  // at the end: no error
  f.Write(7, "xy", 2);              // past the end: the gap is filled with zeros
  EXPECT_EQ(f.FileSize(), 9);
  EXPECT_TRUE(f.written());
}

TEST(DiskFileTest, CreateEmptiesAnExistingFileAndFindsNamesOfOtherCase) {
  TempDir dir;
  WriteFileBytes(dir.File("TABLE.DBT"), "old contents");
  DiskFile f(dir.File("table.dbt"), true, false);
  EXPECT_TRUE(f.exists());  // found whatever the case
  EXPECT_EQ(f.file_name(), dir.File("TABLE.DBT"));
  f.Create();
  EXPECT_TRUE(f.is_open());
  EXPECT_EQ(f.FileSize(), 0);
}

TEST(DiskFileTest, ExclusiveAndSharedOpensExcludeEachOther) {
  TempDir dir;
  WriteFileBytes(dir.File("t.dbf"), "x");
  DiskFile shared1(dir.File("t.dbf"), true, true), shared2(dir.File("t.dbf"), true, true);
  shared1.Open();
  shared2.Open();
  DiskFile exclusive(dir.File("t.dbf"), true, false);
  EXPECT_EQ(MessageOf([&] { exclusive.Open(); }), "Access denied to file " + dir.File("t.dbf"));
  shared1.Close();
  shared2.Close();
  exclusive.Open();
  DiskFile late(dir.File("t.dbf"), false, true);
  EXPECT_EQ(MessageOf([&] { late.Open(); }), "Access denied to file " + dir.File("t.dbf"));
  DiskFile creator(dir.File("t.dbf"), true, false);
  EXPECT_EQ(MessageOf([&] { creator.Create(); }), "Could not create file " + dir.File("t.dbf"));
}

TEST(DiskFileTest, NestedLocksOnSharedFilesExcludeOtherHandles) {
  TempDir dir;
  WriteFileBytes(dir.File("t.dbf"), "x");
  DiskFile a(dir.File("t.dbf"), true, true), b(dir.File("t.dbf"), true, true);
  a.Open();
  b.Open();
  EXPECT_TRUE(a.Lock(10, 1));
  EXPECT_TRUE(a.Lock(10, 1));
  EXPECT_FALSE(a.Lock(11, 1));  // one range per file
  EXPECT_FALSE(b.Lock(10, 1));  // another handle, even in this process
  EXPECT_TRUE(b.Lock(0x7FFFFFFE, 1));  // beyond the end of the file is fine
  EXPECT_TRUE(a.Unlock());
  EXPECT_FALSE(b.Lock(10, 1));  // still held once
  EXPECT_TRUE(b.Unlock());
  EXPECT_TRUE(a.Unlock());
  EXPECT_TRUE(b.Lock(10, 1));
  EXPECT_TRUE(b.Unlock());
  EXPECT_TRUE(b.Unlock());  // nothing held: true, no change
  EXPECT_EQ(b.lock_count(), 0);

  // Close releases a lock nested three times.
  ASSERT_TRUE(a.Lock(20, 5) && a.Lock(20, 5) && a.Lock(20, 5));
  a.Close();
  EXPECT_TRUE(b.Lock(20, 5));
}

TEST(DiskFileTest, TruncateNeedsFullAccessOnSharedFiles) {
  TempDir dir;
  WriteFileBytes(dir.File("t.dbf"), "0123456789");
  DiskFile s(dir.File("t.dbf"), true, true);
  s.Open();
  EXPECT_EQ(MessageOf([&] { s.Truncate(4); }), "Truncate requires full access to file " + dir.File("t.dbf"));
  ASSERT_TRUE(s.LockFile());
  s.Truncate(4);
  EXPECT_EQ(s.FileSize(), 4);
  s.Unlock();
  s.Close();

  DiskFile e(dir.File("t.dbf"), true, false);
  e.Open();
  EXPECT_TRUE(e.Lock(5, 1));  // bookkeeping only
  e.Truncate(2);
  EXPECT_EQ(e.FileSize(), 2);

  DiskFile ro(dir.File("t.dbf"), false, false);
  e.Close();
  ro.Open();
  EXPECT_EQ(MessageOf([&] { ro.Write(0, "z", 1); }), "Error writing to " + dir.File("t.dbf"));
}

TEST(DiskFileTest, RenameMovesAndReopensButNeverReplaces) {
  TempDir dir;
  WriteFileBytes(dir.File("a.dbf"), "a");
  WriteFileBytes(dir.File("c.dbf"), "c");
  DiskFile f(dir.File("a.dbf"), true, false);
  f.Open();
  EXPECT_TRUE(f.Rename(dir.File("b.dbf")));
  EXPECT_EQ(f.file_name(), dir.File("b.dbf"));
  EXPECT_TRUE(f.is_open());
  EXPECT_EQ(MessageOf([&] { f.Rename(dir.File("c.dbf")); }), "Error on Rename of file " + dir.File("b.dbf"));
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("c.dbf")), "c");
  EXPECT_TRUE(f.is_open());
}

TEST(DiskFileTest, CollectionTracksOpenFilesAndRetriedLockGivesUp) {
  TempDir dir;
  WriteFileBytes(dir.File("t.dbf"), "x");
  size_t before = FileCollection::Instance().Count();
  {
    DiskFile f(dir.File("t.dbf"), false, true);
    f.Open();
    EXPECT_GE(FileCollection::Instance().IndexOf(&f), 0);
    EXPECT_EQ(FileCollection::Instance().Count(), before + 1);
  }
  EXPECT_EQ(FileCollection::Instance().Count(), before);

  LockRetry saved = GlobalLockRetry();
  GlobalLockRetry() = LockRetry{10, 1};
  int calls = 0;
  EXPECT_FALSE(RetriedLock([&] { return ++calls < 0; }));
  EXPECT_EQ(calls, 10);
  calls = 0;
  EXPECT_TRUE(RetriedLock([&] { return ++calls == 3; }));
  GlobalLockRetry() = saved;
}

// The test seam fails exactly the chosen call of the chosen kind, with the chosen errno, which
// the engine's error carries beside its own text.
TEST(DiskFileTest, InjectedFaultsFailTheNthCallWithTheirErrno) {
  using platform::FileOp;
  TempDir dir;
  WriteFileBytes(dir.File("a.dat"), "hello");
  DiskFile f(dir.File("a.dat"), true, false);
  f.Open();
  char buf[4];
  {
    platform::ScopedFileFaultForTesting fault({FileOp::kWrite, 2, ENOSPC, false});
    f.Write(0, "a", 1);
    f.Read(0, buf, 1);  // reads are counted apart
    try {
      f.Write(1, "b", 1);
      FAIL();
    } catch (const EngineError& e) {
      EXPECT_STREQ(e.what(), ("Error writing to " + dir.File("a.dat")).c_str());
      EXPECT_EQ(e.os_error(), ENOSPC);
      EXPECT_EQ(DescribeError(e), "Error writing to " + dir.File("a.dat") + " (No space left on device)");
    }
    f.Write(2, "c", 1);  // only the second call
    EXPECT_TRUE(platform::FileFaultFiredForTesting());
    EXPECT_EQ(platform::FileCallsSinceArmedForTesting(FileOp::kWrite), 3u);
  }
  {
    platform::ScopedFileFaultForTesting fault({FileOp::kRead, 1, EIO, true});
    EXPECT_EQ(MessageOf([&] { f.Read(0, buf, 1); }), "Error on Read of file " + dir.File("a.dat"));
    EXPECT_EQ(MessageOf([&] { f.Read(0, buf, 1); }), "Error on Read of file " + dir.File("a.dat"));  // sticky
  }
  {
    platform::ScopedFileFaultForTesting fault({FileOp::kSync, 1, EIO, false});
    EXPECT_EQ(MessageOf([&] { f.Flush(); }), "Error on Flush for file " + dir.File("a.dat"));
  }
  {
    platform::ScopedFileFaultForTesting fault({FileOp::kTruncate, 1, EIO, false});
    EXPECT_EQ(MessageOf([&] { f.Truncate(1); }), "Error in Truncate of file " + dir.File("a.dat"));
  }
  {
    platform::ScopedFileFaultForTesting fault({FileOp::kRename, 1, EIO, false});
    EXPECT_EQ(MessageOf([&] { f.Rename(dir.File("b.dat")); }), "Error on Rename of file " + dir.File("a.dat"));
    EXPECT_TRUE(f.is_open());
  }
  EXPECT_EQ(f.Read(0, buf, 4), 4);  // disarmed: all calls pass again
  EXPECT_EQ(std::string(buf, 4), "aecl");  // the failed write and truncate changed nothing
}

}  // namespace
}  // namespace dbase
